#include <gtest/gtest.h>

#include <string>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

class BasicSettingsTest : public testing::SettingsTest {
 protected:
  BasicSettingsTest() { LogIn(); }

  // Posts a form that passes every check, `changes` applied over it.
  void Save(const testing::Fields& changes = {}) {
    Post(testing::WithChanges({{"homepage", " http://new.example/home "},
                               {"html", "1"},
                               {"titletop", "  新的<i>标题</i>  "},
                               {"infolistno", " 12 "},
                               {"sendinfo", "1"},
                               {"backimage", " https://new.example/b.gif "},
                               {"topimage", ""},
                               {"topformat", "1"},
                               {"nettype", " 科学教育 "}},
                              changes));
    book().JieMian1Check();
  }
};

TEST_F(BasicSettingsTest, CopiesTheRowIntoTheSession) {
  book().JieMian1();
  EXPECT_EQ(page().body, "");
  const std::pair<const char*, const char*> want[] = {
      {"abcjm1infostyle", "10100000000011111111"},
      {"abcjm1titletop", "<b>小花的留言板</b>"},
      {"abcjm1topimage", "http://abc.example/top.gif"},
      {"abcjm1topformat", "1"},
      {"abcjm1infolistno", "15"},
      {"abcjm1html", "2"},
      {"abcjm1backimage", "http://abc.example/back.jpg"},
      {"abcjm1sendinfo", "0"},
      {"abcjm1nettype", "电脑网络"},
      {"abcjm1homepage", "http://abc.example/"},
  };
  for (const auto& [key, value] : want) EXPECT_EQ(SessionText(key), value) << key;
  // Stored values are copied unchanged: the number stays a number.
  EXPECT_TRUE(page().Get("abcjm1infolistno").IsNumber());
  // The login keys and the ten copies, nothing else.
  EXPECT_EQ(page().session_values.size(), 12u);
  // Each owner's copies have keys of their own.
  LogIn("x_9");
  NextRequest();
  book().JieMian1();
  EXPECT_EQ(SessionText("abcjm1titletop") + SessionText("x_9jm1titletop"),
            "<b>小花的留言板</b>X9");
  EXPECT_EQ(SessionText("x_9jm1topimage"), "");
}

TEST_F(BasicSettingsTest, StoresTheFormAndConfirms) {
  const auto before = Row();
  const auto other = Row("x_9");
  book().JieMian1();
  Save();
  EXPECT_EQ(page().body,
            "<p></p>留言板：<font color=\"#FF0000\">新的<i>标题</i></font> 修改成功！");
  ExpectRow(before, Row(),
            {{"homepage", "http://new.example/home"},
             {"modifytime", "2026-03-05 14:07:09"},
             {"ip", "10.1.2.3"},
             {"html", "1"},
             {"titletop", "新的<i>标题</i>"},
             {"infolistno", "12"},
             {"sendinfo", "1"},
             {"backimage", "https://new.example/b.gif"},
             {"topimage", ""},
             {"topformat", "1"},
             {"nettype", "科学教育"}});
  EXPECT_EQ(Row("x_9"), other);
  // The session's copies keep the old values until the form is shown again.
  EXPECT_EQ(SessionText("abcjm1titletop"), "<b>小花的留言板</b>");
  NextRequest();
  book().JieMian1();
  EXPECT_EQ(SessionText("abcjm1titletop"), "新的<i>标题</i>");
}

// Each field alone, stored as it comes out of its checks and fallbacks
// ("-" leaves the field out).
TEST_F(BasicSettingsTest, EachFieldAsStored) {
  struct Case {
    std::string field, posted, stored;
  } cases[] = {
      {"html", "0", "0"},
      {"html", "2", "2"},
      {"html", "3", "0"},
      {"html", " 1", "0"},
      {"html", "-", "0"},
      {"sendinfo", "0", "0"},
      {"sendinfo", "-", "1"},
      {"sendinfo", "yes", "1"},
      {"topformat", "0", "0"},
      {"topformat", "-", "0"},
      {"topformat", "2", "0"},
      {"infolistno", "abc", "10"},
      {"infolistno", "", "10"},
      {"infolistno", "0", "10"},
      {"infolistno", "21", "10"},
      {"infolistno", "-5", "10"},
      {"infolistno", "20", "20"},
      {"infolistno", "1", "1"},
      {"infolistno", " 7 ", "7"},
      {"backimage", "", ""},
      {"backimage", "http://b.example/'.gif", "http://b.example/'.gif"},
      {"topimage", "http://t.example/t.jpg", "http://t.example/t.jpg"},
      {"nettype", "", ""},
      {"nettype", " 00 ", "00"},
      {"nettype", "it's", "it's"},
      {"homepage", "http://new.example/?a='1'", "http://new.example/?a='1'"},
      {"titletop", "  ab  ", "ab"},
      {"titletop", "留言", "留言"},
      {"titletop", std::string(100, 'y'), std::string(100, 'y')},
  };
  for (const auto& c : cases) {
    Save({{c.field, c.posted}});
    EXPECT_EQ(Column(c.field), c.stored) << c.field << "=" << c.posted;
    EXPECT_TRUE(page().body.ends_with("修改成功！")) << c.field << "=" << c.posted;
  }
  Save({{"titletop", "Tom's 'book'"}});
  EXPECT_EQ(page().body,
            "<p></p>留言板：<font color=\"#FF0000\">Tom's 'book'</font> 修改成功！");
  EXPECT_EQ(Column("titletop"), "Tom's 'book'");
}

TEST_F(BasicSettingsTest, RefusedFormsListEveryFailureInOrder) {
  struct Case {
    testing::Fields changes;
    std::initializer_list<int> messages;
  } cases[] = {
      {{{"homepage", "-"}}, {6}},
      {{{"homepage", "HTTP://new.example/"}}, {6}},
      {{{"homepage", "www.new.example"}}, {6}},
      {{{"titletop", " x "}}, {7}},
      {{{"titletop", ""}}, {7}},
      {{{"titletop", std::string(101, 'x')}}, {7}},
      {{{"backimage", "ftp://b.example/b.gif"}}, {13}},
      {{{"topimage", "top.gif"}}, {14}},
      {{{"nettype", " 0 "}}, {12}},
      {{{"nettype", "0"},
        {"topimage", "t"},
        {"backimage", "b"},
        {"titletop", "t"},
        {"homepage", "h"}},
       {6, 7, 13, 14, 12}},
  };
  const auto before = Row();
  for (const auto& c : cases) {
    Save(c.changes);
    EXPECT_EQ(page().body, Report(c.messages)) << c.changes.front().first;
  }
  Save({{"homepage", ""}, {"titletop", "x"}, {"nettype", "0"}});
  testing::ExpectGolden("JieMian1Check/homepage_title_category.html", page().body);
  EXPECT_EQ(Row(), before);
}

}  // namespace
}  // namespace tb
