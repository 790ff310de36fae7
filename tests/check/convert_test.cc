#include "check/convert.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/check_helpers.h"

namespace tb::check {
namespace {

using testing::ExpectGolden;
using testing::Transcript;

// Each text as a message shows it (a typed "<br>" survives, the placeholder
// "$$%%^^&&**mirelatch" reads as a break), then with its marks made
// full-width, then with its marks stripped (trimmed first, so an inner blank
// stays).
TEST(ConvertTest, HtmlTextAndMarks) {
  const char* const kInputs[] = {"a\r\nb",  "a\nb",      "x<br>y",
                                 "<b>",     "<BR>",      "<br >",
                                 "a  b",    "a&b \"c\"", "$$%%^^&&**mirelatch",
                                 "留言\r",  "  plain  ", " <it's>\\ ",
                                 "\ta\"b ", "   ",       " <\"it's\"> ",
                                 "a\\b",    " 'a b' ",   " ' ' "};
  ExpectGolden("check/convert/marks.txt", Transcript(kInputs, [](const std::string& s) {
                 return HtmlText(s) + "\n" + ToFullWidthMarks(s) + "\n" + StripMarks(s);
               }));
}

// Every mode from -1 to 6 of each time: 1 to 5 format it, anything else and
// any unreadable time give empty text.
TEST(FormatTimeTest, Modes) {
  const char* const kInputs[] = {"2024-03-05 14:07:09",
                                 "2024-03-05 00:00:00",
                                 "2024-12-31 23:59:59",
                                 "2024-03-05",
                                 "2024-02-29 10:00:00",
                                 "0999-01-02 03:04:05",
                                 "",
                                 "2024-13-01 00:00:00",
                                 "2024-00-10",
                                 "2024-03-05 24:00:00",
                                 "2024-03-05 12:60:00",
                                 "2024/03/05 14:07:09",
                                 "2024-03-05T14:07:09",
                                 "2024-3-5 14:7:9",
                                 "2024-03-05 14:07",
                                 "2024-03-05 14:07:09.5",
                                 "２０２４-03-05"};
  ExpectGolden("check/convert/times.txt",
               Transcript(kInputs, [](const std::string& time) {
                 std::string out;
                 for (int mode = -1; mode <= 6; ++mode)
                   out += std::to_string(mode) + "=" + FormatTime(time, mode) + "|";
                 return out;
               }));
}

// Every level from -1 to 5 of each address ("1234.5.6.7": the first "." is
// the fifth character).
TEST(MaskIpTest, Levels) {
  const char* const kInputs[] = {"192.168.1.20", "1.2.3.4", "1234.5.6.7", ".1.2.3", "abc",
                                 "10.1",         "10.1.2",  "1.2",        ""};
  ExpectGolden("check/convert/ips.txt",
               Transcript(kInputs, [](const std::string& address) {
                 std::string out;
                 for (int level = -1; level <= 5; ++level)
                   out += std::to_string(level) + "=" + MaskIp(address, level) + "|";
                 return out;
               }));
}

}  // namespace
}  // namespace tb::check
