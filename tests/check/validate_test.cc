#include "check/validate.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tb::check {
namespace {

// A check that may change the caller's text: the verdict and the text left.
struct Case {
  std::string in;
  bool want;
  std::string left;
};

template <typename Check>
void RunCases(Check check, std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(check(text), c.want) << "in: [" << c.in << "]";
    EXPECT_EQ(text, c.left) << "in: [" << c.in << "]";
  }
}

TEST(CheckEmailTest, Cases) {
  RunCases(CheckEmail,
           {
               {" ab@cd ", true, "ab@cd"},
               {"a@b.c", true, "a@b.c"},
               {"abcd@", true, "abcd@"},  // "@" at the end passes
               {"abcde", false, "abcde"},
               {"@abcd", false, "@abcd"},
               {"ab@.cd", false, "ab@.cd"},
               {"a@b@cd", false, "a@b@cd"},
               {"a@bc", false, "a@bc"},
               {"  a@bc  ", false, "a@bc"},
               {"张三@例子", true, "张三@例子"},
               {"a@" + std::string(48, 'b'), true, "a@" + std::string(48, 'b')},
               {"a@" + std::string(49, 'b'), false, "a@" + std::string(49, 'b')},
           });
}

TEST(CheckPasswordTest, Cases) {
  RunCases(CheckPassword, {
                              {"  abc  ", false, "abc"},
                              {"abcd", true, "abcd"},
                              {"a<b/c\"", true, "a<b/c\""},
                              {"ab>cd", false, "ab>cd"},
                              {"ab'cd", false, "ab'cd"},
                              {"ab\\cd", false, "ab\\cd"},
                              {std::string(15, 'x'), true, std::string(15, 'x')},
                              {std::string(16, 'x'), false, std::string(16, 'x')},
                              {"密码密码", true, "密码密码"},
                          });
}

TEST(CheckUrlTest, Cases) {
  struct UrlCase {
    std::string_view in;
    bool want;
  };
  const UrlCase cases[] = {
      {"http://a.cn", true},
      {"https://a.cn", true},
      {"http://", true},
      {"HTTP://a.cn", false},
      {"Https://a.cn", false},
      {"", false},
      {" http://a.cn", false},
      {"ftp://a.cn", false},
      {"http:/a", false},
      {"http://a.cn/ x", false},
      {"http://a\"b", false},
      {"http://<a>", false},
      {"http://a.cn/?x=1&y='2'", true},
  };
  for (const UrlCase& c : cases) EXPECT_EQ(CheckUrl(c.in), c.want) << c.in;
}

TEST(CheckSafeTextTest, Cases) {
  RunCases(CheckSafeText, {
                              {"   ", false, "   "},
                              {"", false, ""},
                              {"<a>", true, "〈a〉"},
                              {" a'|\\ ", true, " a’Ⅰ＼ "},  // replaced, not trimmed
                              {"标题", true, "标题"},
                          });
}

TEST(CheckUserNameTest, Cases) {
  struct NameCase {
    std::string_view in;
    bool want;
  };
  const NameCase cases[] = {
      {" tom_1 ", true},
      {"abc", true},
      {"ab", false},
      {"a-bc", false},
      {"a bc", false},
      {"张三丰", false},
      {"Tom_99", true},
      {"", false},
      {"   ", false},
      {"abcdefghijklmno", true},
      {"abcdefghijklmnop", false},
  };
  for (const NameCase& c : cases) EXPECT_EQ(CheckUserName(c.in), c.want) << c.in;
}

TEST(CheckDigitsTest, Cases) {
  RunCases(CheckDigits, {
                            {"", false, ""},
                            {"   ", false, ""},
                            {" 0123 ", true, "0123"},
                            {"12a", false, "12a"},
                            {"1 2", false, "1 2"},
                            {"１２", false, "１２"},  // full-width digits
                        });
}

TEST(CheckLengthTest, OneToFifty) {
  RunCases(CheckLength1To50, {
                                 {"   ", false, ""},
                                 {" a ", true, "a"},
                                 {std::string(50, 'a'), true, std::string(50, 'a')},
                                 {std::string(51, 'a'), false, std::string(51, 'a')},
                             });
  std::string fifty_chinese;
  for (int i = 0; i < 50; ++i) fifty_chinese += "字";
  std::string text = fifty_chinese;
  EXPECT_TRUE(CheckLength1To50(text));
  text = fifty_chinese + "字";
  EXPECT_FALSE(CheckLength1To50(text));
}

TEST(CheckLengthTest, TwoToHundred) {
  RunCases(CheckLength2To100, {
                                  {" a ", false, "a"},
                                  {" 留言 ", true, "留言"},
                                  {"😀", true, "😀"},  // one emoji counts two
                                  {std::string(100, 'a'), true, std::string(100, 'a')},
                                  {std::string(101, 'a'), false, std::string(101, 'a')},
                              });
}

TEST(TrimValueTest, TrimsCallerAndReturnsIt) {
  std::string text = "  a b \t ";
  EXPECT_EQ(TrimValue(text), "a b \t");
  EXPECT_EQ(text, "a b \t");
}

TEST(WholeNumberTest, OnlyWholeFiniteNumbers) {
  struct Case {
    const char* text;
    std::optional<double> want;
  } cases[] = {
      {"3", 3},
      {" 12 ", 12},
      {"-2", -2},
      {"1e3", 1000},
      {"2.0", 2},
      {"2.5", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"1e999", std::nullopt},
      {"3x", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeNumber(c.text), c.want) << c.text;
}

}  // namespace
}  // namespace tb::check
