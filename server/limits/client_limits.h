// File: client_limits.h — what one client address may do in a stretch of
// time: guess secrets (passwords, the lost-password answers) and store
// messages.
//
// Guessing: 5 wrong guesses from one address at one guestbook name within 15
// minutes refuse that address further tries at that name for 15 minutes; 50
// wrong guesses from one address at any names refuse it every name the same
// way. A right guess clears the address's count at that name, and another
// address is never refused for it.
//
// Posting: one address stores at most `posts_per_minute` messages in any
// minute, across the site. A post takes its place before it runs and gives
// it back when nothing was stored, so that posts sent at the same moment
// cannot pass the limit together.
//
// Each count keeps at most kMaxKeys keys; beyond it the key used longest ago
// is forgotten, so that memory stays bounded whatever the addresses.
//
// Example:
//   ClientLimits limits(10);
//   if (limits.GuessingRefused("10.0.0.1", "abc")) { refuse; }
//   ... on a wrong password: limits.GuessFailed("10.0.0.1", "abc");
//   if (!limits.TakePost("10.0.0.1")) { redirect to guanshui.asp; }
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tb::server {

class ClientLimits {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::size_t kMaxKeys = 100'000;

  // `clock` defaults to the steady clock; tests pass their own.
  explicit ClientLimits(std::size_t posts_per_minute, Clock clock = {});

  bool GuessingRefused(std::string_view address, std::string_view name);
  void GuessFailed(std::string_view address, std::string_view name);
  void GuessSucceeded(std::string_view address, std::string_view name);

  // False, counting nothing, when the address has stored its share of
  // messages in the last minute; otherwise the post is counted.
  bool TakePost(std::string_view address);
  // Gives back the place a post took when it stored nothing.
  void ReturnPost(std::string_view address);

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  // Events of each key within a sliding window: a key with `limit` of them
  // is refused until the oldest leaves the window, or for `lock` from the
  // event that reached the limit, whichever is later.
  class Window {
   public:
    Window(std::size_t limit, Duration window, Duration lock)
        : limit_(limit), window_(window), lock_(lock) {}
    bool Refused(const std::string& key, TimePoint now);
    void Add(const std::string& key, TimePoint now);
    void RemoveLast(const std::string& key);
    void Clear(const std::string& key);

   private:
    struct Entry {
      std::deque<TimePoint> times;
      TimePoint refused_until{};
      std::list<std::string>::iterator in_order;
    };
    // The key's entry, its old events dropped; nullptr when there is none.
    Entry* Find(const std::string& key, TimePoint now);

    const std::size_t limit_;
    const Duration window_, lock_;
    std::unordered_map<std::string, Entry> entries_;
    std::list<std::string> by_use_;  // the most recently used first
  };

  static std::string NameKey(std::string_view address, std::string_view name);

  const Clock clock_;
  std::mutex mutex_;
  Window guesses_at_name_, guesses_, posts_;
};

}  // namespace tb::server
