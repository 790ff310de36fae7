#include "server/limits/client_limits.h"

#include <algorithm>

#include "check/validate.h"
#include "host/ascii.h"
#include "server/http/client_network.h"

namespace tb::server {
namespace {

using std::chrono::minutes;

constexpr LimitRule kGuessesAtName = {"guess_at_name", 5, minutes(15), minutes(15)};
constexpr LimitRule kGuesses = {"guess", 50, minutes(15), minutes(15)};
constexpr LimitRule kMails = {"mail", ClientLimits::kMailsPerHour, minutes(60), {}};
// Names are matched without regard to case; a valid one is at most 15
// characters, so a longer text is cut rather than kept whole.
constexpr std::size_t kNameBytes = 64;

// A registered name holds only check::IsNameCharacter. Another spelling
// reaches a guestbook only by the store's folding (MariaDB's collation
// takes "ábc" for "abc"), so all such spellings share one count rather than
// each bringing five more guesses.
std::string NameOfCount(std::string_view name) {
  const bool plain = std::all_of(name.begin(), name.end(), check::IsNameCharacter);
  return plain ? host::AsciiLower(name.substr(0, kNameBytes)) : "\x01 folded";
}

}  // namespace

void LimitEvents::Drop(const LimitRule& rule, Time now) {
  while (!times.empty() && now - times.front() > rule.window) times.pop_front();
}

void LimitEvents::Add(const LimitRule& rule, Time now) {
  times.push_back(now);
  if (times.size() >= rule.limit) refused_until = now + rule.lock;
}

void LimitEvents::RemoveLast(const LimitRule& rule) {
  if (times.empty()) return;
  if (times.size() >= rule.limit && refused_until == times.back() + rule.lock)
    refused_until = {};
  times.pop_back();
}

LimitEvents::Time LimitEvents::Expiry(const LimitRule& rule) const {
  return std::max(refused_until, times.empty() ? Time{} : times.back() + rule.window);
}

MemoryLimitCounts::MemoryLimitCounts(Clock clock)
    : clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::steady_clock::now(); })) {}

MemoryLimitCounts::Entry* MemoryLimitCounts::Find(Window& w, const LimitRule& rule,
                                                  const std::string& key,
                                                  LimitEvents::Time now) {
  auto it = w.entries.find(key);
  if (it == w.entries.end()) return nullptr;
  it->second.events.Drop(rule, now);
  return &it->second;
}

bool MemoryLimitCounts::Add(const LimitRule& rule, const std::string& key) {
  const auto now = clock_().time_since_epoch();
  std::lock_guard lock(mutex_);
  Window& w = windows_[rule.name];
  Entry* e = Find(w, rule, key, now);
  if (e && e->events.Refused(rule, now)) return false;
  if (e) {
    w.by_use.splice(w.by_use.begin(), w.by_use, e->in_order);
  } else {
    if (w.entries.size() >= kMaxKeys) {
      w.entries.erase(w.by_use.back());
      w.by_use.pop_back();
    }
    w.by_use.push_front(key);
    e = &w.entries[key];
    e->in_order = w.by_use.begin();
  }
  e->events.Add(rule, now);
  return true;
}

void MemoryLimitCounts::RemoveLast(const LimitRule& rule, const std::string& key) {
  std::lock_guard lock(mutex_);
  Window& w = windows_[rule.name];
  auto it = w.entries.find(key);
  if (it != w.entries.end()) it->second.events.RemoveLast(rule);
}

void MemoryLimitCounts::Clear(const LimitRule& rule, const std::string& key) {
  std::lock_guard lock(mutex_);
  Window& w = windows_[rule.name];
  auto it = w.entries.find(key);
  if (it == w.entries.end()) return;
  w.by_use.erase(it->second.in_order);
  w.entries.erase(it);
}

ClientLimits::ClientLimits(std::size_t posts_per_minute, Clock clock)
    : ClientLimits(posts_per_minute,
                   std::make_unique<MemoryLimitCounts>(std::move(clock))) {}

ClientLimits::ClientLimits(std::size_t posts_per_minute,
                           std::unique_ptr<LimitCounts> counts)
    : posts_{"post", posts_per_minute, minutes(1), {}}, counts_(std::move(counts)) {}

std::string ClientLimits::ClientKey(std::string_view address) {
  return http::ClientNetworkText(address);
}

std::string ClientLimits::NameKey(std::string_view address, std::string_view name) {
  return ClientKey(address) + '\n' + NameOfCount(name);
}

bool ClientLimits::TakeGuess(std::string_view address, std::string_view name) {
  const std::string client = ClientKey(address);
  if (!counts_->Add(kGuesses, client)) return false;
  if (counts_->Add(kGuessesAtName, NameKey(address, name))) return true;
  counts_->RemoveLast(kGuesses, client);
  return false;
}

// A right guess never counted among the address's wrong ones.
void ClientLimits::GuessSucceeded(std::string_view address, std::string_view name) {
  counts_->RemoveLast(kGuesses, ClientKey(address));
  counts_->Clear(kGuessesAtName, NameKey(address, name));
}

void ClientLimits::ReturnGuess(std::string_view address, std::string_view name) {
  counts_->RemoveLast(kGuesses, ClientKey(address));
  counts_->RemoveLast(kGuessesAtName, NameKey(address, name));
}

bool ClientLimits::TakePost(std::string_view address) {
  return counts_->Add(posts_, ClientKey(address));
}

bool ClientLimits::TakeMail(std::string_view address) {
  return counts_->Add(kMails, ClientKey(address));
}

void ClientLimits::ReturnPost(std::string_view address) {
  counts_->RemoveLast(posts_, ClientKey(address));
}

}  // namespace tb::server
