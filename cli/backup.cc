#include "cli/backup.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "data/sqlite_backup.h"
#include "data/sqlite_engine.h"
#include "host/ascii.h"

namespace tb::cli {

int RunBackup(const BackupOptions& options, std::ostream& out, std::ostream& err) {
  constexpr std::string_view kMaria = "mariadb:";
  if (host::StartsWithIgnoreCase(options.db, kMaria)) {
    err << "backup: copies SQLite stores only; back up a MariaDB store with its own "
           "tool, which reads one consistent snapshot while the site runs: "
           "mariadb-dump --single-transaction DATABASE > FILE.sql\n";
    return 2;
  }
  const std::string path = data::SqlitePath(options.db).value_or(options.db);
  std::error_code ec;
  if (std::filesystem::equivalent(path, options.to, ec)) {
    err << "backup: " << options.to << " is the store itself; name another file\n";
    return 2;
  }
  // The store's journal and shared memory belong to the running site.
  auto resolved = [&ec](const std::string& p) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(p, ec), ec)
        .string();
  };
  const std::string target = resolved(options.to), store = resolved(path);
  for (std::string_view suffix : {"-wal", "-shm", "-journal"}) {
    if (target == store + std::string(suffix)) {
      err << "backup: " << options.to << " is the store's own " << suffix.substr(1)
          << " file; name another file\n";
      return 2;
    }
  }
  const auto started = std::chrono::steady_clock::now();
  try {
    const data::BackupStats copied = data::BackupSqlite(path, options.to);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    out << "backed up " << path << " to " << options.to << ": " << copied.pages
        << " pages in " << took.count() << " s";
    if (copied.restarts > 0)
      out << " (restarted " << copied.restarts << " times by writes)";
    out << std::endl;
    return 0;
  } catch (const std::exception& e) {
    err << "backup: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace tb::cli
