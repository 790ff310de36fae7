// File: connection.h — a connection to the store, opened by connection string
// ("sqlite:PATH"), and the transaction that makes several statements one.
//
// Example:
//   data::Connection conn(server.Databases());
//   conn.Open(DSNtemp());
//   auto rs = conn.Execute("select * from user where name = ?", {Value("abc")});
//   if (!rs.Eof()) title = rs["titletop"].Text();
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "data/engine.h"
#include "data/recordset.h"

namespace tb::data {

class Connection {
 public:
  explicit Connection(EngineSource& source) : source_(&source) {}
  Connection(Connection&&) noexcept = default;
  Connection& operator=(Connection&&) noexcept = default;

  // Opens the store; a connection string of no known engine, or a file that
  // will not open, raises Error.
  void Open(std::string_view dsn);
  bool IsOpen() const { return engine_ != nullptr; }
  // Runs one statement, `params` bound to its "?" in order. A select gives
  // all its rows at once; other statements take effect at once and give an
  // empty result.
  Recordset Execute(std::string_view sql, const std::vector<Value>& params = {});
  // Runs a write whose result is not wanted (Engine::RunLater): inside a
  // transaction it may take effect, or fail, only with what comes next.
  void ExecuteLater(std::string_view sql, const std::vector<Value>& params = {}) {
    engine()->RunLater(sql, params);
  }
  // Releases the handle (recordsets still open keep it until they close).
  void Close() { engine_.reset(); }

  // The open handle; raises Error when the connection is not open.
  const std::shared_ptr<Engine>& engine() const;

 private:
  EngineSource* source_;
  std::shared_ptr<Engine> engine_;
};

// Makes the statements run through a connection between its start and
// Commit() one change: they all take effect or, when Commit() is not
// reached, none does. The store is locked for writing from the start, so
// a read inside sees what no other writer can change before the commit.
class Transaction {
 public:
  // kOwnLocks: only the locks the statements take (Engine::BeginOwnLocks).
  enum class Locks { kStore, kOwnLocks };
  explicit Transaction(Connection& conn, Locks locks = Locks::kStore);
  explicit Transaction(std::shared_ptr<Engine> engine, Locks locks = Locks::kStore);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();

 private:
  std::shared_ptr<Engine> engine_;
  bool done_ = false;
};

}  // namespace tb::data
