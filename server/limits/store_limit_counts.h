// File: store_limit_counts.h — the counts of ClientLimits kept in the store
// (table `client_limit`), so that several servers on one store count the
// guesses and posts of an address together: an attacker gets no more tries
// for sending them to more servers.
//
// A row per rule and key: the times of its events within the window and
// the end of its lock-out, as milliseconds of the wall clock (the servers'
// clocks are taken to agree), and when it may be forgotten. A change reads
// and writes its row in one write transaction, so changes sent to several
// servers at the same moment all count; Sweep deletes the rows that no
// longer count.
//
// Example:
//   ClientLimits limits(10, std::make_unique<StoreLimitCounts>(pool, dsn));
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "data/engine.h"
#include "server/limits/client_limits.h"

namespace tb::server {

class StoreLimitCounts final : public LimitCounts {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `clock` defaults to the system clock; tests pass their own.
  StoreLimitCounts(data::EngineSource& databases, std::string dsn, Clock clock = {});

  bool Add(const LimitRule& rule, const std::string& key) override;
  void RemoveLast(const LimitRule& rule, const std::string& key) override;
  void Clear(const LimitRule& rule, const std::string& key) override;
  std::size_t Sweep() override;

 private:
  LimitEvents::Time Now() const { return clock_().time_since_epoch(); }

  data::EngineSource& databases_;
  const std::string dsn_;
  const Clock clock_;
};

}  // namespace tb::server
