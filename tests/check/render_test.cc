// What a message's text becomes on the page: the markup filter, the UBB
// codes, and the conversions of text, times and addresses.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "check/convert.h"
#include "check/html_filter.h"
#include "check/ubb.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"
#include "tests/support/time_scale.h"

namespace tb::check {
namespace {

using testing::CaseInputs;
using testing::ExpectGolden;

// Each input on a line of its own after "» ", then what `fn` makes of it and
// a blank line: the text a golden file keeps for a table of inputs.
template <typename Fn>
std::string Transcript(const std::vector<std::string>& inputs, Fn fn) {
  std::string out;
  for (const std::string& in : inputs) out += "» " + in + "\n" + fn(in) + "\n\n";
  return out;
}

TEST(FilterHtmlTest, SafeMarkupComesOutByteForByte) {
  for (const std::string& in : CaseInputs("check/html_safe.txt"))
    EXPECT_EQ(FilterHtml(in), in);
}

// What could run or load goes; what is left is well-formed.
TEST(FilterHtmlTest, HostileMarkupLosesWhatRuns) {
  ExpectGolden("check/FilterHtml/hostile.txt",
               Transcript(CaseInputs("check/html_hostile.txt"), FilterHtml));
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

// Each pass, tags with their content and bare addresses, and hostile input.
TEST(UbbCodeTest, Transcripts) {
  for (const std::string name : {"passes", "tags", "hostile"}) {
    ExpectGolden("check/UbbCode/" + name + ".txt",
                 Transcript(CaseInputs("check/ubb_" + name + ".txt"), UbbCode));
  }
}

// Long messages (tests/cases/check/ubb_long.txt), including ones built to
// make a backtracking matcher retry every position, render in far less than
// a second.
TEST(UbbCodeTest, HundredKilobytesRenderQuickly) {
  for (const std::string& text : CaseInputs("check/ubb_long.txt")) {
    auto start = std::chrono::steady_clock::now();
    std::string html = UbbCode(text);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(300) * testing::kTimeScale)
        << text.substr(0, 40);
    EXPECT_GE(html.size(), text.size());
    EXPECT_GE(text.size(), 100u * 1024) << text.substr(0, 40);
  }
}

// Each text as a message shows it (a typed "<br>" survives, the placeholder
// "$$%%^^&&**mirelatch" reads as a break), then with its marks made
// full-width, then with its marks stripped (trimmed first, so an inner blank
// stays).
TEST(ConvertTest, HtmlTextAndMarks) {
  ExpectGolden(
      "check/convert/marks.txt",
      Transcript(CaseInputs("check/convert_marks.txt"), [](const std::string& s) {
        return HtmlText(s) + "\n" + ToFullWidthMarks(s) + "\n" + StripMarks(s);
      }));
}

// Each time in every mode, each address at every level.
TEST(ConvertTest, TimesAndAddresses) {
  const auto modes = [](std::string (*fn)(std::string_view, int), int last) {
    return [fn, last](const std::string& in) {
      std::string out;
      for (int mode = -1; mode <= last; ++mode)
        out += std::to_string(mode) + "=" + fn(in, mode) + "|";
      return out;
    };
  };
  ExpectGolden("check/convert/times.txt",
               Transcript(CaseInputs("check/convert_times.txt"), modes(FormatTime, 6)));
  ExpectGolden("check/convert/ips.txt",
               Transcript(CaseInputs("check/convert_ips.txt"), modes(MaskIp, 5)));
}

}  // namespace
}  // namespace tb::check
