// File: session_store.h — where the visitors' sessions live between requests.
//
// A request loads its session's values at the start and hands back only the
// values it changed at the end, so two requests of one visitor running at the
// same time lose neither's changes. A session ends after a set time without a
// request; Sweep() forgets the ended ones.
//
// Requests of one session also run one after another: a request holds its
// session (Hold) from before it loads the values until after it saves them,
// so that a check-and-set in the session, such as the message form's "posted
// once" flag, cannot be passed by two requests sent at the same moment.
//
// The store is an interface so that several servers can share one: the
// memory store here serves one process, DatabaseSessionStore
// (db_session_store.h) keeps the sessions in the store.
//
// Example:
//   MemorySessionStore store(std::chrono::minutes(20));
//   std::string id = NewSessionId();
//   store.Save(id, {{"ly_name", Value("abc")}});
//   store.Load(id)->at("LY_NAME") == Value("abc")
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "host/ascii.h"
#include "host/value.h"

namespace tb::server::http {

// Session values by key; keys match without regard to case.
using SessionValues = std::map<std::string, Value, host::LessIgnoreCase>;

// A request's hold on its session; released when destroyed.
class SessionHold {
 public:
  // What a store keeps while the hold lasts: a lock, released by its
  // destructor.
  struct Held {
    virtual ~Held() = default;
  };

  SessionHold() = default;
  explicit SessionHold(std::unique_ptr<Held> held) : held_(std::move(held)) {}
  // Waits until no other hold is on `mutex`, then holds it.
  explicit SessionHold(std::shared_ptr<std::mutex> mutex);

 private:
  std::unique_ptr<Held> held_;
};

// The holds of one process: a mutex per session id while any request holds
// or waits for it.
class LocalHolds {
 public:
  SessionHold Hold(std::string_view id);
  // Whether a request holds the session `id` or waits for it now.
  bool Held(std::string_view id) const;
  // Forgets the mutexes no request uses any more.
  void Sweep();
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::weak_ptr<std::mutex>, std::less<>> holds_;
  std::size_t in_use_ = 0;  // what the last clean-up left
};

class SessionStore {
 public:
  // Waits until no other request holds the session `id` (which need not
  // exist), then holds it until the returned hold is destroyed.
  virtual SessionHold Hold(std::string_view id) = 0;
  virtual ~SessionStore() = default;
  // The values of a live session, which counts as used now; nullopt when the
  // id is unknown or the session has ended.
  virtual std::optional<SessionValues> Load(std::string_view id) = 0;
  // Stores `changes` into the session (created when it does not exist yet),
  // which counts as used now.
  virtual void Save(std::string_view id, const SessionValues& changes) = 0;
  // Ends the session at once.
  virtual void Erase(std::string_view id) = 0;
  // Ends at once every session logged in as the owner `name` (see
  // host::IsLoginOf) but the session `keep` (none when empty); returns how
  // many. A request of an ended session still running saves only what it
  // changed itself (see Save), so it brings back no login it did not make.
  virtual std::size_t EraseLogins(std::string_view name, std::string_view keep) = 0;
  // Forgets every session idle longer than the timeout, and the holds no
  // request uses any more; returns how many sessions.
  virtual std::size_t Sweep() = 0;
  // Whether holding, loading and saving the session `id` could wait now:
  // another request holds it, or the store is a database. The host then runs
  // the page on a worker, never on a thread that serves connections.
  virtual bool MayWait(std::string_view) { return true; }
};

// Fills the bytes from the system's secure random source.
void SecureRandomBytes(unsigned char* bytes, std::size_t count);

// `count` bytes from the system's secure source as lower-case hexadecimal.
std::string RandomHex(std::size_t count);

// A fresh session id: 256 random bits from the system's secure source, as
// 64 hexadecimal digits.
std::string NewSessionId();

// The owner or superuser the session is logged in as, in lower case; empty
// when none. Sessions that hold a login are the last to give way.
std::string SessionLogin(const SessionValues& values);

// The bytes a value counts for against SessionLimits.
std::size_t SessionEntryBytes(std::string_view key, const Value& value);

// What the sessions of one process may hold, so that requests without a
// cookie (each a new session) cannot fill the memory. A session's size is
// its keys' and values' bytes plus kEntryBytes a value.
struct SessionLimits {
  std::size_t max_sessions = 100'000;
  std::size_t max_session_bytes = 64 * 1024;
  std::size_t max_total_bytes = 256 * 1024 * 1024;
};

class MemorySessionStore final : public SessionStore {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::size_t kEntryBytes = 64;  // see SessionEntryBytes

  // `clock` defaults to the steady clock; tests pass their own. Beyond the
  // limits the session idle longest ends first, those without a login
  // before any with one, so that a flood of new visitors does not log the
  // owners out; a change that would take one session past
  // max_session_bytes is not saved (the others are).
  explicit MemorySessionStore(std::chrono::steady_clock::duration timeout,
                              Clock clock = {}, SessionLimits limits = {});

  SessionHold Hold(std::string_view id) override;
  bool MayWait(std::string_view id) override { return holds_.Held(id); }
  std::optional<SessionValues> Load(std::string_view id) override;
  void Save(std::string_view id, const SessionValues& changes) override;
  void Erase(std::string_view id) override;
  std::size_t EraseLogins(std::string_view name, std::string_view keep) override;
  std::size_t Sweep() override;

  std::size_t size() const;
  // The bytes of every session's values, as counted against the limits.
  std::size_t total_bytes() const;
  // How many ids have a mutex for their holds (forgotten by Sweep once unused).
  std::size_t hold_count() const;

 private:
  struct Entry;
  using Sessions = std::map<std::string, Entry, std::less<>>;
  struct Entry {
    SessionValues values;
    std::size_t bytes = 0;
    std::chrono::steady_clock::time_point last_used;
    bool login = false;                                // SessionLogin is not empty
    std::list<Sessions::iterator>::iterator in_order;  // its place in by_use_[login]
  };

  bool Ended(const Entry& e, std::chrono::steady_clock::time_point now) const {
    return now - e.last_used > timeout_;
  }
  void Touch(Sessions::iterator it, std::chrono::steady_clock::time_point now);
  void Forget(Sessions::iterator it);
  // The session to give way first; none when there are none.
  std::optional<Sessions::iterator> Oldest() const;

  const std::chrono::steady_clock::duration timeout_;
  const Clock clock_;
  const SessionLimits limits_;
  mutable std::mutex mutex_;
  Sessions sessions_;
  // Without a login and with one, each the most recently used first.
  std::array<std::list<Sessions::iterator>, 2> by_use_;
  std::size_t total_bytes_ = 0;
  LocalHolds holds_;
};

}  // namespace tb::server::http
