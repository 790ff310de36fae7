#include "check/html_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/cases.h"
#include "tests/support/check_helpers.h"

namespace tb::check {
namespace {

TEST(FilterHtmlTest, SafeMarkupComesOutByteForByte) {
  for (const std::string& in : testing::CaseInputs("check/html_safe.txt"))
    EXPECT_EQ(FilterHtml(in), in);
}

// What could run or load goes; what is left is well-formed.
TEST(FilterHtmlTest, HostileMarkupLosesWhatRuns) {
  testing::ExpectGolden(
      "check/FilterHtml/hostile.txt",
      testing::Transcript(testing::CaseInputs("check/html_hostile.txt"), FilterHtml));
}

// Texts a transcript could not hold: bytes a text file should not, long and
// deeply nested ones (tests/cases/check/html_exact.txt).
TEST(FilterHtmlTest, ExactOutputs) {
  for (const testing::Case& c : testing::ReadCases("check/html_exact.txt")) {
    const std::string out = FilterHtml(c[0]);
    if (c[1] == "nonempty")
      EXPECT_FALSE(out.empty()) << c.line;
    else
      EXPECT_EQ(out, c[1]) << c.line;
  }
}

}  // namespace
}  // namespace tb::check
