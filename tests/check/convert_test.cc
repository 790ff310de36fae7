#include "check/convert.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/cases.h"
#include "tests/support/check_helpers.h"

namespace tb::check {
namespace {

using testing::CaseInputs;
using testing::ExpectGolden;
using testing::Transcript;

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
