// File: backup.h — `tavobook backup`: a consistent copy of a SQLite store,
// taken while the site goes on serving and writing to it.
#pragma once

#include <iosfwd>
#include <string>

namespace tb::cli {

struct BackupOptions {
  std::string db;  // the store: a path or "sqlite:PATH"
  std::string to;  // the copy; a file there is replaced once the copy is whole
};

// Copies the store (data::BackupSqlite) and writes a one-line summary to
// `out`, or the complaint to `err`. Returns the exit status: 0 copied, 1 the
// store or the copy failed (nothing is left at `to`), 2 a request it will
// not carry out (a MariaDB store, the copy in the store's own place).
// Example: RunBackup({.db = "data/tavobook.db", .to = "/backups/t.db"}, out, err);
int RunBackup(const BackupOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tb::cli
