#include "server/http/db_session_store.h"

#include <charconv>
#include <cstdint>

#include "data/connection.h"
#include "data/error.h"
#include "data/mariadb_engine.h"
#include "host/ascii.h"
#include "host/page.h"

namespace tb::server::http {
namespace {

void AppendPart(std::string& out, std::string_view bytes) {
  out += std::to_string(bytes.size());
  out += ':';
  out += bytes;
}

// Reads LENGTH ":" BYTES at `at`; nullopt when the text does not hold one.
std::optional<std::string_view> ReadPart(std::string_view text, std::size_t& at) {
  std::size_t length = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data() + at, end, length);
  if (ec != std::errc() || p == end || *p != ':') return std::nullopt;
  const auto start = static_cast<std::size_t>(p - text.data()) + 1;
  if (length > text.size() - start) return std::nullopt;
  at = start + length;
  return text.substr(start, length);
}

// A named lock of the MariaDB server, on a connection kept until released.
// Lock names are at most 64 characters: the id, which a visitor may make up,
// is named by a hash of it (a clash only makes two sessions wait for each
// other).
class NamedLock final : public SessionHold::Held {
 public:
  NamedLock(std::shared_ptr<data::Engine> db, std::string_view id,
            std::chrono::seconds wait)
      : db_(std::move(db)) {
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (unsigned char c : id) hash = (hash ^ c) * 1099511628211u;
    name_ = "tavobook.session." + std::to_string(hash);
    auto got = db_->Run("select get_lock(?, ?)", {Value(name_), Value(wait.count())});
    if (got.rows.empty() || got.rows[0][0].Whole().value_or(0) != 1) {
      throw data::Unavailable("a session stayed held by another request for " +
                              std::to_string(wait.count()) + " s");
    }
  }
  ~NamedLock() override {
    try {
      db_->Run("select release_lock(?)", {Value(name_)});
    } catch (const std::exception&) {
      // A connection that broke has lost its locks with it.
    }
  }

 private:
  std::shared_ptr<data::Engine> db_;
  std::string name_;
};

// The owner a session is logged in as, lower case; empty for none.
Value LoginOf(const SessionValues& values) {
  std::string name = SessionLogin(values);
  return name.empty() ? Value() : Value(std::move(name));
}

}  // namespace

std::string EncodeSessionValues(const SessionValues& values) {
  std::string out;
  for (const auto& [key, value] : values) {
    std::string text = value.Text();
    if (value.IsNumber()) {
      // The shortest text that reads back as the same number.
      char buffer[32];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *value.Number());
      text.assign(buffer, ec == std::errc() ? end : buffer);
    }
    out += value.IsEmpty() ? 'e' : value.IsNumber() ? 'n' : 's';
    AppendPart(out, key);
    AppendPart(out, text);
  }
  return out;
}

std::optional<SessionValues> DecodeSessionValues(std::string_view text) {
  SessionValues values;
  std::size_t at = 0;
  while (at < text.size()) {
    const char kind = text[at++];
    auto key = ReadPart(text, at);
    auto value = key ? ReadPart(text, at) : std::nullopt;
    if (!value) return std::nullopt;
    if (kind == 'e') {
      values.insert_or_assign(std::string(*key), Value());
    } else if (kind == 's') {
      values.insert_or_assign(std::string(*key), Value(*value));
    } else if (double n = 0;
               kind == 'n' &&
               std::from_chars(value->data(), value->data() + value->size(), n).ec ==
                   std::errc()) {
      values.insert_or_assign(std::string(*key), Value(n));
    } else {
      return std::nullopt;
    }
  }
  return values;
}

DatabaseSessionStore::DatabaseSessionStore(data::EngineSource& databases, std::string dsn,
                                           std::chrono::milliseconds timeout, Clock clock,
                                           SessionLimits limits,
                                           std::chrono::seconds hold_wait)
    : databases_(databases),
      dsn_(std::move(dsn)),
      mariadb_(data::MariaTargetOf(dsn_).has_value()),
      timeout_ms_(timeout.count()),
      clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::system_clock::now(); })),
      limits_(limits),
      hold_wait_(hold_wait) {}

std::int64_t DatabaseSessionStore::Now() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             clock_().time_since_epoch())
      .count();
}

SessionHold DatabaseSessionStore::Hold(std::string_view id) {
  if (!mariadb_) return local_holds_.Hold(id);
  return SessionHold(
      std::make_unique<NamedLock>(databases_.Acquire(dsn_), id, hold_wait_));
}

std::optional<SessionValues> DatabaseSessionStore::Load(std::string_view id) {
  const std::int64_t now = Now();
  auto db = databases_.Acquire(dsn_);
  // Touched first, so that a Sweep between the two statements cannot take
  // a session that is in use.
  db->Run("update session set last_used = ?, expires = ? where id = ? and expires >= ?",
          {Value(now), Value(now + timeout_ms_), Value(id), Value(now)});
  auto rows = db->Run("select vals from session where id = ? and expires >= ?",
                      {Value(id), Value(now)})
                  .rows;
  if (rows.empty()) return std::nullopt;
  return DecodeSessionValues(rows[0][0].Text()).value_or(SessionValues{});
}

void DatabaseSessionStore::Save(std::string_view id, const SessionValues& changes) {
  const std::int64_t now = Now();
  auto db = databases_.Acquire(dsn_);
  data::Transaction tx(db);
  auto rows = db->Run("select vals, expires from session where id = ?", {Value(id)}).rows;
  SessionValues values;
  if (!rows.empty() && rows[0][1].Whole().value_or(0) >= now) {
    values = DecodeSessionValues(rows[0][0].Text()).value_or(SessionValues{});
  }
  std::size_t bytes = 0;
  for (const auto& [key, value] : values) bytes += SessionEntryBytes(key, value);
  for (const auto& [key, value] : changes) {
    auto old = values.find(key);
    const std::size_t after =
        bytes - (old == values.end() ? 0 : SessionEntryBytes(key, old->second)) +
        SessionEntryBytes(key, value);
    if (after > limits_.max_session_bytes && after > bytes) continue;
    bytes = after;
    values.insert_or_assign(key, value);
  }
  const std::vector<Value> params = {Value(EncodeSessionValues(values)), LoginOf(values),
                                     Value(now), Value(now + timeout_ms_), Value(id)};
  db->RunLater(rows.empty() ? "insert into session(vals, login, last_used, expires, id) "
                              "values (?, ?, ?, ?, ?)"
                            : "update session set vals = ?, login = ?, last_used = ?, "
                              "expires = ? where id = ?",
               params);
  tx.Commit();
}

void DatabaseSessionStore::Erase(std::string_view id) {
  databases_.Acquire(dsn_)->Run("delete from session where id = ?", {Value(id)});
}

std::size_t DatabaseSessionStore::EraseLogins(std::string_view name,
                                              std::string_view keep) {
  if (name.empty()) return 0;
  return static_cast<std::size_t>(
      databases_.Acquire(dsn_)
          ->Run("delete from session where login = ? and id <> ?",
                {Value(host::AsciiLower(name)), Value(keep)})
          .changed);
}

std::size_t DatabaseSessionStore::Sweep() {
  local_holds_.Sweep();
  auto db = databases_.Acquire(dsn_);
  std::int64_t ended =
      db->Run("delete from session where expires < ?", {Value(Now())}).changed;
  // Beyond the limits the sessions idle longest end, those without a login
  // first: ranked logins first, then the most recently used, the first row
  // past max_sessions or max_total_bytes and all ranked after it end.
  const auto over = db->Run(
      "select without_login, last_used from (select login is null as without_login, "
      "last_used, row_number() over (order by login is null, last_used desc, id) as n, "
      "sum(length(vals) + ?) over (order by login is null, last_used desc, id) as bytes "
      "from session) as ranked where n > ? or bytes > ? order by n limit 1",
      {Value(static_cast<std::int64_t>(MemorySessionStore::kEntryBytes)),
       Value(static_cast<std::int64_t>(limits_.max_sessions)),
       Value(static_cast<std::int64_t>(limits_.max_total_bytes))});
  if (!over.rows.empty()) {
    ended += db->Run(over.rows[0][0].Whole() == 1
                         ? "delete from session where login is null and last_used <= ?"
                         : "delete from session where login is null or last_used <= ?",
                     {over.rows[0][1]})
                 .changed;
  }
  return static_cast<std::size_t>(ended);
}

}  // namespace tb::server::http
