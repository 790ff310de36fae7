// File: cases.h — case tables kept as text files under tests/cases/.
//
// A case file holds one case a line, its fields separated by " | " (or a
// tab); blank lines and lines starting with "#" are skipped. Spaces around
// a field are dropped. Inside a field these escapes stand for what cannot
// be written plainly:
//   \n \r \t   line feed, carriage return, tab
//   \\ \| \#   a backslash, a "|" that does not end the field, a "#"
//   \s         a space that is kept at either end of a field
//   \xHH       the byte HH (two hex digits), e.g. GB2312 text
//
// A block file holds cases of several lines, one block a case, blocks
// separated by blank lines; "#" lines are skipped and the same escapes
// apply on each line (no field splitting; spaces are kept).
//
// Example (tests/cases/server/paths.txt: "/a%20b | /a b"):
//   for (const auto& c : ReadCases("server/paths.txt")) {
//     SCOPED_TRACE(CaseText(c));
//     EXPECT_EQ(c[1], Decode(c[0]));
//   }
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb::testing {

// The cases of tests/cases/<name>, each as its fields. A missing file, a bad
// escape or a file with no case fails the running test.
std::vector<std::vector<std::string>> ReadCases(std::string_view name);

// The blocks of tests/cases/<name>, each as its lines.
std::vector<std::vector<std::string>> ReadBlocks(std::string_view name);

// The fields of a case joined with " | ", for SCOPED_TRACE.
std::string CaseText(const std::vector<std::string>& fields);

}  // namespace tb::testing
