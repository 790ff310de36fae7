// File: sqlite_engine.h — the SQLite engine behind connection strings of the
// form "sqlite:PATH". Each file is opened in WAL mode, its tables are created
// when missing, and idle handles are kept for the next request together with
// the statements prepared on them.
//
// A handle's change mark (Engine::ChangeMark) is the header of the file's
// WAL index, which every commit rewrites, whoever makes it: read where
// SQLite maps it, it costs no lock and no system call.
//
// A statement waits for another writer's lock rather than failing at once.
// With a query time limit, a statement that runs or waits past it is stopped
// and raises Timeout; without one, a lock wait gives up after 10 s with Error.
//
// Example:
//   SqlitePool pool(std::chrono::milliseconds(2000));
//   auto db = pool.Acquire("sqlite:data/tavobook.db");
//   db->Run("select counter from user where name = ?", {Value("abc")});
//   // run again: the prepared statement is reused, not prepared anew
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/engine.h"

struct sqlite3;

namespace tb::data {

// The file path of a "sqlite:PATH" connection string; nullopt for others.
std::optional<std::string> SqlitePath(std::string_view dsn);

class SqlitePool final : public EngineSource {
 public:
  // `query_timeout`: how long one statement may run or wait for a lock; zero
  // for no limit.
  explicit SqlitePool(std::chrono::milliseconds query_timeout = {});
  ~SqlitePool() override;
  SqlitePool(const SqlitePool&) = delete;
  SqlitePool& operator=(const SqlitePool&) = delete;

  std::shared_ptr<Engine> Acquire(std::string_view dsn) override;

  // How many handles the pool has opened so far: it grows with the number
  // of handles in use at one time, not with the number of requests.
  std::size_t opened() const;
  // How many statements its handles have prepared so far: a text run again
  // on a handle that has run it is not prepared again.
  std::size_t prepared() const;

  // Idle handles by file path. Lent handles hold it weakly, so a handle that
  // outlives the pool closes itself.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tb::data
