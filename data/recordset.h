// File: recordset.h — the rows of a select, walked forward one at a time.
//
// Recordset::Open gives a static recordset: it counts its rows and fetches
// them in windows with "limit"/"offset", so showing one page of a million
// rows costs what a page of ten costs. When its select ends with a total
// order (Order::kTotal), a window past the middle is read from the far end,
// the order reversed, so the last page costs what the first does.
// Connection::Execute gives all the rows of a statement at once.
// Values bind to the select's "?" placeholders, so its text is the same for
// every request and the engine prepares it once.
//
// Example:
//   Recordset rs;
//   rs.Open("select * from liuyan where name = ? order by infoseekno desc, id desc",
//           conn, {Value("abc")}, Order::kTotal);
//   rs.SetPageSize(10);
//   rs.SetAbsolutePage(2);
//   for (int i = 0; i < 10 && !rs.Eof(); ++i, rs.MoveNext()) Show(rs["message"]);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/engine.h"

namespace tb::data {

class Connection;

// Whether a static recordset may read a deep page from the far end.
enum class Order {
  kAsGiven,  // front to back only
  // The select ends with "order by" plain columns (each maybe asc or desc),
  // the last one a column no two rows share: reversed, it gives the same
  // rows in the same places counted from the end.
  kTotal,
};

class Recordset {
 public:
  Recordset() = default;
  Recordset(Recordset&&) noexcept = default;
  Recordset& operator=(Recordset&&) noexcept = default;

  // Opens `sql` (a select) as a static recordset; `params` bind to its "?"
  // in order. An order that is not plain columns raises Error with kTotal.
  void Open(std::string_view sql, Connection& conn, std::vector<Value> params = {},
            Order order = Order::kAsGiven);
  // Holds the whole result of a statement: Connection::Execute.
  void OpenResult(Result result, std::shared_ptr<Engine> engine);
  // Releases the rows. Closing twice is harmless.
  void Close();

  // Past the last row; before the first. Both are true when no row was found.
  bool Eof();
  bool Bof();

  // The current row's value of a column, matched without regard to case.
  // Raises Error when there is no current row or no such column.
  Value Field(std::string_view column);
  Value operator[](std::string_view column) { return Field(column); }

  void MoveNext();
  // Removes the current row from `table`, found by the select's first
  // column, which names a key of that table ("select id, ... from liuyan").
  // The row stays current, unreadable, until MoveNext goes on to the next.
  void Delete(std::string_view table);

  // Rows of the recordset (deleted ones no longer count).
  std::int64_t RecordCount();
  // Tells a static recordset how many rows its select gives, when the store
  // keeps that number, so that neither RecordCount nor paging counts them.
  // Example: rs.Open(listing, conn, {name}); rs.SetRecordCount(MessageCount(conn, name));
  void SetRecordCount(std::int64_t rows);
  void SetPageSize(std::int64_t rows);
  // Makes the first row of page `page` (from 1) current; beyond the last
  // page, Eof() becomes true.
  void SetAbsolutePage(std::int64_t page);
  std::int64_t PageCount();

 private:
  void RequireOpen() const;
  // Whether row `pos` exists, fetching the window that starts there.
  bool Has(std::int64_t pos);
  // The rows [offset, offset + count), read from the nearer end when the
  // order is total.
  Result Window(std::int64_t offset, std::int64_t count);
  std::int64_t Total();

  std::shared_ptr<Engine> engine_;
  std::string sql_;
  std::vector<Value> params_;
  std::string reversed_sql_;  // empty unless the order is total
  std::string count_sql_;
  Result window_;  // the rows [first_, first_ + window_.rows.size())
  std::int64_t first_ = 0;
  std::optional<std::int64_t> total_;
  std::int64_t pos_ = 0;
  bool deleted_ = false;  // the current row has been deleted
  std::int64_t page_size_ = 10;
};

}  // namespace tb::data
