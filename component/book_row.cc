#include "component/book_row.h"

namespace tb {

data::Recordset FindBook(data::Connection& conn, std::string_view name) {
  return conn.Execute("select * from user where name = ?", {Value(name)});
}

data::Recordset FindBookCounted(data::Connection& conn, std::string_view name) {
  return conn.Execute(
      "select user.*, (select n from liuyan_count where liuyan_count.name = user.name) "
      "as kept_messages from user where name = ?",
      {Value(name)});
}

std::int64_t MessageCount(data::Connection& conn, std::string_view name) {
  const data::Result count =
      conn.engine()->Run("select n from liuyan_count where name = ?", {Value(name)});
  return count.rows.empty() ? 0 : count.rows[0][0].Whole().value_or(0);
}

}  // namespace tb
