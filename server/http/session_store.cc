#include "server/http/session_store.h"

#include <sys/random.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "host/ascii.h"
#include "host/page.h"

namespace tb::server::http {

void SecureRandomBytes(unsigned char* bytes, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    ssize_t n = getrandom(bytes + got, count - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    got += static_cast<std::size_t>(n);
  }
}

std::string RandomHex(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  SecureRandomBytes(bytes.data(), bytes.size());
  std::string hex;
  hex.reserve(count * 2);
  for (unsigned char b : bytes) host::AppendHex(hex, b, host::HexCase::kLower);
  return hex;
}

std::string NewSessionId() { return RandomHex(32); }

MemorySessionStore::MemorySessionStore(std::chrono::steady_clock::duration timeout,
                                       Clock clock, SessionLimits limits)
    : timeout_(timeout),
      clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::steady_clock::now(); })),
      limits_(limits) {}

std::string SessionLogin(const SessionValues& values) {
  auto get = [&](std::string_view key) {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second.Text();
  };
  if (get(host::kLoginFlag) != "yes") return {};
  return host::AsciiLower(get(host::kLoginName));
}

std::size_t SessionEntryBytes(std::string_view key, const Value& value) {
  return key.size() + value.Text().size() + MemorySessionStore::kEntryBytes;
}

namespace {

struct MutexHeld final : SessionHold::Held {
  explicit MutexHeld(std::shared_ptr<std::mutex> m) : mutex(std::move(m)), lock(*mutex) {}
  std::shared_ptr<std::mutex> mutex;  // outlives lock, declared first
  std::unique_lock<std::mutex> lock;
};

}  // namespace

SessionHold::SessionHold(std::shared_ptr<std::mutex> mutex)
    : held_(std::make_unique<MutexHeld>(std::move(mutex))) {}

SessionHold LocalHolds::Hold(std::string_view id) {
  std::shared_ptr<std::mutex> mutex;
  {
    std::lock_guard lock(mutex_);
    // Every request with a session cookie, made up or renewed at a login,
    // leaves an id here: the unused ones go whenever the map has doubled,
    // so it stays within twice the ids in use, at a constant cost a hold.
    if (holds_.size() >= 2 * in_use_ + 64) {
      std::erase_if(holds_, [](const auto& h) { return h.second.expired(); });
      in_use_ = holds_.size();
    }
    auto it = holds_.find(id);
    if (it != holds_.end()) mutex = it->second.lock();
    if (!mutex) {
      mutex = std::make_shared<std::mutex>();
      holds_.insert_or_assign(std::string(id), mutex);
    }
  }
  return SessionHold(std::move(mutex));  // waits outside the map's own lock
}

bool LocalHolds::Held(std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = holds_.find(id);
  return it != holds_.end() && !it->second.expired();
}

void LocalHolds::Sweep() {
  std::lock_guard lock(mutex_);
  std::erase_if(holds_, [](const auto& h) { return h.second.expired(); });
}

std::size_t LocalHolds::size() const {
  std::lock_guard lock(mutex_);
  return holds_.size();
}

void MemorySessionStore::Touch(Sessions::iterator it,
                               std::chrono::steady_clock::time_point now) {
  it->second.last_used = now;
  auto& order = by_use_[it->second.login];
  order.splice(order.begin(), order, it->second.in_order);
}

void MemorySessionStore::Forget(Sessions::iterator it) {
  total_bytes_ -= it->second.bytes;
  by_use_[it->second.login].erase(it->second.in_order);
  sessions_.erase(it);
}

std::optional<MemorySessionStore::Sessions::iterator> MemorySessionStore::Oldest() const {
  for (const auto& order : by_use_) {
    if (!order.empty()) return order.back();
  }
  return std::nullopt;
}

SessionHold MemorySessionStore::Hold(std::string_view id) { return holds_.Hold(id); }

std::optional<SessionValues> MemorySessionStore::Load(std::string_view id) {
  auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  if (Ended(it->second, now)) {
    Forget(it);
    return std::nullopt;
  }
  Touch(it, now);
  return it->second.values;
}

void MemorySessionStore::Save(std::string_view id, const SessionValues& changes) {
  auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) {
    while (sessions_.size() >= limits_.max_sessions && Oldest()) Forget(*Oldest());
    it = sessions_.emplace(std::string(id), Entry{}).first;
    it->second.in_order = by_use_[false].insert(by_use_[false].begin(), it);
  } else if (Ended(it->second, now)) {
    total_bytes_ -= it->second.bytes;
    it->second.values.clear();
    it->second.bytes = 0;
  }
  Touch(it, now);
  Entry& e = it->second;
  for (const auto& [key, value] : changes) {
    auto old = e.values.find(key);
    const std::size_t old_bytes =
        old == e.values.end() ? 0 : SessionEntryBytes(key, old->second);
    const std::size_t bytes = e.bytes - old_bytes + SessionEntryBytes(key, value);
    if (bytes > limits_.max_session_bytes && bytes > e.bytes) continue;
    total_bytes_ += bytes - e.bytes;
    e.bytes = bytes;
    e.values.insert_or_assign(key, value);
  }
  if (const bool login = !SessionLogin(e.values).empty(); login != e.login) {
    by_use_[login].splice(by_use_[login].begin(), by_use_[e.login], e.in_order);
    e.login = login;
  }
  // The others give way, the longest idle first.
  while (total_bytes_ > limits_.max_total_bytes && Oldest() != it) Forget(*Oldest());
}

void MemorySessionStore::Erase(std::string_view id) {
  std::lock_guard lock(mutex_);
  if (auto it = sessions_.find(id); it != sessions_.end()) Forget(it);
}

std::size_t MemorySessionStore::EraseLogins(std::string_view name,
                                            std::string_view keep) {
  auto value = [](const SessionValues& values, std::string_view key) {
    auto it = values.find(key);
    return it == values.end() ? Value() : it->second;
  };
  std::lock_guard lock(mutex_);
  std::size_t erased = 0;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    const SessionValues& v = it->second.values;
    const bool ends =
        it->first != keep &&
        host::IsLoginOf(value(v, host::kLoginFlag), value(v, host::kLoginName), name);
    auto next = std::next(it);
    if (ends) {
      Forget(it);
      ++erased;
    }
    it = next;
  }
  return erased;
}

std::size_t MemorySessionStore::Sweep() {
  auto now = clock_();
  holds_.Sweep();
  std::lock_guard lock(mutex_);
  // The idle ones are at the end of each order.
  std::size_t ended = 0;
  for (auto& order : by_use_) {
    while (!order.empty() && Ended(order.back()->second, now)) {
      Forget(order.back());
      ++ended;
    }
  }
  return ended;
}

std::size_t MemorySessionStore::total_bytes() const {
  std::lock_guard lock(mutex_);
  return total_bytes_;
}

std::size_t MemorySessionStore::hold_count() const { return holds_.size(); }

std::size_t MemorySessionStore::size() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

}  // namespace tb::server::http
