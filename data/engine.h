// File: engine.h — what the data objects need of a database engine: run one
// SQL statement with bound parameters and hand back its rows. Connections and
// recordsets are written against this, so another engine can stand behind
// the same connection strings later.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/value.h"

namespace tb::data {

using Row = std::vector<Value>;

// The whole result of one statement: column names in select order and rows.
// Statements are read to the end at once, so no engine lock outlives them.
struct Result {
  std::vector<std::string> columns;
  std::vector<Row> rows;

  // The index of a column, matched without regard to case; -1 when absent.
  int Find(std::string_view column) const;
};

// One open handle on a store. Used by one thread at a time.
class Engine {
 public:
  virtual ~Engine() = default;
  // Runs one statement; `params` bind to "?" placeholders in order.
  virtual Result Run(std::string_view sql, const std::vector<Value>& params = {}) = 0;
};

// Hands out open handles by connection string; a handle returns to the
// source when the last reference to it is gone.
class EngineSource {
 public:
  virtual ~EngineSource() = default;
  virtual std::shared_ptr<Engine> Acquire(std::string_view dsn) = 0;
};

}  // namespace tb::data
