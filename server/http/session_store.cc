#include "server/http/session_store.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <system_error>

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

std::string NewSessionId() {
  std::array<unsigned char, 32> bytes;
  SecureRandomBytes(bytes.data(), bytes.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  return id;
}

MemorySessionStore::MemorySessionStore(std::chrono::steady_clock::duration timeout,
                                       Clock clock)
    : timeout_(timeout),
      clock_(clock ? std::move(clock)
                   : Clock([] { return std::chrono::steady_clock::now(); })) {}

SessionHold MemorySessionStore::Hold(std::string_view id) {
  std::shared_ptr<std::mutex> mutex;
  {
    std::lock_guard lock(mutex_);
    auto it = holds_.find(id);
    if (it != holds_.end()) mutex = it->second.lock();
    if (!mutex) {
      mutex = std::make_shared<std::mutex>();
      holds_.insert_or_assign(std::string(id), mutex);
    }
  }
  return SessionHold(std::move(mutex));  // waits outside the store's own lock
}

std::optional<SessionValues> MemorySessionStore::Load(std::string_view id) {
  auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  if (Ended(it->second, now)) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.last_used = now;
  return it->second.values;
}

void MemorySessionStore::Save(std::string_view id, const SessionValues& changes) {
  auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) {
    it = sessions_.emplace(std::string(id), Entry{{}, now}).first;
  } else if (Ended(it->second, now)) {
    it->second.values.clear();
  }
  it->second.last_used = now;
  for (const auto& [key, value] : changes) it->second.values[key] = value;
}

void MemorySessionStore::Erase(std::string_view id) {
  std::lock_guard lock(mutex_);
  if (auto it = sessions_.find(id); it != sessions_.end()) sessions_.erase(it);
}

std::size_t MemorySessionStore::EraseLogins(std::string_view name,
                                            std::string_view keep) {
  auto value = [](const SessionValues& values, std::string_view key) {
    auto it = values.find(key);
    return it == values.end() ? Value() : it->second;
  };
  std::lock_guard lock(mutex_);
  return std::erase_if(sessions_, [&](const auto& s) {
    const SessionValues& v = s.second.values;
    return s.first != keep &&
           host::IsLoginOf(value(v, host::kLoginFlag), value(v, host::kLoginName), name);
  });
}

std::size_t MemorySessionStore::Sweep() {
  auto now = clock_();
  std::lock_guard lock(mutex_);
  std::erase_if(holds_, [](const auto& h) { return h.second.expired(); });
  return std::erase_if(sessions_, [&](const auto& s) { return Ended(s.second, now); });
}

std::size_t MemorySessionStore::hold_count() const {
  std::lock_guard lock(mutex_);
  return holds_.size();
}

std::size_t MemorySessionStore::size() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

}  // namespace tb::server::http
