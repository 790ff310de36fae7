// File: cases.h — case tables kept as text files under tests/cases/.
//
// A case file holds one case a line, its fields separated by " | " (" |" at
// the end of a line ends an empty last field); blank lines and lines
// starting with "#" are skipped. Each field is trimmed of
// blanks; one in double quotes keeps what is between them ("" is an empty
// field) and counts as text for CaseValue. Inside a field
//   \n \r \t \\       line feed, carriage return, tab, backslash
//   \xHH              the byte HH (e.g. GB2312 text)
//   \uXXXX \UXXXXXXXX the character, in UTF-8
//   \(text*N)         `text` written N times
// and a backslash before anything else is kept as written.
//
// Example (tests/cases/check/functions.txt):
//   CheckEmail | " ab@cd " | yes | ab@cd
//   CheckLength1To50 | \(字*51) | no | \(字*51)
//   for (const Case& c : ReadCases("check/functions.txt")) {
//     SCOPED_TRACE(c.line);
//     EXPECT_EQ(Check(c[0], c[1]), c[2] == "yes");
//   }
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/value.h"

namespace tb::testing {

struct Case {
  std::string line;                 // as written, for messages and transcripts
  std::vector<std::string> fields;  // decoded
  std::vector<bool> quoted;         // whether each field was in double quotes
  const std::string& operator[](std::size_t i) const { return fields.at(i); }
  std::size_t size() const { return fields.size(); }
  auto begin() const { return fields.begin(); }
  auto end() const { return fields.end(); }
};

// The cases of tests/cases/<name>. A missing file or one with no case fails
// the running test.
std::vector<Case> ReadCases(std::string_view name);

// The first field of each case of tests/cases/<name>.
std::vector<std::string> CaseInputs(std::string_view name);

// The decoded fields of a case joined with " | ", for traces and transcripts.
std::string CaseText(const Case& c);

// Field `i` of `c` as a value: "-" empty, a quoted field text, else a number.
Value CaseValue(const Case& c, std::size_t i);

// Request fields written "a=1&b=2" ("-" for none); "-key" gives the key the
// value "-", which the caller takes to leave the field out.
std::vector<std::pair<std::string, std::string>> FieldsOf(std::string_view text);

}  // namespace tb::testing
