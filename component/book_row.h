// File: book_row.h — reading one guestbook's `user` row by its name, the one
// look-up that nearly every operation starts with.
#pragma once

#include <string>
#include <string_view>

#include "data/connection.h"

namespace tb {

// The select of a guestbook's row, the name quoted for SQL.
// Example: BookSql("o'k") == "select * from user where name ='o''k'".
std::string BookSql(std::string_view name);

// Runs BookSql: a forward recordset, both EOF and BOF when there is no such
// guestbook. Names match without regard to letter case.
data::Recordset FindBook(data::Connection& conn, std::string_view name);

}  // namespace tb
