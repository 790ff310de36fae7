// File: seed.h — `tavobook seed`: fills a store with registered guestbooks
// and posted messages, for load tests and demonstrations.
//
// The rows are what registration and posting store (passwords "pass1234",
// UBB mode, public messages numbered from the guestbook's counter), and their
// content is the same on every run. Every tenth subject carries the word
// "digest" and the middle message's subject the word "needle", so that a
// subject search of known size can be measured.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace tb::cli {

struct SeedOptions {
  std::string db;               // SQLite file; created with its tables when missing
  std::int64_t guestbooks = 0;  // "book1" to "bookN"; existing names are kept
  std::int64_t messages = 0;    // posted to `book`
  std::string book;             // default "book1"; registered when missing
};

// Seeds the store in one transaction and writes a one-line summary to `out`,
// or the store's complaint to `err`. Returns the exit status (0 or 1).
// Example: RunSeed({.db = "t.db", .guestbooks = 3, .messages = 10}, out, err);
//   gives book1, book2, book3 and ten messages in book1.
int RunSeed(const SeedOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tb::cli
