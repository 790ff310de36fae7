#include "data/sqlite_engine.h"

#include <sqlite3.h>

#include "data/error.h"
#include "data/schema.h"
#include "host/ascii.h"

namespace tb::data {

int Result::Find(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (host::EqualsIgnoreCase(columns[i], column)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> SqlitePath(std::string_view dsn) {
  constexpr std::string_view kPrefix = "sqlite:";
  if (dsn.size() <= kPrefix.size() ||
      !host::EqualsIgnoreCase(dsn.substr(0, kPrefix.size()), kPrefix)) {
    return std::nullopt;
  }
  return std::string(dsn.substr(kPrefix.size()));
}

namespace {

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
  throw Error(std::string(what) + ": " + sqlite3_errmsg(db),
              sqlite3_extended_errcode(db));
}

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

void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const Value& value) {
  int rc;
  if (value.IsEmpty()) {
    rc = sqlite3_bind_null(stmt, index);
  } else if (value.IsNumber()) {
    double n = *value.Number();
    auto whole = value.Whole();
    rc = whole ? sqlite3_bind_int64(stmt, index, *whole)
               : sqlite3_bind_double(stmt, index, n);
  } else {
    std::string text = value.Text();
    rc = sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                           SQLITE_TRANSIENT);
  }
  if (rc != SQLITE_OK) Fail(db, "bind");
}

// One statement, finalized however the run ends.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

class SqliteEngine : public Engine {
 public:
  // Runs statements on a handle it does not own.
  explicit SqliteEngine(sqlite3* db) : db_(db) {}

  Result Run(std::string_view sql, const std::vector<Value>& params) override {
    Result result;
    std::string_view rest = sql;
    // Several statements may come in one text (the schema does); each runs in
    // turn and the last one's rows are the result.
    while (true) {
      Statement s;
      const char* tail = nullptr;
      if (sqlite3_prepare_v2(db_, rest.data(), static_cast<int>(rest.size()), &s.stmt,
                             &tail) != SQLITE_OK) {
        Fail(db_, "prepare");
      }
      std::size_t used = static_cast<std::size_t>(tail - rest.data());
      rest.remove_prefix(used);
      if (!s.stmt) break;  // only blanks or comments were left
      int n = sqlite3_bind_parameter_count(s.stmt);
      for (int i = 0; i < n && i < static_cast<int>(params.size()); ++i) {
        Bind(db_, s.stmt, i + 1, params[i]);
      }
      result = Result();
      int columns = sqlite3_column_count(s.stmt);
      for (int i = 0; i < columns; ++i)
        result.columns.emplace_back(sqlite3_column_name(s.stmt, i));
      int rc;
      while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        Row row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(s.stmt, i));
        result.rows.push_back(std::move(row));
      }
      if (rc != SQLITE_DONE) Fail(db_, "step");
    }
    return result;
  }

  std::string_view RowIdColumn() const override { return "rowid"; }

  sqlite3* db() const { return db_; }

 protected:
  sqlite3* db_;
};

}  // namespace

struct SqlitePool::Shared {
  std::mutex mutex;
  std::map<std::string, std::vector<sqlite3*>> idle;

  ~Shared() {
    for (auto& [path, handles] : idle) {
      for (sqlite3* db : handles) sqlite3_close(db);
    }
  }
};

namespace {

// A handle lent by the pool: it goes back to the idle list when the last
// user lets go (outside any transaction), or is closed when the pool is gone.
class PooledEngine final : public SqliteEngine {
 public:
  PooledEngine(sqlite3* db, std::weak_ptr<SqlitePool::Shared> pool, std::string path)
      : SqliteEngine(db), pool_(std::move(pool)), path_(std::move(path)) {}
  ~PooledEngine() override {
    if (auto shared = pool_.lock(); shared && sqlite3_get_autocommit(db_)) {
      std::lock_guard lock(shared->mutex);
      shared->idle[path_].push_back(db_);
      return;
    }
    sqlite3_close(db_);
  }

 private:
  std::weak_ptr<SqlitePool::Shared> pool_;
  std::string path_;
};

}  // namespace

SqlitePool::SqlitePool() : shared_(std::make_shared<Shared>()) {}
SqlitePool::~SqlitePool() = default;

std::shared_ptr<Engine> SqlitePool::Acquire(std::string_view dsn) {
  auto path = SqlitePath(dsn);
  if (!path) throw Error("unsupported connection string: " + std::string(dsn));
  sqlite3* db = nullptr;
  {
    std::lock_guard lock(shared_->mutex);
    auto& handles = shared_->idle[*path];
    if (!handles.empty()) {
      db = handles.back();
      handles.pop_back();
    }
  }
  if (!db) {
    int rc = sqlite3_open_v2(
        path->c_str(), &db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close(db);
      throw Error("cannot open " + *path + ": " + message, rc);
    }
    sqlite3_busy_timeout(db, 10000);
    try {
      SqliteEngine setup(db);
      setup.Run("pragma journal_mode=wal; pragma synchronous=normal;", {});
      setup.Run(kSqliteSchema, {});
    } catch (const Error&) {
      sqlite3_close(db);
      throw;
    }
  }
  return std::make_shared<PooledEngine>(db, shared_, *path);
}

}  // namespace tb::data
