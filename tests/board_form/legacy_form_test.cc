#include <gtest/gtest.h>

#include "tests/board_form/form_fixture.h"

namespace tb {
namespace {

using Fields = testing::PostFields;

constexpr std::string_view kAd =
    "<p align=\"center\"><script src=\"http://ad.example/ad.js\"></script></p>";

class AddBakTest : public testing::FormTest {
 protected:
  void Style(std::string_view infostyle) {
    Seed("update user set infostyle = '" + std::string(infostyle) +
         "' where name = 'abc'");
  }
  void RememberPoster() {
    for (const auto& [name, value] : {std::pair{"ly_name", "小明"},
                                      {"ly_email", "ming@example.cn"},
                                      {"ly_zhuye", "http://ming.example/"},
                                      {"ly_guo", "中国"},
                                      {"ly_sheng", "广东"},
                                      {"ly_xian", "广州"},
                                      {"ly_oicq", "12345"}}) {
      page().cookies.Add(name, value);
    }
  }
  void Visit(std::string_view name = "abc") {
    page().query.Add("name", name);
    book().Add_bak();
  }
  bool Shows(std::string_view piece) {
    return page().body.find(piece) != std::string::npos;
  }
};

TEST_F(AddBakTest, EverythingOfferedAndPrefilled) {
  Seed("update user set topformat = '0', html = '2' where name = 'abc'");
  Style("11111111111111111111");
  RememberPoster();
  page().query.Add("reply", "1");
  page().query.Add("replyid", "7");
  page().query.Add("replysubject", "回复：问候");
  page().query.Add("replyemail", "ming@example.cn");
  Visit();
  EXPECT_EQ(page().redirect, std::nullopt);
  testing::ExpectGolden("Add_bak/all_on.html", page().body);

  const Value key = page().Get("ly_fgs");
  ASSERT_TRUE(key.IsNumber());
  EXPECT_TRUE(Shows("&key2=" + key.Text() + "\">"));
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  EXPECT_EQ(page().session_values.count("abcfgs"), 0u);
  EXPECT_TRUE(page().body.ends_with(std::string("</form>") + std::string(kAd)));
}

TEST_F(AddBakTest, NothingOfferedTextOnlyTitleImage) {
  Seed(
      "update user set topformat = '1', topimage = 'http://img.example/t.gif', "
      "html = '0' where name = 'abc'");
  Style("00000000000000000000");
  RememberPoster();  // only the poster's name shows
  Visit();
  // The golden file shows that no optional field is offered.
  testing::ExpectGolden("Add_bak/all_off.html", page().body);
}

TEST_F(AddBakTest, EachItemAlone) {
  struct Case {
    int item;
    std::vector<std::string> shown;
  } cases[] = {
      {1, {"name=\"email\""}},
      {2, {"name=\"homepage\""}},
      {3, {"<select name=\"guo\"", "<select name=\"sheng\""}},
      {4, {}},  // the county field only inside the location row
      {5, {"name=\"oicq\""}},
      {6, {"name=\"tx\" value=\"20\""}},
      {7, {"name=\"font\""}},
      {8, {"name=\"fontsize\"", "name=\"fontcolor\""}},
      {9, {}},
      {10, {"name=\"replymail\""}},
      {11, {"name=\"priviteword\""}},
      {12, {"name=\"password\"", "name=\"name\" size=\"11\" value=\"abc\""}},
      {13, {}},
  };
  const std::vector<std::string> all = {
      "name=\"email\"",       "name=\"homepage\"", "name=\"guo\"",
      "name=\"xian\"",        "name=\"oicq\"",     "name=\"tx\"",
      "name=\"font\"",        "name=\"fontsize\"", "name=\"replymail\"",
      "name=\"priviteword\"", "name=\"password\""};
  for (const auto& c : cases) {
    std::string style(20, '0');
    style[c.item - 1] = '1';
    Style(style);
    NextRequest();
    Visit();
    std::size_t shown = 0;
    for (const auto& piece : all) shown += Shows(piece) ? 1 : 0;
    EXPECT_EQ(shown, c.shown.empty() ? 0u : 1u) << c.item;
    for (const auto& piece : c.shown) EXPECT_TRUE(Shows(piece)) << c.item << piece;
  }

  // Location without the county, then with it.
  Style("00100000000000000000");
  NextRequest();
  Visit();
  EXPECT_TRUE(Shows("</select>  </td></tr>"));
  Style("00110000000000000000");
  NextRequest();
  RememberPoster();
  Visit();
  EXPECT_TRUE(
      Shows("</select><input type=\"text\" name=\"xian\" size=\"11\" value=\"广州\" "
            "style=\"border: 1 solid #008000\">  </td></tr>"));

  // A short or malformed infostyle shows what its "1"s say and nothing more.
  for (std::string_view style : {"", "1", "x1"}) {
    Style(style);
    NextRequest();
    Visit();
    EXPECT_EQ(Shows("name=\"email\""), style == "1") << style;
    EXPECT_EQ(Shows("name=\"homepage\""), style == "x1") << style;
  }
}

TEST_F(AddBakTest, RememberedValuesPrefill) {
  Style("11111111111111111111");
  struct Case {
    const char* cookie;
    const char* value;
    std::string shown;
  } cases[] = {
      {"ly_guo", "中", "<select name=\"guo\" size=\"1\"><option>请选择国家</option>"},
      {"ly_guo", "美国",
       "<select name=\"guo\" size=\"1\"><option selected>美国</option>"},
      {"ly_sheng", "粤",
       "<select name=\"sheng\" size=\"1\"><option selected>粤</option>"},
      {"ly_sheng", "", "<select name=\"sheng\" size=\"1\"><option>请选择省市</option>"},
      {"ly_zhuye", "http://", "name=\"homepage\" size=\"39\" value=\"http://\""},
      {"ly_zhuye", "ab.cn", "name=\"homepage\" size=\"39\" value=\"http://\""},
      {"ly_zhuye", "http://a", "name=\"homepage\" size=\"39\" value=\"http://a\""},
      {"ly_name", "O\"Neil", "name=\"guestname\" size=\"39\" value=\"O&quot;Neil\""},
      {"ly_oicq", "1<2", "name=\"oicq\" size=\"39\" value=\"1&lt;2\""},
  };
  for (const auto& c : cases) {
    NextRequest();
    page().cookies.Add(c.cookie, c.value);
    Visit();
    EXPECT_TRUE(Shows(c.shown)) << c.cookie << "=" << c.value;
  }
}

TEST_F(AddBakTest, ReplySubjectAndActionFromTheQuery) {
  struct Case {
    Fields query;
    std::string subject, action;
  } cases[] = {
      {{{"reply", "1"}, {"replysubject", " 回复：你好 "}, {"replyid", "12"}},
       "value=\"回复：你好\"",
       "action=\"add_check.asp?name=abc&replyemail=&reply=1&replyid=12&key2="},
      {{{"reply", "0"}, {"replysubject", "回复：你好"}},
       "name=\"subject\" size=\"39\" value=\"\"",
       "action=\"add_check.asp?name=abc&replyemail=&reply=0&replyid=&key2="},
      {{{"reply", "1"},
        {"replysubject", "\"><script>x()</script>"},
        {"replyemail", "a&b\""}},
       "value=\"&quot;&gt;&lt;script&gt;x()&lt;/script&gt;\"",
       "action=\"add_check.asp?name=abc&replyemail=a&amp;b&quot;&reply=1&replyid=&key2="},
  };
  for (const auto& c : cases) {
    NextRequest();
    for (const auto& [k, v] : c.query) page().query.Add(k, *v);
    Visit();
    EXPECT_TRUE(Shows(c.subject)) << c.subject;
    EXPECT_TRUE(Shows(c.action)) << c.action;
    EXPECT_FALSE(Shows("<script>"));
  }
}

TEST_F(AddBakTest, FormatChoiceFollowsTheGuestbookMode) {
  for (const char* mode : {"0", "1", "2"}) {
    Seed("update user set html = '" + std::string(mode) + "' where name = 'abc'");
    NextRequest();
    Visit();
    const bool text_only = std::string_view(mode) == "0";
    EXPECT_EQ(
        Shows("留言详细内容（最多8K）：<input type=\"hidden\" value=\"0\" name=\"html\" "
              "checked>"),
        text_only)
        << mode;
    EXPECT_EQ(Shows("<input type=\"radio\" name=\"html\" value=\"1\">&nbsp;Html方式<br>"),
              !text_only)
        << mode;
    EXPECT_FALSE(Shows("value=\"2\" name=\"html\"")) << mode;
  }
}

TEST_F(AddBakTest, NameRulesAndPrune) {
  Seed("insert into user(name, infostyle) values ('a', '0')");
  struct Case {
    std::string name;
    bool redirected;
  } cases[] = {
      {"a", false},     {"  a ", false}, {"", true}, {"a234567890123456", true},
      {"nobody", true},
  };
  for (const auto& c : cases) {
    NextRequest();
    page().session_values.clear();
    Visit(c.name);
    EXPECT_EQ(page().redirect.has_value(), c.redirected) << c.name;
    if (c.redirected) {
      EXPECT_EQ(*page().redirect, "user_name_error.asp") << c.name;
      EXPECT_EQ(page().body, "") << c.name;
    }
    // The key and the flag are set before the name is looked at.
    EXPECT_TRUE(page().Get("ly_fgs").IsNumber()) << c.name;
    EXPECT_EQ(page().Get("ly_tijiao"), Value("0")) << c.name;
  }

  SeedMessages("abc", 6);
  NextRequest();
  book().SetMaxNum(Value(5));
  Visit();
  EXPECT_EQ(Count("select * from liuyan"), 0);
}

}  // namespace
}  // namespace tb
