// File: db_session_store.h — the sessions kept in the store (table
// `session`), so that several servers on one store answer any request of a
// visitor: a login made through one server holds on the others.
//
// A row per session: its id, its values in the compact text of
// EncodeSessionValues, the owner it is logged in as (lower case, for
// EraseLogins), the time of its last use and its expiry, as milliseconds of
// the wall clock (the servers' clocks are taken to agree). A row appears
// with the first Save: a Load, or a Hold, of an unknown id writes nothing.
//
// Hold serialises the requests of one session across servers on MariaDB
// through a named lock of the server (see SessionHold). On SQLite the holds
// are the process's own: a SQLite store serves one machine, and one server
// process on it; each Save still merges in a write transaction, so two
// processes on one file lose no value, though a check-and-set of one
// session is not serialised across them.
//
// SessionLimits apply: a change that would take a session past
// max_session_bytes is not saved (the others are); Sweep removes the ended
// rows and then, beyond max_sessions or max_total_bytes (a row counting its
// encoded values and kEntryBytes), the rows idle longest. Between sweeps the
// rows may pass those two limits.
//
// Example:
//   DatabaseSessionStore store(pool, "sqlite:data/tavobook.db", 20min);
//   store.Save(id, {{"ly_name", Value("abc")}});   // on one server
//   store.Load(id)->at("LY_NAME") == Value("abc")  // on another
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "data/engine.h"
#include "server/http/session_store.h"

namespace tb::server::http {

// Session values as text and back, each value keeping its kind (empty, text
// or number, numbers exactly): per value a kind letter ('e', 's', 'n'), the
// key and the value's text, each as LENGTH ":" BYTES.
// Example: EncodeSessionValues({{"a", Value(2.5)}}) == "n1:a3:2.5".
std::string EncodeSessionValues(const SessionValues& values);
// nullopt for a text that is not such an encoding.
std::optional<SessionValues> DecodeSessionValues(std::string_view text);

class DatabaseSessionStore final : public SessionStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `clock` defaults to the system clock; tests pass their own. A hold on
  // MariaDB waits up to `hold_wait` for another server's request of the
  // session, then raises data::Unavailable.
  DatabaseSessionStore(data::EngineSource& databases, std::string dsn,
                       std::chrono::milliseconds timeout, Clock clock = {},
                       SessionLimits limits = {},
                       std::chrono::seconds hold_wait = std::chrono::seconds(30));

  SessionHold Hold(std::string_view id) override;
  std::optional<SessionValues> Load(std::string_view id) override;
  void Save(std::string_view id, const SessionValues& changes) override;
  void Erase(std::string_view id) override;
  std::size_t EraseLogins(std::string_view name, std::string_view keep) override;
  std::size_t Sweep() override;

 private:
  std::int64_t Now() const;

  data::EngineSource& databases_;
  const std::string dsn_;
  const bool mariadb_;
  const std::int64_t timeout_ms_;
  const Clock clock_;
  const SessionLimits limits_;
  const std::chrono::seconds hold_wait_;
  LocalHolds local_holds_;
};

}  // namespace tb::server::http
