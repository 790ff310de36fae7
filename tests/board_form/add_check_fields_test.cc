// The message form's field helpers, each case a line of
// tests/cases/board_form/fields.txt.
#include "board/add_check_fields.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/cases.h"

namespace tb::board::post {
namespace {

using testing::CaseValue;

std::string Gives(const testing::Case& c) {
  const std::string& f = c[0];
  if (f == "SafeFont") return SafeFont(c[1]);
  if (f == "FormKeyMatches") return FormKeyMatches(c[1], CaseValue(c, 2)) ? "yes" : "no";
  if (f == "NewThreadSortKey") return std::to_string(NewThreadSortKey(std::stoi(c[1])));
  if (f == "ReplySortKey") return std::to_string(ReplySortKey(CaseValue(c, 1)));
  try {
    return std::to_string(MessageLimit(CaseValue(c, 1)));
  } catch (const std::invalid_argument&) {
    return "invalid";
  }
}

TEST(AddCheckFieldsTest, Cases) {
  for (const testing::Case& c : testing::ReadCases("board_form/fields.txt"))
    EXPECT_EQ(Gives(c), c.fields.back()) << c.line;
}

}  // namespace
}  // namespace tb::board::post
