#include <gtest/gtest.h>

#include "tests/board_form/form_fixture.h"

namespace tb {
namespace {

using Fields = testing::PostFields;

const Fields kPoster = {{"ly_name", "小明"},  {"ly_email", "ming@example.cn"},
                        {"ly_guo", "中国"},   {"ly_zhuye", "http://ming.example/"},
                        {"ly_sheng", "广东"}, {"ly_xian", "广州"},
                        {"ly_oicq", "12345"}};

class AddBakTest : public testing::FormTest {
 protected:
  // A visit to the form of guestbook `name` with these cookies and query
  // fields, the guestbook's infostyle and mode set first when given.
  void Visit(std::string_view name = "abc", const Fields& cookies = {},
             const Fields& query = {}, std::optional<std::string> style = {},
             std::string_view mode = "2") {
    if (style) Seed("update user set infostyle = ? where name = 'abc'", {Value(*style)});
    Seed("update user set html = ? where name = 'abc'", {Value(mode)});
    NextRequest();
    for (const auto& [k, v] : cookies) page().cookies.Add(k, *v);
    for (const auto& [k, v] : query) page().query.Add(k, *v);
    page().query.Add("name", name);
    book().Add_bak();
  }
};

TEST_F(AddBakTest, EverythingOfferedAndPrefilled) {
  Seed("update user set topformat = '0' where name = 'abc'");
  Visit("abc", kPoster,
        {{"reply", "1"},
         {"replyid", "7"},
         {"replysubject", "回复：问候"},
         {"replyemail", "ming@example.cn"}},
        "11111111111111111111");
  EXPECT_EQ(page().redirect, std::nullopt);
  testing::ExpectGolden("Add_bak/all_on.html", page().body);
  const Value key = page().Get("ly_fgs");
  ASSERT_TRUE(key.IsNumber());
  EXPECT_NE(page().body.find("&key2=" + key.Text() + "\">"), std::string::npos);
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  EXPECT_EQ(page().session_values.count("abcfgs"), 0u);
}

TEST_F(AddBakTest, NothingOfferedTextOnlyTitleImage) {
  Seed("update user set topformat = '1', topimage = 'http://img.example/t.gif'");
  // Only the poster's name shows: no optional field is offered.
  Visit("abc", kPoster, {}, "00000000000000000000", "0");
  testing::ExpectGolden("Add_bak/all_off.html", page().body);
}

// The form of each variant, a section of the golden file each: every
// optional row alone (the county only inside the location row), short and
// malformed infostyles, the remembered values and the reply fields filled
// in (escaped), the format choice for each guestbook mode.
TEST_F(AddBakTest, FormVariants) {
  struct Case {
    std::optional<std::string> style;
    Fields cookies = {}, query = {};
    std::string mode = "2";
  };
  std::vector<Case> cases;
  for (int item = 0; item < 13; ++item) {
    cases.push_back({std::string(20, '0')});
    (*cases.back().style)[item] = '1';
  }
  const std::string all(20, '1');
  const std::vector<Case> more = {
      {"00110000000000000000", kPoster},
      {""},
      {"1"},
      {"x1"},
      {all,
       {{"ly_guo", "中"},
        {"ly_sheng", "粤"},
        {"ly_zhuye", "http://"},
        {"ly_name", "O\"Neil"},
        {"ly_oicq", "1<2"}}},
      {all, {{"ly_guo", "美国"}, {"ly_sheng", ""}, {"ly_zhuye", "ab.cn"}}},
      {all, {{"ly_zhuye", "http://a"}}},
      {{}, {}, {{"reply", "1"}, {"replysubject", " 回复：你好 "}, {"replyid", "12"}}},
      {{}, {}, {{"reply", "0"}, {"replysubject", "回复：你好"}}},
      {{},
       {},
       {{"reply", "1"},
        {"replysubject", "\"><script>x()</script>"},
        {"replyemail", "a&b\""}}},
      {{}, {}, {}, "0"},
      {{}, {}, {}, "1"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  std::string log;
  for (const auto& c : cases) {
    Visit("abc", c.cookies, c.query, c.style, c.mode);
    log += "## style " + c.style.value_or("-") + " mode " + c.mode;
    for (const Fields* fields : {&c.cookies, &c.query})
      for (const auto& [k, v] : *fields) log += " " + k + "=[" + *v + "]";
    const std::size_t form = page().body.find("<form");
    log += "\n" + page().body.substr(form, page().body.find("</form>") - form) + "\n";
  }
  testing::ExpectGolden("Add_bak/variants.txt", log);
}

TEST_F(AddBakTest, NameRulesAndPrune) {
  Seed("insert into user(name, infostyle) values ('a', '0')");
  const std::pair<const char*, bool> cases[] = {{"a", false},
                                                {"  a ", false},
                                                {"", true},
                                                {"a234567890123456", true},
                                                {"nobody", true}};
  for (const auto& [name, refused] : cases) {
    page().session_values.clear();
    Visit(name);
    EXPECT_EQ(page().redirect.value_or("-"), refused ? "user_name_error.asp" : "-")
        << name;
    if (refused) {
      EXPECT_EQ(page().body, "") << name;
    }
    // The key and the flag are set before the name is looked at.
    EXPECT_TRUE(page().Get("ly_fgs").IsNumber()) << name;
    EXPECT_EQ(page().Get("ly_tijiao"), Value("0")) << name;
  }
  SeedMessages("abc", 6);
  NextRequest();
  book().SetMaxNum(Value(5));
  page().query.Add("name", "abc");
  book().Add_bak();
  EXPECT_EQ(Count("select * from liuyan"), 0);
}

}  // namespace
}  // namespace tb
