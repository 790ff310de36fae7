#include "data/connection.h"

#include <utility>

#include "data/error.h"

namespace tb::data {

void Connection::Open(std::string_view dsn) { engine_ = source_->Acquire(dsn); }

const std::shared_ptr<Engine>& Connection::engine() const {
  if (!engine_) throw Error("the connection is not open");
  return engine_;
}

Recordset Connection::Execute(std::string_view sql, const std::vector<Value>& params) {
  Recordset rs;
  rs.OpenResult(engine()->Run(sql, params), engine());
  return rs;
}

Transaction::Transaction(Connection& conn, Locks locks)
    : Transaction(conn.engine(), locks) {}

Transaction::Transaction(std::shared_ptr<Engine> engine, Locks locks)
    : engine_(std::move(engine)) {
  if (locks == Locks::kOwnLocks)
    engine_->BeginOwnLocks();
  else
    engine_->Begin();
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    engine_->Rollback();
  } catch (const Error&) {
    // The engine has already ended the transaction; nothing is left to undo.
  }
}

void Transaction::Commit() {
  engine_->Commit();
  done_ = true;
}

}  // namespace tb::data
