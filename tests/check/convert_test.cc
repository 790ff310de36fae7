#include "check/convert.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tb::check {
namespace {

struct Case {
  std::string_view in, want;
};

TEST(HtmlTextTest, Cases) {
  const Case cases[] = {
      {"a\r\nb", "a<br>\nb"},
      {"a\nb", "a\nb"},
      {"x<br>y", "x<br>y"},  // a typed break survives
      {"<b>", "&lt;b&gt;"},
      {"<BR>", "&lt;BR&gt;"},
      {"<br >", "&lt;br&nbsp;&gt;"},
      {"a  b", "a&nbsp;&nbsp;b"},
      {"a&b \"c\"", "a&b&nbsp;\"c\""},
      {"$$%%^^&&**mirelatch", "<br>"},  // the placeholder itself reads as a break
      {"留言\r", "留言<br>"},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlText(c.in), c.want) << c.in;
}

TEST(ToFullWidthMarksTest, Cases) {
  const Case cases[] = {
      {"  plain  ", "plain"},
      {" <it's>\\ ", "〈it’s〉＼"},
      {"\ta\"b ", "\ta\"b"},
      {"   ", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ToFullWidthMarks(c.in), c.want) << c.in;
}

TEST(StripMarksTest, Cases) {
  const Case cases[] = {
      {"  plain  ", "plain"}, {" <\"it's\"> ", "its"}, {"a\\b", "a\\b"},
      {" 'a b' ", "a b"},     {" ' ' ", " "},  // trimmed before the marks go, so the
                                               // inner blank stays
  };
  for (const Case& c : cases) EXPECT_EQ(StripMarks(c.in), c.want) << c.in;
}

TEST(FormatTimeTest, Modes) {
  struct TimeCase {
    std::string_view time;
    int mode;
    std::string_view want;
  };
  const TimeCase cases[] = {
      {"2024-03-05 14:07:09", 1, "2024-3-5 14:7:9"},
      {"2024-03-05 14:07:09", 2, "2024-3-5"},
      {"2024-03-05 14:07:09", 3, "14:7:9"},
      {"2024-03-05 14:07:09", 4, "3-5 14:7:9"},
      {"2024-03-05 14:07:09", 5, "3-5 14:7"},
      {"2024-03-05 14:07:09", 0, ""},
      {"2024-03-05 14:07:09", 6, ""},
      {"2024-03-05 14:07:09", -1, ""},
      {"2024-03-05 00:00:00", 3, "0:0:0"},
      {"2024-12-31 23:59:59", 1, "2024-12-31 23:59:59"},
      {"2024-03-05", 1, "2024-3-5 0:0:0"},
      {"2024-03-05", 5, "3-5 0:0"},
      {"2024-02-29 10:00:00", 2, "2024-2-29"},
      {"0999-01-02 03:04:05", 1, "999-1-2 3:4:5"},
  };
  for (const TimeCase& c : cases) {
    EXPECT_EQ(FormatTime(c.time, c.mode), c.want) << c.time << " mode " << c.mode;
  }
}

TEST(FormatTimeTest, UnreadableTimeGivesEmptyText) {
  const std::string_view times[] = {
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
      "２０２４-03-05",
  };
  for (std::string_view time : times) EXPECT_EQ(FormatTime(time, 1), "") << time;
}

TEST(MaskIpTest, Levels) {
  struct IpCase {
    std::string_view address;
    int level;
    std::string_view want;
  };
  const IpCase cases[] = {
      {"192.168.1.20", 0, "192.168.1.20"},
      {"192.168.1.20", 4, "192.168.1.20"},
      {"192.168.1.20", 1, "192.*.*.*"},
      {"1.2.3.4", 1, "1.*.*.*"},
      {"1234.5.6.7", 1, ""},  // the first "." is the fifth character
      {".1.2.3", 1, ""},
      {"abc", 1, ""},
      {"192.168.1.20", 2, "192.168.*.*"},
      {"10.1", 2, ""},
      {"10.1.2", 2, "10.1.*.*"},
      {"192.168.1.20", 3, "192.168.1.*"},
      {"1.2", 3, ""},
      {"192.168.1.20", 5, ""},
      {"192.168.1.20", -1, ""},
      {"", 0, ""},
      {"", 2, ""},
  };
  for (const IpCase& c : cases) {
    EXPECT_EQ(MaskIp(c.address, c.level), c.want) << c.address << " level " << c.level;
  }
}

}  // namespace
}  // namespace tb::check
