// File: schema.h — the tables `user` (one row per guestbook) and `liuyan`
// (one row per message), created when missing.
#pragma once

namespace tb::data {

// SQL statements, run in order when a SQLite store is opened.
extern const char* const kSqliteSchema;

}  // namespace tb::data
