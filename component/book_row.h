// File: book_row.h — reading one guestbook's `user` row by its name, the one
// look-up that nearly every operation starts with, and its count of messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/connection.h"

namespace tb {

// The guestbook's row: both EOF and BOF when there is no such guestbook.
// Names match without regard to letter case.
// Example: FindBook(conn, "ABC")["name"].Text() == "abc".
data::Recordset FindBook(data::Connection& conn, std::string_view name);

// The number of messages of a guestbook, as the store keeps it while
// messages come and go (the table liuyan_count), so that no message is read
// to count them. Names match as FindBook's do; 0 for a guestbook without any.
// Example: MessageCount(conn, "ABC") == 3 after three posts to "abc".
std::int64_t MessageCount(data::Connection& conn, std::string_view name);

// FindBook's row with its MessageCount in one more column, `kept_messages`
// (empty for none), read by the same statement: one trip to the store.
data::Recordset FindBookCounted(data::Connection& conn, std::string_view name);

}  // namespace tb
