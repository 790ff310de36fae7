#include "data/mariadb_engine.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/error.h"
#include "data/schema.h"
#include "host/ascii.h"
#include "host/encoding.h"

namespace tb::data {

namespace {
constexpr std::string_view kPrefix = "mariadb://";
}  // namespace

bool IsMariaDsn(std::string_view dsn) { return host::StartsWithIgnoreCase(dsn, kPrefix); }

std::string WithoutPassword(std::string_view dsn) {
  const auto scheme = dsn.find("://");
  const auto at = dsn.rfind('@');
  if (scheme == std::string_view::npos || at == std::string_view::npos || at < scheme)
    return std::string(dsn);
  const auto colon = dsn.find(':', scheme + 3);
  if (colon > at) return std::string(dsn);
  return std::string(dsn.substr(0, colon + 1)) + "***" + std::string(dsn.substr(at));
}

std::optional<MariaTarget> MariaTargetOf(std::string_view dsn) {
  if (!IsMariaDsn(dsn)) return std::nullopt;
  std::string_view rest = dsn.substr(kPrefix.size());
  MariaTarget target;
  const auto slash = rest.find('/');
  std::string_view database =
      slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  if (const auto mark = database.find('?'); mark != std::string_view::npos) {
    constexpr std::string_view kSocket = "socket=";
    const std::string_view parameter = database.substr(mark + 1);
    if (!parameter.starts_with(kSocket) || parameter.size() == kSocket.size())
      throw Error("the connection string's one parameter is socket=PATH: " +
                  WithoutPassword(dsn));
    target.socket =
        host::PercentDecode(parameter.substr(kSocket.size()), host::Plus::kItself);
    database = database.substr(0, mark);
  }
  if (database.empty())
    throw Error("the connection string names no database: " + WithoutPassword(dsn));
  target.database = std::string(database);
  std::string_view authority = rest.substr(0, slash);
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = authority.substr(0, at);
    const auto colon = login.find(':');
    target.user = host::PercentDecode(login.substr(0, colon), host::Plus::kItself);
    if (colon != std::string_view::npos) {
      target.password = host::PercentDecode(login.substr(colon + 1), host::Plus::kItself);
    }
    authority.remove_prefix(at + 1);
  }
  if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), host::IsDigit) ||
        std::stoul(std::string(port)) > 65535) {
      throw Error("the connection string's port is not a number: " +
                  WithoutPassword(dsn));
    }
    target.port = static_cast<unsigned>(std::stoul(std::string(port)));
    authority = authority.substr(0, colon);
  }
  if (!target.socket.empty()) {
    if (!authority.empty() && authority != "localhost")
      throw Error("a connection string with a socket names the host localhost: " +
                  WithoutPassword(dsn));
    authority = "localhost";  // what makes the client take the socket
  }
  target.host = authority.empty() ? "127.0.0.1" : std::string(authority);
  return target;
}

namespace {

using Clock = std::chrono::steady_clock;

// How long a handle waits for another to finish making the tables.
constexpr std::int64_t kTablesLockSeconds = 60;
// Without a query time limit, a statement waits this long for a lock.
constexpr auto kLockWait = std::chrono::seconds(10);
// A handle idle this long is pinged before it is lent again.
constexpr auto kIdleCheck = std::chrono::seconds(5);
// At most this many idle handles are kept per store.
constexpr std::size_t kIdleHandles = 32;
constexpr std::size_t kCachedStatements = 64;
// See PooledMaria::IndexedSuperset.
constexpr std::int64_t kIndexedAtMost = 5000;
// How long a probe's answer (found in few messages or in many) is used
// again, for how many keywords at most, and up to what length.
constexpr auto kProbeKept = std::chrono::minutes(10);
constexpr std::size_t kProbesKept = 1024;
constexpr std::size_t kProbedKeywordBytes = 256;
// A probe that takes longer has met trigrams of very many messages: the
// keyword is then looked for by reading the messages.
constexpr std::string_view kProbeSeconds = "0.2";
// What InnoDB answers for a full-text search stopped by the time limit (its
// handler's "aborted by user"), in place of ER_STATEMENT_TIMEOUT.
constexpr int kFullTextStopped = 188;
constexpr std::size_t kCachedTextBytes = 1024;
// At most this much of RunLater's statements wait to be sent together
// (MariaDB takes 16 MB in one packet unless told otherwise).
constexpr std::size_t kHeldBackBytes = 1 << 20;
// The named lock every writing transaction holds.
constexpr std::string_view kWriteLock = "tavobook.write";

// Literals mean what they mean on SQLite: a backslash is a plain character,
// "||" joins texts, double quotes name columns, and a value that does not
// fit its column is refused rather than cut.
constexpr std::string_view kSqlMode =
    "set session sql_mode = 'STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES,PIPES_AS_CONCAT,"
    "ANSI_QUOTES,NO_ENGINE_SUBSTITUTION,NO_AUTO_VALUE_ON_ZERO'";

bool Broken(unsigned code) {
  return code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST ||
         code == CR_CONNECTION_ERROR || code == CR_CONN_HOST_ERROR ||
         code == ER_CONNECTION_KILLED || code == ER_SERVER_SHUTDOWN;
}

// A statement stopped by the time limit, or kept waiting for a lock past
// it, is a Timeout; a store that cannot take the statement now is
// Unavailable; anything else is an Error.
[[noreturn]] void Throw(std::string message, unsigned code, bool timed) {
  if (timed && (code == ER_STATEMENT_TIMEOUT || code == ER_LOCK_WAIT_TIMEOUT)) {
    throw Timeout(message, static_cast<int>(code));
  }
  switch (code) {
    case ER_LOCK_WAIT_TIMEOUT:
    case ER_STATEMENT_TIMEOUT:
    case ER_LOCK_DEADLOCK:
    case ER_RECORD_FILE_FULL:
    case ER_DISK_FULL:
    case ER_OPTION_PREVENTS_STATEMENT:
    case ER_CANT_LOCK:
      throw Unavailable(message, static_cast<int>(code));
    default:
      if (Broken(code)) throw Unavailable(message, static_cast<int>(code));
      throw Error(message, static_cast<int>(code));
  }
}

struct StmtCloser {
  void operator()(MYSQL_STMT* stmt) const { mysql_stmt_close(stmt); }
};
using Stmt = std::unique_ptr<MYSQL_STMT, StmtCloser>;
struct ResultFree {
  void operator()(MYSQL_RES* res) const { mysql_free_result(res); }
};
using Meta = std::unique_ptr<MYSQL_RES, ResultFree>;

bool IsWhole(enum_field_types type) {
  switch (type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_YEAR:
      return true;
    default:
      return false;
  }
}
bool IsReal(enum_field_types type) {
  return type == MYSQL_TYPE_FLOAT || type == MYSQL_TYPE_DOUBLE;
}

// One value of a row read as text: a number in a column of numbers, as
// RunPrepared reads it.
Value TextValue(const MYSQL_FIELD& field, const char* text, unsigned long length) {
  if (!text) return {};
  const std::string_view digits(text, length);
  if (IsWhole(field.type)) {
    std::int64_t whole = 0;
    if (field.flags & UNSIGNED_FLAG) {
      std::uint64_t u = 0;
      std::from_chars(digits.data(), digits.data() + digits.size(), u);
      whole = static_cast<std::int64_t>(u);
    } else {
      std::from_chars(digits.data(), digits.data() + digits.size(), whole);
    }
    return Value(whole);
  }
  if (IsReal(field.type)) return Value(std::strtod(text, nullptr));
  return Value(std::string(digits));
}

// `sql` with each "?" outside quotes replaced by the value bound to it
// written as a literal, for statements sent together as one text: texts
// in hexadecimal, which no byte of theirs can end, marked as utf8mb4 so
// that they compare by their columns' rules as bound texts do. Nullopt
// where no literal means what the bound value means: a text that is not
// UTF-8 (MariaDB refuses it as a literal, not as a bound value), a
// number that is not finite, or values not one for each "?" of the text.
std::optional<std::string> WithLiterals(std::string_view sql,
                                        const std::vector<Value>& params) {
  std::string out;
  out.reserve(sql.size() + 16 * params.size());
  std::size_t next = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote closes and opens again
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '?') {
      if (next == params.size()) return std::nullopt;
      const Value& v = params[next++];
      if (v.IsEmpty()) {
        out += "NULL";
      } else if (const auto whole = v.IsNumber() ? v.Whole() : std::nullopt) {
        out += std::to_string(*whole);
      } else if (v.IsNumber()) {
        const double real = *v.Number();
        if (!std::isfinite(real)) return std::nullopt;
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, real).ptr;
        out.append(digits, end);
        if (std::find(digits, end, 'e') == end) out += "e0";  // a double, not a decimal
      } else {
        const std::string& text = v.Text();
        if (host::ValidUtf8(text) != text) return std::nullopt;
        out += "_utf8mb4 X'";
        for (unsigned char b : text) host::AppendHex(out, b, host::HexCase::kUpper);
        out += '\'';
      }
      continue;
    }
    out += c;
  }
  if (next != params.size()) return std::nullopt;
  return out;
}

// Where one parameter's value lives while the statement runs.
struct Param {
  long long whole = 0;
  double real = 0;
  std::string text;
};

// Where one column's value of the current row lands.
struct Cell {
  long long whole = 0;
  double real = 0;
  std::vector<char> text;
  unsigned long length = 0;
  my_bool null = 0;
};

}  // namespace

// One client connection with the statements prepared on it. Used by one
// thread at a time.
class MariaHandle {
 public:
  // `make_tables`: run the schema (the pool asks it of its first handle per
  // connection string).
  MariaHandle(const MariaTarget& target, std::chrono::milliseconds timeout,
              bool make_tables)
      : timeout_(timeout) {
    db_ = mysql_init(nullptr);
    if (!db_) throw Unavailable("cannot start a MariaDB client: out of memory");
    const unsigned connect_seconds = 5;
    mysql_options(db_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(db_, MYSQL_OPT_CONNECT_TIMEOUT, &connect_seconds);
    if (!mysql_real_connect(db_, target.host.c_str(), target.user.c_str(),
                            target.password.c_str(), target.database.c_str(), target.port,
                            target.socket.empty() ? nullptr : target.socket.c_str(),
                            CLIENT_MULTI_STATEMENTS)) {
      const std::string message = mysql_error(db_);
      const unsigned code = mysql_errno(db_);
      mysql_close(db_);
      const std::string where = target.socket.empty()
                                    ? target.host + ":" + std::to_string(target.port)
                                    : target.socket;
      throw Unavailable("cannot connect to MariaDB at " + where + "/" + target.database +
                            ": " + message,
                        static_cast<int>(code));
    }
    try {
      CheckServer();
      const double wait =
          std::chrono::duration<double>(timeout_.count() > 0
                                            ? std::chrono::duration<double>(timeout_)
                                            : std::chrono::duration<double>(kLockWait))
              .count();
      lock_wait_seconds_ = std::max<long>(1, std::lround(std::ceil(wait)));
      RunTexts(kSqlMode);
      RunTexts("set session transaction isolation level read committed");
      RunTexts("set session innodb_lock_wait_timeout = " +
               std::to_string(lock_wait_seconds_));
      if (make_tables) MakeTables();
      if (timeout_.count() > 0) {
        RunTexts("set session max_statement_time = " +
                 std::to_string(static_cast<double>(timeout_.count()) / 1000.0));
      }
    } catch (...) {
      mysql_close(db_);
      throw;
    }
  }
  ~MariaHandle() {
    // The connection first: it detaches the statements, which then close
    // without a word to the server.
    mysql_close(db_);
    index_.clear();
    cache_.clear();
    once_.reset();
  }
  MariaHandle(const MariaHandle&) = delete;
  MariaHandle& operator=(const MariaHandle&) = delete;

  bool broken() const { return broken_; }
  bool in_transaction() const { return in_transaction_; }
  Clock::time_point idle_since() const { return idle_since_; }
  void set_idle_since(Clock::time_point t) { idle_since_ = t; }
  bool Ping() { return mysql_ping(db_) == 0; }

  // One handle at a time, on any server, makes the tables.
  void MakeTables() {
    const Result taken = Run("select get_lock(?, ?)",
                             {Value(std::string(kWriteLock)), Value(kTablesLockSeconds)});
    if (taken.rows.empty() || taken.rows[0][0].Whole() != 1)
      throw Unavailable("the store's write lock stayed taken for " +
                        std::to_string(kTablesLockSeconds) +
                        " s: its tables are not checked");
    try {
      for (std::string_view statement : MariaSchema()) RunTexts(statement);
    } catch (...) {
      ReleaseLock();
      throw;
    }
    ReleaseLock();
  }

  // A writing transaction holds the store's named lock from start to end:
  // InnoDB's own row locks come only with the writes, so two transactions
  // that read and then write would both read the old row. Since every other
  // writer waits meanwhile, the lock is held for as few round trips as can
  // be: taking it and starting the transaction go with the transaction's
  // first statement, and its writes whose results are not wanted (RunLater)
  // go with the commit and the release.
  void Begin() { in_transaction_ = lock_pending_ = true; }
  void BeginOwnLocks() {
    RunTexts("start transaction");
    in_transaction_ = true;
  }
  void End(std::string_view how) {
    in_transaction_ = false;
    std::string batch = std::exchange(later_, {});
    if (std::exchange(lock_pending_, false)) return;  // nothing was sent
    const bool held = std::exchange(holds_lock_, false);
    if (how != "commit") batch.clear();
    batch += how;
    const std::string release = "; do release_lock('" + std::string(kWriteLock) + "')";
    if (held) batch += release;
    try {
      RunTexts(batch);
    } catch (...) {
      // A statement that failed stopped the ones after it: undo those
      // before it, and let the lock go.
      try {
        RunTexts(held ? "rollback" + release : "rollback");
      } catch (const Error&) {
        broken_ = true;  // not lent again: closing it undoes the rest
      }
      throw;
    }
  }

  Result Run(std::string_view sql, const std::vector<Value>& params) {
    if (lock_pending_ || !later_.empty()) {
      if (auto text = WithLiterals(sql, params)) return SendWaiting(*text);
      SendWaiting({});
    }
    return RunPrepared(sql, params);
  }

  // Runs a statement whose result is not wanted: inside a transaction it
  // waits to go with the next statement or the commit.
  void RunLater(std::string_view sql, const std::vector<Value>& params) {
    auto text = in_transaction_ ? WithLiterals(sql, params) : std::nullopt;
    if (!text) return void(Run(sql, params));
    // The lock first, so that a write never runs without it; and no text
    // near the server's packet limit.
    if (lock_pending_ || later_.size() + text->size() > kHeldBackBytes) SendWaiting({});
    (later_ += *text) += "; ";
  }

 private:
  // Sends what waits (the lock and the start of the transaction, writes)
  // and then `last`, in one round trip; gives `last`'s result.
  Result SendWaiting(std::string_view last) {
    const bool locking = std::exchange(lock_pending_, false);
    std::string batch;
    if (locking) {
      batch = "select get_lock('" + std::string(kWriteLock) + "', " +
              std::to_string(lock_wait_seconds_) + "); start transaction; ";
      holds_lock_ = true;  // released by End whatever happens now
    }
    batch += std::exchange(later_, {});
    if (last.empty()) {
      if (batch.empty()) return {};
      batch.resize(batch.size() - 2);  // the last "; "
    } else {
      batch += last;
    }
    std::vector<Result> results = RunTexts(batch);
    if (locking && (results[0].rows.empty() || results[0].rows[0][0].Whole() != 1)) {
      End("rollback");
      Throw("the store's write lock stayed taken for " +
                std::to_string(lock_wait_seconds_) + " s",
            ER_LOCK_WAIT_TIMEOUT, timeout_.count() > 0);
    }
    return std::move(results.back());
  }

  Result RunPrepared(std::string_view sql, const std::vector<Value>& params) {
    MYSQL_STMT* stmt = Prepare(sql);
    const unsigned long count = mysql_stmt_param_count(stmt);
    std::vector<Param> values(count);
    std::vector<MYSQL_BIND> binds(count);
    for (unsigned long i = 0; i < count; ++i) {
      MYSQL_BIND& b = binds[i];
      if (i >= params.size() || params[i].IsEmpty()) {
        b.buffer_type = MYSQL_TYPE_NULL;
      } else if (auto whole = params[i].IsNumber() ? params[i].Whole() : std::nullopt) {
        values[i].whole = *whole;
        b.buffer_type = MYSQL_TYPE_LONGLONG;
        b.buffer = &values[i].whole;
      } else if (params[i].IsNumber()) {
        values[i].real = *params[i].Number();
        b.buffer_type = MYSQL_TYPE_DOUBLE;
        b.buffer = &values[i].real;
      } else {
        values[i].text = params[i].Text();
        b.buffer_type = MYSQL_TYPE_STRING;
        b.buffer = values[i].text.data();
        b.buffer_length = values[i].text.size();
      }
    }
    if (count && mysql_stmt_bind_param(stmt, binds.data())) Fail(stmt, "bind");
    if (mysql_stmt_execute(stmt)) Fail(stmt, "execute");
    Result result;
    Meta meta(mysql_stmt_result_metadata(stmt));
    if (!meta) {
      result.changed = static_cast<std::int64_t>(mysql_stmt_affected_rows(stmt));
      return result;
    }
    const my_bool update_max = 1;
    mysql_stmt_attr_set(stmt, STMT_ATTR_UPDATE_MAX_LENGTH, &update_max);
    if (mysql_stmt_store_result(stmt)) FailReading(stmt, "read");
    const unsigned columns = mysql_num_fields(meta.get());
    MYSQL_FIELD* fields = mysql_fetch_fields(meta.get());
    std::vector<Cell> cells(columns);
    std::vector<MYSQL_BIND> out(columns);
    for (unsigned i = 0; i < columns; ++i) {
      result.columns.emplace_back(fields[i].name, fields[i].name_length);
      MYSQL_BIND& b = out[i];
      b.is_null = &cells[i].null;
      b.length = &cells[i].length;
      if (IsWhole(fields[i].type)) {
        b.buffer_type = MYSQL_TYPE_LONGLONG;
        b.buffer = &cells[i].whole;
        b.is_unsigned = (fields[i].flags & UNSIGNED_FLAG) != 0;
      } else if (IsReal(fields[i].type)) {
        b.buffer_type = MYSQL_TYPE_DOUBLE;
        b.buffer = &cells[i].real;
      } else {
        cells[i].text.resize(fields[i].max_length + 1);
        b.buffer_type = MYSQL_TYPE_STRING;
        b.buffer = cells[i].text.data();
        b.buffer_length = cells[i].text.size();
      }
    }
    if (mysql_stmt_bind_result(stmt, out.data())) Fail(stmt, "bind");
    int rc;
    while ((rc = mysql_stmt_fetch(stmt)) == 0) {
      Row row;
      row.reserve(columns);
      for (unsigned i = 0; i < columns; ++i) {
        const Cell& c = cells[i];
        if (c.null) {
          row.emplace_back();
        } else if (out[i].buffer_type == MYSQL_TYPE_LONGLONG) {
          row.emplace_back(static_cast<std::int64_t>(c.whole));
        } else if (out[i].buffer_type == MYSQL_TYPE_DOUBLE) {
          row.emplace_back(c.real);
        } else {
          row.emplace_back(std::string(c.text.data(), c.length));
        }
      }
      result.rows.push_back(std::move(row));
    }
    // A value longer than its column said it could be is an error, not the end.
    if (rc == 1 || rc == MYSQL_DATA_TRUNCATED) FailReading(stmt, "fetch");
    mysql_stmt_free_result(stmt);
    return result;
  }

  void CheckServer() {
    Result r = Run("select @@lower_case_table_names", {});
    if (r.rows.empty() || r.rows[0][0].Text() != "1") {
      throw Error(
          "the MariaDB server must run with lower_case_table_names=1 (in the [mysqld] "
          "section of its configuration, set before its data folder is first made): "
          "the site's SQL names its tables in more than one letter case");
    }
    if (mysql_get_server_version(db_) < 100600) {
      throw Error(
          std::string("the MariaDB server must be version 10.6 or later (it is ") +
          mysql_get_server_info(db_) +
          "): the search index's servers take turns by \"skip locked\"");
    }
  }

  // Runs a text of one or more statements without parameters (settings,
  // the schema, transactions, statements sent together) in one round trip;
  // gives each statement's result, its values typed by their columns as
  // RunPrepared's are. It stops at the first statement that fails.
  std::vector<Result> RunTexts(std::string_view sql) {
    std::vector<Result> results;
    int status = mysql_real_query(db_, sql.data(), sql.size()) ? 1 : 0;
    for (; status == 0; status = mysql_next_result(db_)) {
      Result& result = results.emplace_back();
      const Meta rows(mysql_store_result(db_));
      if (!rows) {
        if (mysql_field_count(db_) != 0) {  // rows that did not come
          results.pop_back();
          status = 1;
          break;
        }
        result.changed = static_cast<std::int64_t>(mysql_affected_rows(db_));
        continue;
      }
      const unsigned columns = mysql_num_fields(rows.get());
      const MYSQL_FIELD* fields = mysql_fetch_fields(rows.get());
      for (unsigned i = 0; i < columns; ++i)
        result.columns.emplace_back(fields[i].name, fields[i].name_length);
      while (MYSQL_ROW row = mysql_fetch_row(rows.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(rows.get());
        Row& values = result.rows.emplace_back();
        values.reserve(columns);
        for (unsigned i = 0; i < columns; ++i)
          values.push_back(TextValue(fields[i], row[i], lengths[i]));
      }
    }
    if (status > 0) {
      const unsigned code = mysql_errno(db_);
      if (Broken(code)) broken_ = true;
      Throw("statement " + std::to_string(results.size() + 1) + " of " +
                std::string(sql.substr(0, 80)) + ": " + mysql_error(db_),
            code, timeout_.count() > 0);
    }
    return results;
  }

  void ReleaseLock() {
    try {
      Run("select release_lock(?)", {Value(std::string(kWriteLock))});
    } catch (const Error&) {
      // A connection that broke has lost its lock with it.
    }
  }

  MYSQL_STMT* Prepare(std::string_view sql) {
    if (auto it = index_.find(sql); it != index_.end()) {
      cache_.splice(cache_.begin(), cache_, it->second);
      return it->second->stmt.get();
    }
    Stmt stmt(mysql_stmt_init(db_));
    if (!stmt) throw Unavailable("cannot prepare a statement: out of memory");
    if (mysql_stmt_prepare(stmt.get(), sql.data(), sql.size())) {
      Fail(stmt.get(), "prepare " + std::string(sql.substr(0, 120)));
    }
    if (sql.size() > kCachedTextBytes) {
      // A long text is someone's own SQL that will not come again.
      once_ = std::move(stmt);
      return once_.get();
    }
    if (cache_.size() >= kCachedStatements) {
      index_.erase(cache_.back().sql);
      cache_.pop_back();
    }
    cache_.push_front({std::string(sql), std::move(stmt)});
    index_.emplace(cache_.front().sql, cache_.begin());
    return cache_.front().stmt.get();
  }

  [[noreturn]] void Fail(MYSQL_STMT* stmt, std::string_view what) {
    const unsigned code = mysql_stmt_errno(stmt);
    const std::string message = std::string(what) + ": " + mysql_stmt_error(stmt);
    mysql_stmt_free_result(stmt);
    if (Broken(code)) broken_ = true;
    Throw(message, code, timeout_.count() > 0);
  }

  // A statement stopped while its rows were coming (the time limit, a
  // killed query) is left expecting the rest, and would wait for them
  // forever when run again: the handle is not lent again, and closing it
  // closes the connection first (see ~MariaHandle).
  [[noreturn]] void FailReading(MYSQL_STMT* stmt, std::string_view what) {
    broken_ = true;
    Fail(stmt, what);
  }

  struct Entry {
    std::string sql;
    Stmt stmt;
  };
  MYSQL* db_ = nullptr;
  std::chrono::milliseconds timeout_;
  long lock_wait_seconds_ = 10;
  bool broken_ = false;
  bool in_transaction_ = false;
  bool holds_lock_ = false;    // the store's named write lock
  bool lock_pending_ = false;  // Begin's lock, to be taken with what comes next
  std::string later_;          // RunLater's statements, each followed by "; "
  Clock::time_point idle_since_ = Clock::now();
  std::list<Entry> cache_;
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;
  Stmt once_;
};

struct MariaPool::Shared {
  explicit Shared(std::chrono::milliseconds timeout) : query_timeout(timeout) {}
  const std::chrono::milliseconds query_timeout;
  std::mutex mutex;
  std::map<std::string, std::vector<std::unique_ptr<MariaHandle>>, std::less<>> idle;
  // The connection strings whose tables a handle of this pool has made.
  std::set<std::string, std::less<>> tables_made;
  // The answers of recent probes of the search index (see
  // PooledMaria::IndexedSuperset), by store, column and keyword: whether
  // the index finds the keyword in few messages, and when that was probed.
  struct Probed {
    bool few;
    Clock::time_point at;
  };
  std::mutex probes_mutex;
  std::unordered_map<std::string, Probed> probes;
};

namespace {

// A handle lent by the pool: it goes back to the idle list when the last
// user lets go, unless its connection broke or a transaction was left open
// (then it closes, and the server undoes the transaction).
class PooledMaria final : public Engine {
 public:
  PooledMaria(std::unique_ptr<MariaHandle> handle, std::weak_ptr<MariaPool::Shared> pool,
              std::string dsn)
      : handle_(std::move(handle)), pool_(std::move(pool)), dsn_(std::move(dsn)) {}
  ~PooledMaria() override {
    auto shared = pool_.lock();
    if (!shared || handle_->broken() || handle_->in_transaction()) return;
    handle_->set_idle_since(Clock::now());
    std::lock_guard lock(shared->mutex);
    auto& handles = shared->idle[dsn_];
    if (handles.size() < kIdleHandles) handles.push_back(std::move(handle_));
  }

  Result Run(std::string_view sql, const std::vector<Value>& params) override {
    return handle_->Run(sql, params);
  }
  void RunLater(std::string_view sql, const std::vector<Value>& params) override {
    handle_->RunLater(sql, params);
  }
  void Begin() override { handle_->Begin(); }
  void BeginOwnLocks() override { handle_->BeginOwnLocks(); }
  // The columns compare as bytes, so a pattern matches letters in either
  // case only where it says so: [aA] for each letter A to Z.
  Condition Contains(std::string_view column, std::string_view keyword) const override {
    std::string pattern;
    for (char c : keyword) {
      if (host::IsAsciiLetter(c)) {
        pattern +=
            {'[', host::LowerAscii(c), static_cast<char>(host::LowerAscii(c) - 32), ']'};
      } else {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && !host::IsDigit(c)) pattern += '\\';
        pattern += c;
      }
    }
    return {std::string(column) + " regexp ?", {Value(pattern)}};
  }
  // Messages whose texts of `column` hold up to four of the keyword's
  // trigrams (its first, its last and two between) by the full-text index
  // of `liuyan_gram`, in any case of their letters A to Z, which is what
  // Contains folds, and the messages queued for that index or too long for
  // it (kEveryGram). InnoDB hands out a full-text match far more slowly
  // than a scan reads a row, so a keyword the index finds in kIndexedAtMost
  // messages or more is looked for by reading the guestbook's messages
  // instead (nullopt): one probe of the index, stopped at that count, tells.
  // The probe counts every match of each trigram before it stops (a second
  // for a keyword in a tenth of a million messages), so it is stopped after
  // kProbeSeconds, which answers "many", and its answer serves the same
  // keyword for kProbeKept: either way the same messages are found, only
  // faster or slower.
  std::optional<Condition> IndexedSuperset(std::string_view column,
                                           std::string_view keyword) const override {
    const std::vector<std::string> grams = Trigrams(keyword);
    if (grams.empty()) return std::nullopt;
    std::vector<std::size_t> picks = {0, grams.size() / 3, 2 * grams.size() / 3,
                                      grams.size() - 1};
    picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
    std::string query;
    for (std::size_t pick : picks) {
      const std::string& gram = grams[pick];
      std::vector<std::size_t> letters;
      for (std::size_t i = 0; i < gram.size(); ++i) {
        if (host::IsAsciiLetter(gram[i])) letters.push_back(i);
      }
      query += query.empty() ? "+(" : " +(";
      for (unsigned cases = 0; cases < (1u << letters.size()); ++cases) {
        std::string variant = gram;
        for (std::size_t k = 0; k < letters.size(); ++k) {
          variant[letters[k]] ^= static_cast<char>((cases >> k & 1u) << 5);  // 'a' ^ 'A'
        }
        query += (cases ? " " : "") + MariaGramWord(column, variant);
      }
      (query += ' ') += kEveryGram;
      query += ")";
    }
    if (!FoundInFew(column, keyword, query)) return std::nullopt;
    // The queued messages are few (IndexPendingGrams keeps up), and the
    // derived table lets MariaDB read the union once rather than per row.
    return Condition{
        "id in (select id from (select id from liuyan_gram where match(grams) "
        "against(? in boolean mode) union all select id from liuyan_gram_pending) "
        "as candidates)",
        {Value(query)}};
  }
  void Commit() override { handle_->End("commit"); }
  void Rollback() override { handle_->End("rollback"); }

 private:
  // Whether the index finds the full-text `query` of `keyword` in `column`
  // in fewer than kIndexedAtMost messages, as last probed within kProbeKept.
  bool FoundInFew(std::string_view column, std::string_view keyword,
                  const std::string& query) const {
    const auto shared = pool_.lock();
    const bool keeps = shared && keyword.size() <= kProbedKeywordBytes;
    std::string key;
    if (keeps) {
      ((key = dsn_) += '\n') += column;
      (key += '\n') += keyword;
      std::lock_guard lock(shared->probes_mutex);
      auto it = shared->probes.find(key);
      if (it != shared->probes.end() && Clock::now() - it->second.at < kProbeKept)
        return it->second.few;
    }
    bool few = false;
    try {
      const Result found = handle_->Run(
          "set statement max_statement_time = " + std::string(kProbeSeconds) +
              " for select count(*) from (select id from liuyan_gram where "
              "match(grams) against(? in boolean mode) limit ?) as probe",
          {Value(query), Value(kIndexedAtMost)});
      few = !found.rows.empty() && found.rows[0][0].Whole().value_or(0) < kIndexedAtMost;
    } catch (const Error& e) {
      if (e.code() != ER_STATEMENT_TIMEOUT && e.code() != kFullTextStopped) throw;
    }
    if (keeps) {
      std::lock_guard lock(shared->probes_mutex);
      if (shared->probes.size() >= kProbesKept) shared->probes.clear();
      shared->probes[key] = {few, Clock::now()};
    }
    return few;
  }

  std::unique_ptr<MariaHandle> handle_;
  std::weak_ptr<MariaPool::Shared> pool_;
  std::string dsn_;
};

}  // namespace

MariaPool::MariaPool(std::chrono::milliseconds query_timeout)
    : shared_(std::make_shared<Shared>(query_timeout)) {
  // The client library sets itself up on its first use, which is not safe
  // from two threads at once: do it here, before any page runs.
  mysql_library_init(0, nullptr, nullptr);
}
MariaPool::~MariaPool() = default;

std::shared_ptr<Engine> MariaPool::Acquire(std::string_view dsn) {
  auto target = MariaTargetOf(dsn);
  if (!target) throw Error("unsupported connection string: " + WithoutPassword(dsn));
  for (;;) {
    std::unique_ptr<MariaHandle> handle;
    bool make_tables = false;
    {
      std::lock_guard lock(shared_->mutex);
      make_tables = !shared_->tables_made.contains(dsn);
      auto& handles = shared_->idle[std::string(dsn)];
      if (!handles.empty()) {
        handle = std::move(handles.back());
        handles.pop_back();
      }
    }
    if (!handle) {
      handle =
          std::make_unique<MariaHandle>(*target, shared_->query_timeout, make_tables);
      if (make_tables) {
        std::lock_guard lock(shared_->mutex);
        shared_->tables_made.emplace(dsn);
      }
    } else if (Clock::now() - handle->idle_since() > kIdleCheck && !handle->Ping()) {
      continue;  // the server closed it meanwhile: try the next, or connect afresh
    }
    return std::make_shared<PooledMaria>(std::move(handle), shared_, std::string(dsn));
  }
}

}  // namespace tb::data
