#include <gtest/gtest.h>

#include <regex>

#include "tests/board_form/form_fixture.h"

namespace tb {
namespace {

class AddTest : public testing::FormTest {
 protected:
  void Visit(std::string_view name) {
    page().query.Add("name", name);
    book().Add();
  }
};

TEST_F(AddTest, IssuesFormKeyAndCopiesFormSettings) {
  Seed(
      "update user set infoname = '尊姓大名', infomail = '邮箱', infohomepage = '主页', "
      "infowhere = '来自', infooicq = 'QQ', infosubject = '主题', "
      "infostyle = '10101010101010101010', html = '1', titletop = '<b>标题</b>', "
      "topimage = 'http://img.example/t.gif', topformat = null where name = 'abc'");
  Visit("  abc ");

  EXPECT_EQ(page().redirect, std::nullopt);
  EXPECT_EQ(page().body, "");
  const Value key = page().Get("ly_fgs");
  ASSERT_TRUE(key.IsText());
  EXPECT_TRUE(std::regex_match(key.Text(), std::regex("[1-9][0-9]{8}"))) << key.Text();
  EXPECT_GE(*key.Whole(), 99999999);
  EXPECT_LT(*key.Whole(), 199900000);
  EXPECT_EQ(page().Get("abcfgs"), key);
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));

  const std::pair<const char*, Value> copied[] = {
      {"abcaddinfoname", Value("尊姓大名")},
      {"abcaddinfomail", Value("邮箱")},
      {"abcaddinfohomepage", Value("主页")},
      {"abcaddinfowhere", Value("来自")},
      {"abcaddinfooicq", Value("QQ")},
      {"abcaddinfosubject", Value("主题")},
      {"abcaddinfostyle", Value("10101010101010101010")},
      {"abcaddhtml", Value("1")},
      {"abcaddtitletop", Value("<b>标题</b>")},
      {"abcaddtopimage", Value("http://img.example/t.gif")},
      {"abcaddtopformat", Value()},  // a null column is copied as empty
  };
  for (const auto& [key_name, want] : copied) {
    EXPECT_EQ(page().Get(key_name), want) << key_name;
    EXPECT_TRUE(page().session_values.count(key_name)) << key_name;
  }
  EXPECT_EQ(page().session_values.size(), 3u + std::size(copied));
}

TEST_F(AddTest, NameLengthAndUnknownGuestbook) {
  Seed("insert into user(name) values ('a23456789012345')");
  struct Case {
    std::string name;
    bool redirected, session_set;
  } cases[] = {
      {"ab", true, false},
      {"   ab  ", true, false},
      {"a234567890123456", true, false},
      {"abc", false, true},
      {"a23456789012345", false, true},
      {"nobody", true, true},  // the key is issued before the lookup
      {"o'k", true, true},     // quoted for SQL, found nowhere
  };
  for (const auto& c : cases) {
    page().session_values.clear();
    page().query = {};
    page().redirect.reset();
    Visit(c.name);
    EXPECT_EQ(page().redirect.has_value(), c.redirected) << c.name;
    if (c.redirected) {
      EXPECT_EQ(*page().redirect, "user_name_error.asp") << c.name;
    }
    EXPECT_EQ(page().session_values.count("ly_fgs") == 1, c.session_set) << c.name;
    EXPECT_EQ(page().session_values.count("ly_tijiao") == 1, c.session_set) << c.name;
    EXPECT_EQ(page().body, "");
  }
}

TEST_F(AddTest, SecondVisitIssuesNewKeyAndOldFormIsRefused) {
  Visit("abc");
  const std::string first = SessionText("ly_fgs");
  NextRequest();
  page().random.seed(7);  // a later visit draws another number
  Visit("abc");
  const std::string second = SessionText("ly_fgs");
  EXPECT_NE(first, second);

  NextRequest();
  Post({}, {{"key2", first}});
  EXPECT_EQ(page().body, "url:error!");
  NextRequest();
  Post({}, {{"key2", second}});
  EXPECT_EQ(Count("select * from liuyan"), 1);
}

TEST_F(AddTest, PrunesOldestAboveMaxNum) {
  struct Case {
    const char* label;
    int messages;
    Value max_num;
    int left;
  } cases[] = {
      {"at the limit", 5, Value(5), 5},    {"one above, fewer than 50", 6, Value(5), 0},
      {"limit as text", 6, Value("5"), 0}, {"far above: 50 a visit", 70, Value(10), 20},
      {"no limit set", 70, Value(), 70},   {"limit not a number", 70, Value("many"), 70},
  };
  for (const auto& c : cases) {
    Seed("delete from liuyan");
    SeedMessages("abc", c.messages);
    SeedMessages("other", 3);
    NextRequest();
    book().SetMaxNum(c.max_num);
    Visit("abc");
    EXPECT_EQ(Count("select * from liuyan where name = 'abc'"), c.left) << c.label;
    EXPECT_EQ(Count("select * from liuyan where name = 'other'"), 3) << c.label;
    if (c.left > 0 && c.left < c.messages) {
      // The newest stay: m51 .. m70.
      EXPECT_EQ(Scalar("select min(cast(substr(subject, 2) as integer)) from liuyan "
                       "where name = 'abc'"),
                std::to_string(c.messages - c.left + 1))
          << c.label;
    }
  }
}

TEST_F(AddTest, PrunesAgainOnEachVisitWhileAbove) {
  SeedMessages("abc", 120);
  book().SetMaxNum(Value(10));
  Visit("abc");
  EXPECT_EQ(Count("select * from liuyan where name = 'abc'"), 70);
  NextRequest();
  book().SetMaxNum(Value(10));
  Visit("abc");
  EXPECT_EQ(Count("select * from liuyan where name = 'abc'"), 20);
  NextRequest();
  book().SetMaxNum(Value(10));
  Visit("abc");
  EXPECT_EQ(Count("select * from liuyan where name = 'abc'"), 0);
}

TEST_F(AddTest, Image1WritesTheAvatarTable) {
  book().Image1();
  testing::ExpectGolden("Image1/avatars.html", page().body);
  const std::string first = page().body;
  page().body.clear();
  book().Image1();
  EXPECT_EQ(page().body, first);
  EXPECT_EQ(first.find("checked"), std::string::npos);
}

}  // namespace
}  // namespace tb
