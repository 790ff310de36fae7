#include "check/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tb::check {
namespace {

TEST(LengthTest, CountsUtf16Units) {
  struct Case {
    std::string_view text;
    std::size_t want;
  };
  const Case cases[] = {
      {"", 0},    {"abc", 3}, {"留言ab", 4}, {"😀", 2},
      {"a😀b", 4}, {"é", 1},   {"　", 1},  // full-width blank: three bytes, one unit
  };
  for (const Case& c : cases) EXPECT_EQ(Length(c.text), c.want) << c.text;
}

TEST(LeftTest, NeverSplitsACharacter) {
  struct Case {
    std::string_view text;
    std::size_t n;
    std::string_view want;
  };
  const Case cases[] = {
      {"留言本", 2, "留言"}, {"a😀b", 2, "a"},  // half an emoji is left out
      {"a😀b", 3, "a😀"},      {"abc", 10, "abc"}, {"abc", 0, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Left(c.text, c.n), c.want) << c.text << " " << c.n;
}

TEST(TrimTest, RemovesBlanksOnly) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"  a b  ", "a b"}, {"\ta\t", "\ta\t"}, {"　a　", "　a　"},
      {"   ", ""},        {" \n ", "\n"},     {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Trim(c.text), c.want) << c.text;
}

TEST(ReplaceAllTest, ScansLeftToRightWithoutRescanning) {
  struct Case {
    std::string_view text, from, to, want;
  };
  const Case cases[] = {
      {"aaa", "a", "aa", "aaaaaa"},
      {"abab", "ab", "b", "bb"},
      {"aaaa", "aa", "a", "aa"},
      {"aaa", "aa", "b", "ba"},
      {"x", "", "y", "x"},
      {"a'b'", "'", "''", "a''b''"},
      {"留言留言", "留", "", "言言"},
      {"", "a", "b", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.want) << c.text << " " << c.from;
  }
}

TEST(CaseTest, FoldsAToZOnly) {
  EXPECT_EQ(AsciiLower("Http://X.CN"), "http://x.cn");
  EXPECT_EQ(AsciiLower("ÄB"), "Äb");
  EXPECT_TRUE(EqualsIgnoreCase("Admin", "aDMIN"));
  EXPECT_FALSE(EqualsIgnoreCase("admin", "admin "));
  EXPECT_TRUE(ContainsIgnoreCase("Buy SPAM now", "spam"));
  EXPECT_FALSE(ContainsIgnoreCase("ÄB", "äb"));
  EXPECT_TRUE(StartsWith("http://a", "http://"));
  EXPECT_FALSE(StartsWith("http:", "http://"));
}

TEST(EscapeHtmlTest, EscapesFiveMarks) {
  EXPECT_EQ(EscapeHtml(R"(<a href="x">&'留)"),
            "&lt;a href=&quot;x&quot;&gt;&amp;&#39;留");
  EXPECT_EQ(EscapeHtml("plain"), "plain");
}

}  // namespace
}  // namespace tb::check
