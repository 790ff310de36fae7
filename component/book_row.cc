#include "component/book_row.h"

#include "check/convert.h"

namespace tb {

std::string BookSql(std::string_view name) {
  return "select * from user where name ='" + check::SqlQuote(name) + "'";
}

data::Recordset FindBook(data::Connection& conn, std::string_view name) {
  return conn.Execute(BookSql(name));
}

}  // namespace tb
