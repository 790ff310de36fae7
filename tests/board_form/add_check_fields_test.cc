#include "board/add_check_fields.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tb::board::post {
namespace {

TEST(AddCheckFieldsTest, MessageLimit) {
  struct Case {
    Value setting;
    std::size_t want;
  } cases[] = {
      {Value(), 0},    {Value(8000), 8000}, {Value("10"), 10}, {Value(" 12 "), 12},
      {Value(2.5), 2}, {Value(3.5), 4},     {Value("0"), 0},   {Value(-0.2), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MessageLimit(c.setting), c.want) << c.setting.Text();
  for (const Value& bad : {Value(-1), Value("ten"), Value("")}) {
    EXPECT_THROW(MessageLimit(bad), std::invalid_argument) << bad.Text();
  }
}

TEST(AddCheckFieldsTest, FontKeepsLettersOfAnyScript) {
  struct Case {
    std::string_view in, want;
  } cases[] = {
      {"Arial", "Arial"},
      {"ＭＳ 明朝", "ＭＳ明朝"},
      {"Шрифт-1_a", "Шрифт-1_a"},
      {"a\tb\nc=d'e\"f<g>h`i", "abcdefghi"},
      {"", "宋体"},
      {"  ", "宋体"},
      {"\xff\xfe", "宋体"},  // not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(SafeFont(c.in), c.want) << c.in;
}

TEST(AddCheckFieldsTest, FormKeyComparedAsNumber) {
  const Value issued("123456789");
  for (std::string_view key2 : {"123456789", "0123456789", " 123456789 ", "1.23456789e8"})
    EXPECT_TRUE(FormKeyMatches(key2, issued)) << key2;
  for (std::string_view key2 : {"123456788", "abc", ""})
    EXPECT_FALSE(FormKeyMatches(key2, issued)) << key2;
  EXPECT_TRUE(FormKeyMatches("123456789", Value(123456789)));  // the legacy form's number
  EXPECT_FALSE(FormKeyMatches("0", Value()));                  // no key issued
}

TEST(AddCheckFieldsTest, SortKeys) {
  EXPECT_EQ(NewThreadSortKey(0), 19999);
  EXPECT_EQ(NewThreadSortKey(1), 29999);
  EXPECT_EQ(ReplySortKey(Value(29999)), 29899);
  EXPECT_EQ(ReplySortKey(Value("19899")), 19799);
  EXPECT_EQ(ReplySortKey(Value()), 19999);
  EXPECT_EQ(ReplySortKey(Value("")), 19999);
}

}  // namespace
}  // namespace tb::board::post
