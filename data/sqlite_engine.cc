#include "data/sqlite_engine.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <list>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "data/error.h"
#include "data/schema.h"
#include "host/ascii.h"

namespace tb::data {

std::optional<std::string> SqlitePath(std::string_view dsn) {
  constexpr std::string_view kPrefix = "sqlite:";
  if (dsn.size() <= kPrefix.size() || !host::StartsWithIgnoreCase(dsn, kPrefix)) {
    return std::nullopt;
  }
  return std::string(dsn.substr(kPrefix.size()));
}

namespace {

using Clock = std::chrono::steady_clock;

// Which file a path names now: its device and inode; nullopt when there is
// none (or no file at all, as for ":memory:").
struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

// The header of a WAL-mode store's index (the start of its "-shm" file, as
// SQLite maps it): 48 bytes that every commit rewrites, raising a change
// counter in them, first into the second copy and then, past a barrier, into
// the first. Copies that differ are a commit under way: empty then.
constexpr std::size_t kWalIndexHeader = 48;
std::string ReadWalIndexHeader(const char* index) {
  char first[kWalIndexHeader], second[kWalIndexHeader];
  std::memcpy(first, index, kWalIndexHeader);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  std::memcpy(second, index + kWalIndexHeader, kWalIndexHeader);
  constexpr std::size_t kIsInit = 12;
  if (first[kIsInit] == 0 || std::memcmp(first, second, kWalIndexHeader) != 0) return {};
  return std::string(first, kWalIndexHeader);
}
// SQLite maps its WAL index in regions of this size.
constexpr int kWalIndexRegion = 32768;

// Without a query time limit, a statement waits this long for a lock.
constexpr auto kLockWait = std::chrono::seconds(10);
// The deadline is looked at every this many virtual machine steps: often
// enough to stop within a millisecond or so, rarely enough to cost nothing.
constexpr int kProgressSteps = 1000;
// Statements kept prepared per handle. The pages run a few dozen fixed
// texts, their values bound; a text built on the fly (an operator's own
// SQL) is seldom run twice and is the first to go.
constexpr std::size_t kCachedStatements = 64;
constexpr std::size_t kCachedTextBytes = 1024;

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Value();
    case SQLITE_INTEGER:
      return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return Value(sqlite3_column_double(stmt, i));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return Value(std::string(text ? text : "", sqlite3_column_bytes(stmt, i)));
    }
  }
}

int Bind(sqlite3_stmt* stmt, int index, const Value& value) {
  if (value.IsEmpty()) return sqlite3_bind_null(stmt, index);
  if (value.IsNumber()) {
    double n = *value.Number();
    auto whole = value.Whole();
    return whole ? sqlite3_bind_int64(stmt, index, *whole)
                 : sqlite3_bind_double(stmt, index, n);
  }
  std::string text = value.Text();
  return sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                           SQLITE_TRANSIENT);
}

bool OnlyBlanks(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// Prepared statements by their SQL text; the least recently used one is
// finalized when a new one does not fit.
class StatementCache {
 public:
  StatementCache() = default;
  ~StatementCache() { Clear(); }
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement prepared for `sql`, or nullptr; a hit becomes the most
  // recently used.
  sqlite3_stmt* Find(std::string_view sql) {
    auto it = index_.find(sql);
    if (it == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->stmt;
  }

  // Keeps `stmt`, prepared from `sql`, from now on.
  void Put(std::string_view sql, sqlite3_stmt* stmt) {
    if (entries_.size() >= kCachedStatements) {
      index_.erase(entries_.back().sql);
      sqlite3_finalize(entries_.back().stmt);
      entries_.pop_back();
    }
    entries_.push_front({std::string(sql), stmt});
    index_.emplace(entries_.front().sql, entries_.begin());
  }

  void Clear() {
    index_.clear();
    for (Entry& e : entries_) sqlite3_finalize(e.stmt);
    entries_.clear();
  }

 private:
  struct Entry {
    std::string sql;
    sqlite3_stmt* stmt;
  };
  // List nodes do not move, so the index can view their texts.
  std::list<Entry> entries_;
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;
};

// One statement in use: a cached one is reset and its bindings cleared
// however the run ends (so that it holds no lock and no old value), any
// other one is finalized.
class StatementUse {
 public:
  StatementUse(sqlite3_stmt* stmt, bool cached) : stmt_(stmt), cached_(cached) {}
  ~StatementUse() {
    if (!cached_) {
      sqlite3_finalize(stmt_);
      return;
    }
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
  bool cached_;
};

}  // namespace

// What a pool has done so far; its handles count here, even those that
// outlive it.
struct PoolCounters {
  std::atomic<std::size_t> opened = 0, prepared = 0;
};

// An open SQLite file with the statements prepared on it; it closes the
// file when destroyed. Used by one thread at a time.
class SqliteHandle {
 public:
  // Opens the file (created with its tables when missing); Error when it
  // will not open.
  SqliteHandle(const std::string& path, std::chrono::milliseconds query_timeout,
               std::shared_ptr<PoolCounters> counters)
      : timeout_(query_timeout), counters_(std::move(counters)) {
    int rc = sqlite3_open_v2(
        path.c_str(), &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      throw Error("cannot open " + path + ": " + message, rc);
    }
    ++counters_->opened;
    file_ = FileIdOf(path);
    sqlite3_busy_handler(db_, &SqliteHandle::OnBusy, this);
    try {
      // Every commit in WAL mode rewrites the index's header (ChangeMark);
      // another process cannot leave WAL mode while this handle keeps the
      // file open.
      const Result mode = Run("pragma journal_mode=wal", {});
      wal_ = !mode.rows.empty() && host::EqualsIgnoreCase(mode.rows[0][0].Text(), "wal");
      // Each handle keeps at most 256 kB of the file's pages: the site's
      // memory stays flat however large the store grows, and the system's
      // file cache serves the rest. The log is copied into the file every
      // 8,000 pages (32 MB) rather than 1,000: a copy writes each page once
      // however often it changed, and every post changes the same few (the
      // counters, the last pages of the indexes), so posts ran a tenth
      // faster.
      Run("pragma synchronous=normal; pragma cache_size=-256; "
          "pragma wal_autocheckpoint=8000;",
          {});
      Run(kSqliteSchema, {});
    } catch (const Error&) {
      cache_.Clear();
      sqlite3_close(db_);
      throw;
    }
    // The time limit is for the site's statements: the schema's first run on
    // a store of an earlier version fills its message counts and search index
    // once, which takes seconds for a million messages and must not be cut
    // short.
    if (timeout_.count() > 0) {
      sqlite3_progress_handler(db_, kProgressSteps, &SqliteHandle::OnProgress, this);
    }
  }
  ~SqliteHandle() {
    cache_.Clear();  // a handle with statements left would not close
    sqlite3_close(db_);
  }
  SqliteHandle(const SqliteHandle&) = delete;
  SqliteHandle& operator=(const SqliteHandle&) = delete;

  sqlite3* db() const { return db_; }
  // See Engine::ChangeMark: the WAL index's header, read where SQLite maps
  // it for this handle (a file of the process's own would drop SQLite's
  // locks on it when closed).
  std::string ChangeMark() {
    sqlite3_file* file = nullptr;
    void volatile* index = nullptr;
    if (!wal_ ||
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) !=
            SQLITE_OK ||
        !file || !file->pMethods || file->pMethods->iVersion < 2 ||
        file->pMethods->xShmMap(file, 0, kWalIndexRegion, 0, &index) != SQLITE_OK ||
        !index) {
      return {};
    }
    return ReadWalIndexHeader(static_cast<const char*>(const_cast<void*>(index)));
  }
  // The file the handle opened (see FileIdOf).
  const std::optional<FileId>& file() const { return file_; }

  Result Run(std::string_view sql, const std::vector<Value>& params) {
    Result result;
    std::string_view rest = sql;
    // Several statements may come in one text (the schema does); each runs in
    // turn and the last one's rows are the result.
    while (!rest.empty()) {
      deadline_ = Clock::now() + (timeout_.count() > 0 ? Clock::duration(timeout_)
                                                       : Clock::duration(kLockWait));
      auto stmt = Prepare(rest);
      if (!stmt) break;  // only blanks or comments were left
      int n = sqlite3_bind_parameter_count(stmt->get());
      for (int i = 0; i < n && i < static_cast<int>(params.size()); ++i) {
        if (Bind(stmt->get(), i + 1, params[i]) != SQLITE_OK) Fail("bind");
      }
      result = Result();
      int columns = sqlite3_column_count(stmt->get());
      for (int i = 0; i < columns; ++i)
        result.columns.emplace_back(sqlite3_column_name(stmt->get(), i));
      int rc;
      while ((rc = sqlite3_step(stmt->get())) == SQLITE_ROW) {
        Row row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt->get(), i));
        result.rows.push_back(std::move(row));
      }
      if (rc != SQLITE_DONE) Fail("step");
      if (!sqlite3_stmt_readonly(stmt->get())) result.changed = sqlite3_changes64(db_);
    }
    return result;
  }

 private:
  // The statement at the start of `rest`, which then holds what follows it;
  // nullopt when nothing but blanks or comments is left. A text that is one
  // statement comes from the cache or goes into it.
  std::optional<StatementUse> Prepare(std::string_view& rest) {
    if (sqlite3_stmt* cached = cache_.Find(rest)) {
      rest = {};
      return std::optional<StatementUse>(std::in_place, cached, true);
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, rest.data(), static_cast<int>(rest.size()), &stmt,
                           &tail) != SQLITE_OK) {
      Fail("prepare");
    }
    ++counters_->prepared;
    const std::string_view text = rest;
    rest.remove_prefix(static_cast<std::size_t>(tail - rest.data()));
    if (!stmt) return std::nullopt;
    const bool whole = OnlyBlanks(rest);
    // The site's own texts are short, their values bound; a long one is
    // someone's own SQL that will not come again: keeping it would only
    // hold its memory.
    const bool kept = whole && text.size() <= kCachedTextBytes;
    if (kept) cache_.Put(text, stmt);
    if (whole) rest = {};
    return std::optional<StatementUse>(std::in_place, stmt, kept);
  }

  // A statement stopped by the deadline, or still locked out at it, is a
  // Timeout; a store that cannot take the write now is Unavailable;
  // anything else is an Error.
  [[noreturn]] void Fail(std::string_view what) {
    const int code = sqlite3_extended_errcode(db_);
    const int primary = code & 0xff;
    std::string message = std::string(what) + ": " + sqlite3_errmsg(db_);
    if (timeout_.count() > 0 && (primary == SQLITE_INTERRUPT || primary == SQLITE_BUSY)) {
      throw Timeout(message + " (after " + std::to_string(timeout_.count()) + " ms)",
                    code);
    }
    switch (primary) {
      case SQLITE_READONLY:
      case SQLITE_FULL:
      case SQLITE_IOERR:
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
      case SQLITE_CANTOPEN:
        throw Unavailable(message, code);
      default:
        throw Error(message, code);
    }
  }

  static int OnProgress(void* self) {
    return Clock::now() >= static_cast<SqliteHandle*>(self)->deadline_ ? 1 : 0;
  }

  // Waits for a lock in growing steps until the deadline; 0 gives up.
  static int OnBusy(void* self, int attempt) {
    static constexpr int kStepsMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    constexpr int kSteps = static_cast<int>(std::size(kStepsMs));
    const auto left = static_cast<SqliteHandle*>(self)->deadline_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto step = std::chrono::milliseconds(kStepsMs[std::min(attempt, kSteps - 1)]);
    std::this_thread::sleep_for(std::min<Clock::duration>(step, left));
    return 1;
  }

  sqlite3* db_ = nullptr;
  std::optional<FileId> file_;
  std::chrono::milliseconds timeout_;
  Clock::time_point deadline_;
  std::shared_ptr<PoolCounters> counters_;
  StatementCache cache_;
  bool wal_ = false;
};

struct SqlitePool::Shared {
  explicit Shared(std::chrono::milliseconds timeout) : query_timeout(timeout) {}

  const std::chrono::milliseconds query_timeout;
  const std::shared_ptr<PoolCounters> counters = std::make_shared<PoolCounters>();
  std::mutex mutex;
  std::map<std::string, std::vector<std::unique_ptr<SqliteHandle>>> idle;
  // The paths whose file the pool has opened: a store it has opened is
  // never created afresh in its place.
  std::set<std::string, std::less<>> opened_files;
};

namespace {

// A handle lent by the pool: it goes back to the idle list when the last
// user lets go (outside any transaction), or is closed when the pool is gone.
class PooledEngine final : public Engine {
 public:
  PooledEngine(std::unique_ptr<SqliteHandle> handle,
               std::weak_ptr<SqlitePool::Shared> pool, std::string path)
      : handle_(std::move(handle)), pool_(std::move(pool)), path_(std::move(path)) {}
  ~PooledEngine() override {
    if (auto shared = pool_.lock(); shared && sqlite3_get_autocommit(handle_->db())) {
      std::lock_guard lock(shared->mutex);
      shared->idle[path_].push_back(std::move(handle_));
    }
  }

  Result Run(std::string_view sql, const std::vector<Value>& params) override {
    return handle_->Run(sql, params);
  }
  std::string ChangeMark() override { return handle_->ChangeMark(); }
  // FTS5's trigram index folds letter case more widely than Contains, so
  // it gives a superset; the phrase is quoted so that its words stay one.
  std::optional<Condition> IndexedSuperset(std::string_view column,
                                           std::string_view keyword) const override {
    if (Characters(keyword) < kTrigram) return std::nullopt;
    std::string phrase = "\"";
    for (char c : keyword) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
    return Condition{
        "id in (select rowid from liuyan_fts where " + std::string(column) + " match ?)",
        {Value(phrase + "\"")}};
  }

 private:
  std::unique_ptr<SqliteHandle> handle_;
  std::weak_ptr<SqlitePool::Shared> pool_;
  std::string path_;
};

}  // namespace

SqlitePool::SqlitePool(std::chrono::milliseconds query_timeout)
    : shared_(std::make_shared<Shared>(query_timeout)) {}
SqlitePool::~SqlitePool() = default;

std::size_t SqlitePool::opened() const { return shared_->counters->opened; }
std::size_t SqlitePool::prepared() const { return shared_->counters->prepared; }

std::shared_ptr<Engine> SqlitePool::Acquire(std::string_view dsn) {
  auto path = SqlitePath(dsn);
  if (!path) throw Error("unsupported connection string: " + std::string(dsn));
  // A file removed or replaced under the site (an operator restoring a
  // copy) is followed at once: handles of the old one would go on writing
  // where nobody reads, and a new empty store must not take its place.
  const std::optional<FileId> file = FileIdOf(*path);
  std::unique_ptr<SqliteHandle> handle;
  // Closed outside the lock, and before a handle of the new file opens:
  // the two share the journal files by their names.
  std::vector<std::unique_ptr<SqliteHandle>> stale;
  {
    std::lock_guard lock(shared_->mutex);
    auto& handles = shared_->idle[*path];
    for (auto& h : handles) {
      if (h->file() != file) stale.push_back(std::move(h));
    }
    std::erase(handles, nullptr);
    if (!handles.empty()) {
      handle = std::move(handles.back());
      handles.pop_back();
    } else if (!file && shared_->opened_files.contains(*path)) {
      throw Unavailable("the store " + *path + " is missing", SQLITE_CANTOPEN);
    }
  }
  stale.clear();
  if (!handle) {
    handle =
        std::make_unique<SqliteHandle>(*path, shared_->query_timeout, shared_->counters);
    if (handle->file()) {
      std::lock_guard lock(shared_->mutex);
      shared_->opened_files.insert(*path);
    }
  }
  return std::make_shared<PooledEngine>(std::move(handle), shared_, *path);
}

}  // namespace tb::data
