// File: client_limits.h — what one client address may do in a stretch of
// time: guess secrets (passwords, the lost-password answers) and store
// messages.
//
// Guessing: 5 wrong guesses from one address at one guestbook name within 15
// minutes refuse that address further tries at that name for 15 minutes; 50
// wrong guesses from one address at any names refuse it every name the same
// way (names other than ASCII letters, digits and "_", which no one can
// register, count as one name). A right guess clears the address's count
// at that name, and another address is never refused for it. A guess takes
// its place before the secret is checked and is settled afterwards, so that
// guesses sent at the same moment cannot pass the limit together.
//
// Posting: one address stores at most `posts_per_minute` messages in any
// minute, across the site. A post takes its place before it runs and gives
// it back when nothing was stored, so that posts sent at the same moment
// cannot pass the limit together.
//
// Mailing: the mails sent to addresses an address's visitors typed (an
// address to confirm, a reply's poster) are kMailsPerHour in any hour.
//
// A client is its network (ClientNetworkText in server/http/client_network.h):
// an IPv6 /64, or an IPv4 address however it is written.
//
// The counts live in a LimitCounts: in this process's memory (the default), or
// in the store (StoreLimitCounts, store_limit_counts.h), where several
// servers on one store count together.
//
// Example:
//   ClientLimits limits(10);
//   if (!limits.TakeGuess("10.0.0.1", "abc")) { refuse; }
//   ... on the right password: limits.GuessSucceeded("10.0.0.1", "abc");
//   if (!limits.TakePost("10.0.0.1")) { redirect to guanshui.asp; }
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tb::server {

// One count: events of each key within a sliding window. A key with `limit`
// of them is refused until the oldest leaves the window, or for `lock` from
// the event that reached the limit, whichever is later.
struct LimitRule {
  std::string_view name;  // tells the rules' keys apart
  std::size_t limit;
  std::chrono::milliseconds window, lock;
};

// The events of one key, and the rule's arithmetic on them; times are
// durations since the counting clock's epoch.
struct LimitEvents {
  using Time = std::chrono::steady_clock::duration;
  std::deque<Time> times;
  Time refused_until{};

  // Drops the events that have left the window.
  void Drop(const LimitRule& rule, Time now);
  bool Refused(const LimitRule& rule, Time now) const {
    return now < refused_until || times.size() >= rule.limit;
  }
  void Add(const LimitRule& rule, Time now);
  // Takes back the last event, and the lock-out it began.
  void RemoveLast(const LimitRule& rule);
  // When the key may be forgotten: it is neither refused nor counting then.
  Time Expiry(const LimitRule& rule) const;
};

// Where ClientLimits keeps its counts. Each call is one step, atomic
// against the calls of other threads and of other users of the same counts.
class LimitCounts {
 public:
  virtual ~LimitCounts() = default;
  // Counts an event; a refused key counts nothing and false is returned.
  virtual bool Add(const LimitRule& rule, const std::string& key) = 0;
  // Takes back the key's last event.
  virtual void RemoveLast(const LimitRule& rule, const std::string& key) = 0;
  virtual void Clear(const LimitRule& rule, const std::string& key) = 0;
  // Forgets the keys that no longer count; returns how many.
  virtual std::size_t Sweep() = 0;
};

// The counts in this process's memory. Each rule keeps at most kMaxKeys
// keys; beyond it the key used longest ago is forgotten, so that memory
// stays bounded whatever the addresses.
class MemoryLimitCounts final : public LimitCounts {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::size_t kMaxKeys = 100'000;

  // `clock` defaults to the steady clock; tests pass their own.
  explicit MemoryLimitCounts(Clock clock = {});

  bool Add(const LimitRule& rule, const std::string& key) override;
  void RemoveLast(const LimitRule& rule, const std::string& key) override;
  void Clear(const LimitRule& rule, const std::string& key) override;
  std::size_t Sweep() override { return 0; }  // bounded by kMaxKeys instead

 private:
  struct Entry {
    LimitEvents events;
    std::list<std::string>::iterator in_order;
  };
  struct Window {
    std::unordered_map<std::string, Entry> entries;
    std::list<std::string> by_use;  // the most recently used first
  };
  // The key's entry, its old events dropped; nullptr when there is none.
  Entry* Find(Window& w, const LimitRule& rule, const std::string& key,
              LimitEvents::Time now);

  const Clock clock_;
  std::mutex mutex_;
  std::unordered_map<std::string_view, Window> windows_;  // by rule name
};

class ClientLimits {
 public:
  using Clock = MemoryLimitCounts::Clock;
  static constexpr std::size_t kMaxKeys = MemoryLimitCounts::kMaxKeys;

  // Counts in memory; `clock` defaults to the steady clock.
  explicit ClientLimits(std::size_t posts_per_minute, Clock clock = {});
  ClientLimits(std::size_t posts_per_minute, std::unique_ptr<LimitCounts> counts);

  // False, counting nothing, while the address may not guess at `name`;
  // otherwise the guess counts as a wrong one until it is settled.
  bool TakeGuess(std::string_view address, std::string_view name);
  // Settles a taken guess that was right: the count at the name is cleared.
  void GuessSucceeded(std::string_view address, std::string_view name);
  // Gives back a taken guess that checked no secret.
  void ReturnGuess(std::string_view address, std::string_view name);

  // False, counting nothing, when the address has stored its share of
  // messages in the last minute; otherwise the post is counted.
  bool TakePost(std::string_view address);
  // Gives back the place a post took when it stored nothing.
  void ReturnPost(std::string_view address);

  // False when the address has had kMailsPerHour mails sent to addresses
  // its visitor typed (confirmations, replies) in the last hour; otherwise
  // the mail is counted. The site is no one's free mail relay.
  static constexpr std::size_t kMailsPerHour = 10;
  bool TakeMail(std::string_view address);

  // Forgets what no longer counts (see LimitCounts::Sweep).
  std::size_t Sweep() { return counts_->Sweep(); }

 private:
  static std::string ClientKey(std::string_view address);
  static std::string NameKey(std::string_view address, std::string_view name);

  const LimitRule posts_;
  std::unique_ptr<LimitCounts> counts_;
};

}  // namespace tb::server
