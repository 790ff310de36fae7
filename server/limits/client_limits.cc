#include "server/limits/client_limits.h"

#include "host/ascii.h"

namespace tb::server {
namespace {

using std::chrono::minutes;

constexpr std::size_t kGuessesAtName = 5;
constexpr std::size_t kGuesses = 50;
constexpr auto kGuessWindow = minutes(15);
// Names are matched without regard to case; a valid one is at most 15
// characters, so a longer text is cut rather than kept whole.
constexpr std::size_t kNameBytes = 64;

}  // namespace

ClientLimits::ClientLimits(std::size_t posts_per_minute, Clock clock)
    : clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::steady_clock::now(); })),
      guesses_at_name_(kGuessesAtName, kGuessWindow, kGuessWindow),
      guesses_(kGuesses, kGuessWindow, kGuessWindow),
      posts_(posts_per_minute, minutes(1), {}) {}

std::string ClientLimits::NameKey(std::string_view address, std::string_view name) {
  return std::string(address) + '\n' + host::AsciiLower(name.substr(0, kNameBytes));
}

bool ClientLimits::GuessingRefused(std::string_view address, std::string_view name) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  return guesses_.Refused(std::string(address), now) ||
         guesses_at_name_.Refused(NameKey(address, name), now);
}

void ClientLimits::GuessFailed(std::string_view address, std::string_view name) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  guesses_.Add(std::string(address), now);
  guesses_at_name_.Add(NameKey(address, name), now);
}

void ClientLimits::GuessSucceeded(std::string_view address, std::string_view name) {
  std::lock_guard lock(mutex_);
  guesses_at_name_.Clear(NameKey(address, name));
}

bool ClientLimits::TakePost(std::string_view address) {
  const auto now = clock_();
  const std::string key(address);
  std::lock_guard lock(mutex_);
  if (posts_.Refused(key, now)) return false;
  posts_.Add(key, now);
  return true;
}

void ClientLimits::ReturnPost(std::string_view address) {
  std::lock_guard lock(mutex_);
  posts_.RemoveLast(std::string(address));
}

ClientLimits::Window::Entry* ClientLimits::Window::Find(const std::string& key,
                                                        TimePoint now) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return nullptr;
  Entry& e = it->second;
  while (!e.times.empty() && now - e.times.front() > window_) e.times.pop_front();
  return &e;
}

bool ClientLimits::Window::Refused(const std::string& key, TimePoint now) {
  const Entry* e = Find(key, now);
  return e && (now < e->refused_until || e->times.size() >= limit_);
}

void ClientLimits::Window::Add(const std::string& key, TimePoint now) {
  Entry* e = Find(key, now);
  if (e) {
    by_use_.splice(by_use_.begin(), by_use_, e->in_order);
  } else {
    if (entries_.size() >= kMaxKeys) {
      entries_.erase(by_use_.back());
      by_use_.pop_back();
    }
    by_use_.push_front(key);
    e = &entries_[key];
    e->in_order = by_use_.begin();
  }
  e->times.push_back(now);
  if (e->times.size() >= limit_) e->refused_until = now + lock_;
}

void ClientLimits::Window::RemoveLast(const std::string& key) {
  auto it = entries_.find(key);
  if (it != entries_.end() && !it->second.times.empty()) it->second.times.pop_back();
}

void ClientLimits::Window::Clear(const std::string& key) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return;
  by_use_.erase(it->second.in_order);
  entries_.erase(it);
}

}  // namespace tb::server
