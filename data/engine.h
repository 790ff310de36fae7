// File: engine.h — what the data objects need of a database engine: run one
// SQL statement with bound parameters and hand back its rows. Connections and
// recordsets are written against this, so another engine can stand behind
// the same connection strings later.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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
  // For an insert, update or delete: the rows it wrote (not those its
  // triggers wrote).
  std::int64_t changed = 0;

  // The index of a column, matched without regard to case; -1 when absent.
  int Find(std::string_view column) const;
};

// One open handle on a store. Used by one thread at a time.
class Engine {
 public:
  virtual ~Engine() = default;
  // Runs one statement; `params` bind to "?" placeholders in order.
  virtual Result Run(std::string_view sql, const std::vector<Value>& params = {}) = 0;
  // Runs one statement whose result is not wanted. Inside a transaction an
  // engine that talks to a server may hold it back, to send it with the
  // next statement or the commit in one round trip; its failure then comes
  // from there, and undoes the transaction as any failure does.
  virtual void RunLater(std::string_view sql, const std::vector<Value>& params = {}) {
    Run(sql, params);
  }

  // A transaction that holds the store's one write lock from its start to
  // its end, so that what it reads no other writer changes meanwhile.
  virtual void Begin() { Run("begin immediate"); }
  // A transaction that holds only what its own statements lock (the rows
  // they write, and those read "for update"), for work that must not hold
  // up the store's other writers; an engine without row locks takes its
  // write lock as Begin does.
  virtual void BeginOwnLocks() { Begin(); }
  virtual void Commit() { Run("commit"); }
  virtual void Rollback() { Run("rollback"); }

  // Bytes that change with every commit to the store, by any connection in
  // any process, read without taking the store's locks; empty when the
  // engine cannot tell, so that only an equal non-empty mark says "nothing
  // changed since".
  virtual std::string ChangeMark() { return {}; }

  // A condition on a message row and the values bound to its "?" in order.
  struct Condition {
    std::string sql;
    std::vector<Value> params;
  };

  // A condition that holds where `column` has `keyword` in it literally
  // ("%", "_" and "\" match only themselves), A to Z matching a to z and
  // no other letters folded. This one is SQLite's LIKE.
  virtual Condition Contains(std::string_view column, std::string_view keyword) const;

  // A condition that holds for at least every message whose `column` (one
  // of the searchable texts: subject, message, guestname, email) Contains
  // `keyword`, read from the store's index of the texts' trigrams, so that
  // a search reads only those messages; nullopt when the store keeps no
  // such index, the keyword is shorter than a trigram (kTrigram
  // characters), or the index would cost more than reading the guestbook.
  static constexpr std::size_t kTrigram = 3;
  virtual std::optional<Condition> IndexedSuperset(std::string_view column,
                                                   std::string_view keyword) const {
    (void)column, (void)keyword;
    return std::nullopt;
  }
};

// Hands out open handles by connection string; a handle returns to the
// source when the last reference to it is gone.
class EngineSource {
 public:
  virtual ~EngineSource() = default;
  virtual std::shared_ptr<Engine> Acquire(std::string_view dsn) = 0;
};

// Runs `head`, `each` once per row (joined by ", ") and `tail` on `rows`:
// in turn on as many as fit at most `most` rows and about 4 MB of values
// (a row alone when it is larger), so that no statement passes a server's
// packet limit.
// Gives the rows the statements gave, in order.
// Example: RunRows(db, "insert into t(a, b) values ", "(?, ?)", "", rows, 100);
std::vector<Row> RunRows(Engine& db, std::string_view head, std::string_view each,
                         std::string_view tail, const std::vector<Row>& rows,
                         std::size_t most);

// Characters of UTF-8 text, as the text indexes count them.
std::size_t Characters(std::string_view text);

}  // namespace tb::data
