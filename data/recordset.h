// File: recordset.h — the rows of a select, walked one at a time.
//
// A static recordset (cursor type 3) counts its rows and fetches them in
// windows with "limit"/"offset", so showing one page of a million rows costs
// what a page of ten costs. A window past the middle of the rows is read
// from the far end (the select's order reversed) when that order is plain
// columns ending with the row key, so the last page costs what the first
// does. Opened with lock type 3 it is updatable: fields may be assigned and
// rows deleted, addressed by the engine's row key.
// Connection::Execute gives a forward recordset instead: read from first to
// last, no count, no paging.
//
// Example:
//   Recordset rs;
//   rs.Open("select * from liuyan where name='abc' order by infoseekno desc",
//           conn, kStaticCursor, kOptimisticLock);
//   rs.SetPageSize(10);
//   rs.SetAbsolutePage(2);
//   for (int i = 0; i < 10 && !rs.Eof(); ++i, rs.MoveNext()) Show(rs["message"]);
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/engine.h"

namespace tb::data {

class Connection;

inline constexpr int kForwardCursor = 0;
inline constexpr int kStaticCursor = 3;
inline constexpr int kReadOnlyLock = 1;
inline constexpr int kOptimisticLock = 3;

class Recordset {
 public:
  Recordset() = default;
  Recordset(Recordset&&) noexcept = default;
  Recordset& operator=(Recordset&&) noexcept = default;

  // Runs `sql` (a select) on the connection. Lock type 3 needs a select from
  // one table.
  void Open(std::string_view sql, Connection& conn, int cursor = kStaticCursor,
            int lock = kReadOnlyLock);
  // The forward result of Connection::Execute.
  void OpenForward(std::string_view sql, const std::shared_ptr<Engine>& engine);
  bool IsOpen() const { return engine_ != nullptr; }
  // Stores pending changes, then releases the rows. Closing twice is harmless.
  void Close();

  // Past the last row; before the first. Both are true when no row was found.
  bool Eof();
  bool Bof();

  // The current row's value of a column, matched without regard to case.
  // Raises Error when there is no current row or no such column.
  Value Field(std::string_view column);
  Value operator[](std::string_view column) { return Field(column); }
  // Changes the current row's value; stored by Update() or by moving on.
  void SetField(std::string_view column, Value value);

  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  // Removes the current row from the store at once; it stays current (and
  // unreadable) until the next move.
  void Delete();
  // Stores the current row's changed fields.
  void Update();

  // Rows of a static recordset (deleted ones no longer count); -1 for a
  // forward one.
  std::int64_t RecordCount();
  // Tells a static recordset how many rows its select gives, when the store
  // keeps that number, so that neither RecordCount nor paging counts them.
  // Call it after Open and before any Delete.
  // Example: rs.Open(listing, conn); rs.SetRecordCount(MessageCount(conn, name));
  void SetRecordCount(std::int64_t rows);
  void SetPageSize(std::int64_t rows);
  std::int64_t PageSize() const { return page_size_; }
  // Makes the first row of page `page` (from 1) current; beyond the last
  // page, Eof() becomes true.
  void SetAbsolutePage(std::int64_t page);
  // The page of the current row; 0 when there is none.
  std::int64_t AbsolutePage();
  std::int64_t PageCount();

 private:
  struct Slot {
    Row row;
    bool deleted = false;
  };

  void RequireOpen() const;
  void RequireStatic() const;
  void RequireCurrent();
  // Whether position `pos` holds a row (live or deleted), fetching its window.
  bool Has(std::int64_t pos);
  void Fetch(std::int64_t first);
  // The rows of the live positions [offset, offset + rows), read from the
  // nearer end when the order can be reversed.
  Result Window(std::int64_t offset, std::int64_t rows);
  // sql_ with its order reversed; empty when it cannot be reversed safely.
  const std::string& ReversedSql();
  std::int64_t DeletedBefore(std::int64_t pos) const;
  // Rows the select gave when it was opened.
  std::int64_t Total();
  bool IsDeleted(std::int64_t pos) const;
  int ColumnIndex(std::string_view column) const;

  std::shared_ptr<Engine> engine_;
  bool forward_ = false;
  bool updatable_ = false;
  std::string sql_;    // the select as run, with the row key when updatable
  std::string table_;  // the table an updatable select reads
  std::vector<std::string> columns_;
  int key_column_ = -1;
  std::map<std::int64_t, Slot> slots_;
  std::int64_t deleted_ = 0;
  std::optional<std::int64_t> total_;
  std::optional<std::string> reversed_sql_;
  std::int64_t pos_ = 0;
  std::map<int, Value> pending_;
  std::int64_t page_size_ = 10;
};

}  // namespace tb::data
