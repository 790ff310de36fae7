#include <gtest/gtest.h>

#include <string>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

class BasicSettingsTest : public testing::SettingsTest {
 protected:
  BasicSettingsTest() { LogIn(); }

  // Posts a form that passes every check, `changes` applied over it (an
  // empty name removes nothing; a field given as "-" is left out).
  void Save(const testing::Fields& changes = {}) {
    testing::Fields form = {
        {"homepage", " http://new.example/home "},
        {"html", "1"},
        {"titletop", "  新的<i>标题</i>  "},
        {"infolistno", " 12 "},
        {"sendinfo", "1"},
        {"backimage", " https://new.example/b.gif "},
        {"topimage", ""},
        {"topformat", "1"},
        {"nettype", " 科学教育 "},
    };
    for (const auto& [k, v] : changes) {
      for (auto& field : form) {
        if (field.first == k) field.second = v;
      }
    }
    std::erase_if(form, [](const auto& field) { return field.second == "-"; });
    Post(form);
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
  for (const auto& [key, value] : want) EXPECT_EQ(page().Get(key).Text(), value) << key;
  // Stored values are copied unchanged: the number stays a number.
  EXPECT_TRUE(page().Get("abcjm1infolistno").IsNumber());
  // The login keys and the ten copies, nothing else.
  EXPECT_EQ(page().session_values.size(), 12u);
}

TEST_F(BasicSettingsTest, KeysOfEachOwnerStayApart) {
  book().JieMian1();
  LogIn("x_9");
  NextRequest();
  book().JieMian1();
  EXPECT_EQ(page().Get("abcjm1titletop").Text(), "<b>小花的留言板</b>");
  EXPECT_EQ(page().Get("x_9jm1titletop").Text(), "X9");
  EXPECT_EQ(page().Get("x_9jm1topimage").Text(), "");
}

TEST_F(BasicSettingsTest, StoresTheFormAndConfirms) {
  const auto before = Row();
  const auto other = Row("x_9");
  Save();
  EXPECT_EQ(page().body,
            "<p></p>留言板：<font color=\"#FF0000\">新的<i>标题</i></font> 修改成功！");
  const auto after = Row();
  EXPECT_EQ(after.at("homepage"), "http://new.example/home");
  EXPECT_EQ(after.at("modifytime"), "2026-03-05 14:07:09");
  EXPECT_EQ(after.at("ip"), "10.1.2.3");
  EXPECT_EQ(after.at("html"), "1");
  EXPECT_EQ(after.at("titletop"), "新的<i>标题</i>");
  EXPECT_EQ(after.at("infolistno"), "12");
  EXPECT_EQ(after.at("sendinfo"), "1");
  EXPECT_EQ(after.at("backimage"), "https://new.example/b.gif");
  EXPECT_EQ(after.at("topimage"), "");
  EXPECT_EQ(after.at("topformat"), "1");
  EXPECT_EQ(after.at("nettype"), "科学教育");
  ExpectOnlyChanged(before, after,
                    {"homepage", "modifytime", "ip", "html", "titletop", "infolistno",
                     "sendinfo", "backimage", "topimage", "topformat", "nettype"});
  EXPECT_EQ(Row("x_9"), other);
}

TEST_F(BasicSettingsTest, SessionCopiesKeepTheOldValuesUntilReloaded) {
  book().JieMian1();
  Save();
  EXPECT_EQ(page().Get("abcjm1titletop").Text(), "<b>小花的留言板</b>");
  NextRequest();
  book().JieMian1();
  EXPECT_EQ(page().Get("abcjm1titletop").Text(), "新的<i>标题</i>");
}

TEST_F(BasicSettingsTest, ChoicesOutsideTheirValuesFallBack) {
  struct Case {
    const char* field;
    const char* posted;  // "-" leaves the field out
    const char* stored;
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
      {"topimage", "", ""},
      {"topimage", "http://t.example/t.jpg", "http://t.example/t.jpg"},
      {"nettype", "", ""},
      {"nettype", " 00 ", "00"},
  };
  for (const auto& c : cases) {
    Save({{c.field, c.posted}});
    EXPECT_EQ(Column(c.field), c.stored) << c.field << "=" << c.posted;
    EXPECT_TRUE(page().body.ends_with("修改成功！")) << c.field << "=" << c.posted;
  }
}

TEST_F(BasicSettingsTest, RefusedFormsListEveryFailureInOrder) {
  const std::string long_title(101, 'x');
  struct Case {
    testing::Fields changes;
    std::initializer_list<int> messages;
  } cases[] = {
      {{{"homepage", ""}}, {6}},
      {{{"homepage", "-"}}, {6}},
      {{{"homepage", "HTTP://new.example/"}}, {6}},
      {{{"homepage", "www.new.example"}}, {6}},
      {{{"titletop", " x "}}, {7}},
      {{{"titletop", ""}}, {7}},
      {{{"titletop", long_title}}, {7}},
      {{{"backimage", "ftp://b.example/b.gif"}}, {13}},
      {{{"topimage", "top.gif"}}, {14}},
      {{{"nettype", " 0 "}}, {12}},
      {{{"homepage", ""}, {"titletop", "x"}, {"nettype", "0"}}, {6, 7, 12}},
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
  EXPECT_EQ(Row(), before);
}

TEST_F(BasicSettingsTest, RefusedFormGolden) {
  Save({{"homepage", ""}, {"titletop", "x"}, {"nettype", "0"}});
  testing::ExpectGolden("JieMian1Check/homepage_title_category.html", page().body);
}

TEST_F(BasicSettingsTest, TitleLengthLimitsAfterTrimming) {
  Save({{"titletop", "  ab  "}});
  EXPECT_EQ(Column("titletop"), "ab");
  Save({{"titletop", std::string(100, 'y')}});
  EXPECT_EQ(Column("titletop"), std::string(100, 'y'));
  Save({{"titletop", "留言"}});
  EXPECT_EQ(Column("titletop"), "留言");
}

TEST_F(BasicSettingsTest, QuotesAreStoredIntact) {
  Save({{"titletop", "Tom's 'book'"},
        {"homepage", "http://new.example/?a='1'"},
        {"nettype", "it's"},
        {"backimage", "http://b.example/'.gif"}});
  EXPECT_EQ(page().body,
            "<p></p>留言板：<font color=\"#FF0000\">Tom's 'book'</font> 修改成功！");
  EXPECT_EQ(Column("titletop"), "Tom's 'book'");
  EXPECT_EQ(Column("homepage"), "http://new.example/?a='1'");
  EXPECT_EQ(Column("nettype"), "it's");
  EXPECT_EQ(Column("backimage"), "http://b.example/'.gif");
}

}  // namespace
}  // namespace tb
