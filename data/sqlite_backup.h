// File: sqlite_backup.h — a consistent copy of a SQLite store that a running
// site keeps writing to, made with SQLite's online backup.
//
// The pages are copied a slice at a time, each slice in a short read of its
// own, so the site's writers never wait for the copy. A write that lands
// between two slices makes SQLite start the copy over; each such restart
// doubles the slice, so that under a steady stream of writes the copy still
// ends (at worst in one read of the whole file).
//
// The copy is written to a temporary file beside the target and renamed to
// the target only when it is complete: a failed or killed run leaves the
// target as it was (absent, or the previous copy). A failed run removes its
// temporary; a killed one may leave it behind.
//
// Example:
//   auto copied = data::BackupSqlite("data/tavobook.db", "/backups/monday.db");
//   std::cout << copied.pages << " pages, " << copied.restarts << " restarts\n";
#pragma once

#include <cstdint>
#include <string>

namespace tb::data {

struct BackupStats {
  std::int64_t pages = 0;  // pages of the copy
  int restarts = 0;        // times a write made the copy start over
};

// Copies the SQLite file `source` (which must exist; it is never created) to
// `target`, replacing a file there. Raises Error when the source is not a
// store, the copy cannot be written, or the store stays locked for 10 s.
BackupStats BackupSqlite(const std::string& source, const std::string& target);

}  // namespace tb::data
