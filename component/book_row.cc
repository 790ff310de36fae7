#include "component/book_row.h"

#include "check/convert.h"

namespace tb {

std::string BookSql(std::string_view name) {
  return "select * from user where name ='" + check::SqlQuote(name) + "'";
}

data::Recordset FindBook(data::Connection& conn, std::string_view name) {
  return conn.Execute(BookSql(name));
}

std::int64_t MessageCount(data::Connection& conn, std::string_view name) {
  const data::Result count =
      conn.engine()->Run("select n from liuyan_count where name = ?", {Value(name)});
  return count.rows.empty() ? 0 : count.rows[0][0].Whole().value_or(0);
}

}  // namespace tb
