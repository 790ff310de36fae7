#include "check/html_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/cases.h"
#include "tests/support/check_helpers.h"

namespace tb::check {
namespace {

using namespace std::literals;

TEST(FilterHtmlTest, SafeMarkupComesOutByteForByte) {
  for (const std::string& in : testing::CaseInputs("check/html_safe.txt"))
    EXPECT_EQ(FilterHtml(in), in);
}

// What could run or load goes; what is left is well-formed.
TEST(FilterHtmlTest, HostileMarkupLosesWhatRuns) {
  testing::ExpectGolden(
      "check/FilterHtml/hostile.txt",
      testing::Transcript(testing::CaseInputs("check/html_hostile.txt"), FilterHtml));
  // Bytes a text file should not hold: a NUL, and invalid UTF-8.
  EXPECT_EQ(FilterHtml("<scr\0ipt>x</script><b\0>y</b>"sv), "<b>y</b>");
  EXPECT_EQ(FilterHtml("\xff<b title=\"\xc3\">\xe4\xb8</b>\xed\xa0\x80"),
            "\uFFFD<b title=\"\uFFFD\">\uFFFD</b>\uFFFD\uFFFD\uFFFD");
}

// A text of more tags than one parse takes is cut before a tag, and each piece
// is closed on its own.
TEST(FilterHtmlTest, LongTextsAreFilteredInClosedPieces) {
  std::string in = "<div>";
  for (int i = 0; i < 1500; ++i) in += "x<br>";
  in += "</div>";
  std::string want = "<div>";
  for (int i = 0; i < 999; ++i) want += "x<br>";
  want += "x</div><br>";
  for (int i = 0; i < 500; ++i) want += "x<br>";
  EXPECT_EQ(FilterHtml(in), want);
}

TEST(FilterHtmlTest, DeepNestingReturns) {
  for (std::string_view unit : {"<b>", "<div>", "<table>", "<p><font color=1>"}) {
    std::string in;
    for (int i = 0; i < 100000; ++i) in += unit;
    EXPECT_FALSE(FilterHtml(in + "x").empty()) << unit;
  }
}

}  // namespace
}  // namespace tb::check
