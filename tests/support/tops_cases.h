// File: tops_cases.h — case files: tables of test cases kept as text under
// tests/cases/, one case a line, its fields separated by " | ".
//
// A line starting with "#" is a comment and blank lines are skipped. Each
// field is trimmed of blanks; one in double quotes keeps what is between
// them ("" is an empty field). In any field \n, \r, \t, \0, \\ and \xHH
// stand for their bytes, and \(text*N) for `text` written N times.
//
// Example (tests/cases/check/functions.txt):
//   CheckEmail | " ab@cd " | yes | ab@cd
//   for (const Case& c : ReadCases("check/functions.txt")) ...
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/support.h"

namespace tb::testing {

struct Case {
  std::string line;                 // as written, for messages and transcripts
  std::vector<std::string> fields;  // decoded
  const std::string& operator[](std::size_t i) const { return fields.at(i); }
  std::size_t size() const { return fields.size(); }
};

// The cases of tests/cases/<name>; a missing file fails the test.
std::vector<Case> ReadCases(std::string_view name);

// The first field of each case of tests/cases/<name>.
std::vector<std::string> CaseInputs(std::string_view name);

// Fields `from` on of a case, each "key=value", as request fields; a field
// "-key" gives the key the value "-", which the caller takes to leave the
// field out, and a field "-" alone stands for none. A key starting with "?"
// goes to `query` (without the "?") when one is given.
Fields FieldsOf(const Case& c, std::size_t from, Fields* query = nullptr);

// A page test whose cases are requests, a line each:
//   Member | login | field | field ...
// `Member` is the component member run (any letter case); `login` the owner
// whose session the request has ("admin": the superuser, "-": a visitor,
// "=": the session left as the last case left it). Each field is one of
//   key=value       a form field
//   ?key=value      a query field
//   cookie:key=value  a request cookie
//   session:key=value a session value (text) set before the request
//   @Property=value a property of the component ("#" before a number, "-"
//                   for none)
//   !sql            a statement run on the store before the request
// and "-" before a field leaves it out (-name, -?key2, -session:ly_log).
// The fields of `base_` come before the case's own; a field given twice
// takes the later value.
// Example: AdminLogin | - | name=abc | password=Secret1
class CaseTest : public PageTest {
 protected:
  // Runs `c` and gives its section of a transcript: "## " and the line, then
  // the member's result when it gives one, the outcome (Outcome, after
  // "threw" and what when the member throws), then for each statement of
  // `sql` (split on "; ") the first column of its rows joined by ",".
  std::string Run(const Case& c, std::string_view sql = "");
  // Run for each case of tests/cases/<name>.
  std::string RunAll(std::string_view name, std::string_view sql = "");

  std::vector<std::string> base_;
};

}  // namespace tb::testing
