#include "server/limits/store_limit_counts.h"

#include <charconv>
#include <optional>

#include "data/connection.h"

namespace tb::server {
namespace {

using std::chrono::milliseconds;

std::int64_t Ms(LimitEvents::Time t) {
  return std::chrono::duration_cast<milliseconds>(t).count();
}

std::string RowKey(const LimitRule& rule, const std::string& key) {
  return std::string(rule.name) + ':' + key;
}

// The key's events as stored, those out of the window dropped; nullopt when
// it has no row.
std::optional<LimitEvents> Read(data::Engine& db, const LimitRule& rule,
                                const std::string& row_key, LimitEvents::Time now) {
  auto rows = db.Run("select times, refused_until from client_limit where limit_key = ?",
                     {Value(row_key)})
                  .rows;
  if (rows.empty()) return std::nullopt;
  LimitEvents events;
  events.refused_until = milliseconds(rows[0][1].Whole().value_or(0));
  const std::string times = rows[0][0].Text();
  const char* p = times.data();
  const char* end = p + times.size();
  while (p < end) {
    std::int64_t ms = 0;
    auto got = std::from_chars(p, end, ms);
    if (got.ec != std::errc()) break;
    events.times.push_back(milliseconds(ms));
    p = got.ptr + (got.ptr < end ? 1 : 0);  // the blank between two
  }
  events.Drop(rule, now);
  return events;
}

void Write(data::Engine& db, const LimitRule& rule, const std::string& row_key,
           const LimitEvents& events, bool exists) {
  std::string times;
  for (auto t : events.times) {
    if (!times.empty()) times += ' ';
    times += std::to_string(Ms(t));
  }
  db.RunLater(exists
                  ? "update client_limit set times = ?, refused_until = ?, expires = ? "
                    "where limit_key = ?"
                  : "insert into client_limit(times, refused_until, expires, limit_key) "
                    "values (?, ?, ?, ?)",
              {Value(times), Value(Ms(events.refused_until)),
               Value(Ms(events.Expiry(rule))), Value(row_key)});
}

}  // namespace

StoreLimitCounts::StoreLimitCounts(data::EngineSource& databases, std::string dsn,
                                   Clock clock)
    : databases_(databases),
      dsn_(std::move(dsn)),
      clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::system_clock::now(); })) {}

bool StoreLimitCounts::Add(const LimitRule& rule, const std::string& key) {
  const auto now = Now();
  const std::string row_key = RowKey(rule, key);
  auto db = databases_.Acquire(dsn_);
  data::Transaction tx(db);
  auto events = Read(*db, rule, row_key, now);
  if (events && events->Refused(rule, now)) return false;
  LimitEvents changed = events.value_or(LimitEvents{});
  changed.Add(rule, now);
  Write(*db, rule, row_key, changed, events.has_value());
  tx.Commit();
  return true;
}

void StoreLimitCounts::RemoveLast(const LimitRule& rule, const std::string& key) {
  const std::string row_key = RowKey(rule, key);
  auto db = databases_.Acquire(dsn_);
  data::Transaction tx(db);
  auto events = Read(*db, rule, row_key, Now());
  if (!events || events->times.empty()) return;
  events->RemoveLast(rule);
  Write(*db, rule, row_key, *events, true);
  tx.Commit();
}

void StoreLimitCounts::Clear(const LimitRule& rule, const std::string& key) {
  databases_.Acquire(dsn_)->Run("delete from client_limit where limit_key = ?",
                                {Value(RowKey(rule, key))});
}

std::size_t StoreLimitCounts::Sweep() {
  return static_cast<std::size_t>(
      databases_.Acquire(dsn_)
          ->Run("delete from client_limit where expires < ?", {Value(Ms(Now()))})
          .changed);
}

}  // namespace tb::server
