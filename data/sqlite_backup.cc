#include "data/sqlite_backup.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "data/error.h"

namespace tb::data {
namespace {

// The first slice: 2 MB of 4 kB pages, a few milliseconds of reading.
constexpr int kFirstSlicePages = 512;
// How long a step waits for a writer that holds the file (a checkpoint or
// a recovery; in WAL mode readers and writers do not block each other).
constexpr int kLockWaitMs = 10000;

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
struct FinishBackup {
  void operator()(sqlite3_backup* b) const { sqlite3_backup_finish(b); }
};
using Backup = std::unique_ptr<sqlite3_backup, FinishBackup>;

Db Open(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Db held(db);
  if (rc != SQLITE_OK) {
    throw Error(
        "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)),
        rc);
  }
  return held;
}

// A temporary file beside the target, removed unless it was renamed.
class Partial {
 public:
  explicit Partial(const std::string& target) : path_(target + ".partial-XXXXXX") {
    const int fd = mkstemp(path_.data());
    if (fd < 0) {
      throw Error("cannot write beside " + target + ": " + std::strerror(errno), errno);
    }
    close(fd);
  }
  ~Partial() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    std::filesystem::remove(path_ + "-journal", ignored);
  }
  Partial(const Partial&) = delete;
  Partial& operator=(const Partial&) = delete;

  const std::string& path() const { return path_; }
  void RenameTo(const std::string& target) {
    std::error_code ec;
    std::filesystem::rename(path_, target, ec);
    if (ec) throw Error("cannot rename the copy to " + target + ": " + ec.message());
    path_.clear();
  }

 private:
  std::string path_;
};

}  // namespace

BackupStats BackupSqlite(const std::string& source, const std::string& target) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec)) {
    throw Error("no SQLite store at " + source);
  }
  // Read-write, so that a store left by a crash can have its log recovered.
  Db from = Open(source, SQLITE_OPEN_READWRITE);
  sqlite3_busy_timeout(from.get(), kLockWaitMs);
  Partial partial(target);
  BackupStats stats;
  {
    Db to = Open(partial.path(), SQLITE_OPEN_READWRITE);
    // The temporary is thrown away on any failure, so it needs no journal
    // of its own.
    sqlite3_exec(to.get(), "pragma journal_mode=off", nullptr, nullptr, nullptr);
    Backup backup(sqlite3_backup_init(to.get(), "main", from.get(), "main"));
    if (!backup)
      throw Error("cannot start the copy: " + std::string(sqlite3_errmsg(to.get())));
    int slice = kFirstSlicePages;
    int left = -1;
    for (;;) {
      const int rc = sqlite3_backup_step(backup.get(), slice);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_OK) {
        throw Error("cannot copy " + source + ": " + sqlite3_errstr(rc), rc);
      }
      // Fewer pages left than before the step, unless the copy started over.
      const int now_left = sqlite3_backup_remaining(backup.get());
      if (left >= 0 && now_left >= left) {
        ++stats.restarts;
        slice = slice > sqlite3_backup_pagecount(backup.get()) ? -1 : slice * 2;
      }
      left = now_left;
    }
    stats.pages = sqlite3_backup_pagecount(backup.get());
    const int rc = sqlite3_backup_finish(backup.release());
    if (rc != SQLITE_OK) {
      throw Error("cannot finish the copy: " + std::string(sqlite3_errmsg(to.get())), rc);
    }
    if (sqlite3_close(to.release()) != SQLITE_OK) {
      throw Error("cannot close the copy " + partial.path());
    }
  }
  partial.RenameTo(target);
  return stats;
}

}  // namespace tb::data
