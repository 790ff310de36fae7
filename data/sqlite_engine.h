// File: sqlite_engine.h — the SQLite engine behind connection strings of the
// form "sqlite:PATH". Each file is opened in WAL mode with a busy timeout
// (concurrent requests wait rather than fail), its tables are created when
// missing, and idle handles are kept for the next request.
#pragma once

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
  SqlitePool();
  ~SqlitePool() override;
  SqlitePool(const SqlitePool&) = delete;
  SqlitePool& operator=(const SqlitePool&) = delete;

  std::shared_ptr<Engine> Acquire(std::string_view dsn) override;

  // Idle handles by file path. Lent handles hold it weakly, so a handle that
  // outlives the pool closes itself.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tb::data
