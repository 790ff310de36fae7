#include <gtest/gtest.h>

#include <string>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

class LegacyBasicFormTest : public testing::SettingsTest {
 protected:
  LegacyBasicFormTest() { LogIn(); }
};

TEST_F(LegacyBasicFormTest, FormWithTheStoredCategoryGolden) {
  book().JieMian1_bak();
  testing::ExpectGolden("JieMian1_bak/stored_category.html", page().body);
  // The stored category comes first, selected, and again among the fixed.
  const std::string& body = page().body;
  const auto first = body.find(
      "<option value=\"电脑网络\" selected>电脑网络</option>"
      "<option value=\"综合门户\">综合门户</option>"
      "<option value=\"电脑网络\">电脑网络</option>");
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(body.find("selected"),
            first + std::string("<option value=\"电脑网络\" ").size());
  // The choices start the same whatever the row holds.
  EXPECT_NE(body.find("name=\"topformat\" value=\"0\" checked>"), std::string::npos);
  EXPECT_NE(body.find("value=\"0\" checked name=\"html\">否"), std::string::npos);
  EXPECT_NE(body.find("name=\"sendinfo\" value=\"1\" checked>是"), std::string::npos);
  EXPECT_EQ(body.find("value=\"2\""), std::string::npos);
}

TEST_F(LegacyBasicFormTest, EmptyValuesAndNoCategory) {
  Seed(
      "update user set titletop = null, topimage = '', backimage = null, infolistno = "
      "null, nettype = null, homepage = '' where name = 'abc'");
  book().JieMian1_bak();
  testing::ExpectGolden("JieMian1_bak/empty_values.html", page().body);
  EXPECT_NE(page().body.find("<option value=\"\" selected></option><option "),
            std::string::npos);
}

TEST_F(LegacyBasicFormTest, QuotesCannotEndTheAttributes) {
  Seed(
      "update user set titletop = '<font color=\"red\">Tom''s</font>', homepage = "
      "'http://a.example/\" onmouseover=\"x', nettype = '<b>\"类\"</b>' where name = "
      "'abc'");
  book().JieMian1_bak();
  const std::string& body = page().body;
  EXPECT_NE(body.find("value='<font color=\"red\">Tom&#39;s</font>'><font"),
            std::string::npos);
  EXPECT_NE(body.find("value=\"http://a.example/&quot; onmouseover=&quot;x\"><br>"),
            std::string::npos);
  EXPECT_NE(body.find("<option value=\"<b>&quot;类&quot;</b>\" selected>"
                      "&lt;b&gt;&quot;类&quot;&lt;/b&gt;</option>"),
            std::string::npos);
}

}  // namespace
}  // namespace tb
