#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

constexpr std::array<std::string_view, 12> kBoxes = {
    "C1", "C2", "C3", "C4", "C5", "C6", "C7", "C8", "C9", "C10", "C11", "C12",
};

class DisplaySettingsTest : public testing::SettingsTest {
 protected:
  DisplaySettingsTest() { LogIn(); }

  void ShowWithOptions(std::string_view infostyle) {
    Seed("update user set infostyle = '" + std::string(infostyle) +
         "' where name = 'abc'");
    NextRequest();
    book().JieMian2();
  }

  // The names of the boxes shown ticked, in order.
  std::string Ticked() {
    std::string ticked;
    const std::string& body = page().body;
    for (std::string_view name : kBoxes) {
      const std::string box = "name=\"" + std::string(name) + "\" value=\"1\" ";
      const auto at = body.find(box);
      if (at == std::string::npos) return "missing " + std::string(name);
      if (body.compare(at + box.size(), 7, "checked") == 0) {
        ticked += std::string(name) + " ";
      }
    }
    return ticked;
  }
};

TEST_F(DisplaySettingsTest, FormGoldens) {
  struct Case {
    const char* golden;
    const char* infostyle;
    const char* ticked;
  } cases[] = {
      {"JieMian2/first_and_third.html", "10100000000011111111", "C1 C3 "},
      {"JieMian2/all_on.html", "11111111111111111111",
       "C1 C2 C3 C4 C5 C6 C7 C8 C9 C10 C11 C12 "},
      {"JieMian2/empty.html", "", ""},
      {"JieMian2/short.html", "0110", "C2 C3 "},
  };
  for (const auto& c : cases) {
    ShowWithOptions(c.infostyle);
    testing::ExpectGolden(c.golden, page().body);
    EXPECT_EQ(Ticked(), c.ticked) << c.infostyle;
  }
}

TEST_F(DisplaySettingsTest, MissingOptionStringShowsEveryBoxOff) {
  Seed("update user set infostyle = null where name = 'abc'");
  book().JieMian2();
  EXPECT_EQ(Ticked(), "");
  EXPECT_TRUE(page().body.ends_with("</form>"));
}

TEST_F(DisplaySettingsTest, StoredCaptionsFillTheEntries) {
  Seed("update user set infomail = '', infooicq = 'it''s <b>QQ</b>' where name = 'abc'");
  book().JieMian2();
  const std::string& body = page().body;
  EXPECT_NE(body.find("name=\"infoname\" size=\"65\" value='<font "
                      "color=\"red\">网名</font>'><br>"),
            std::string::npos);
  EXPECT_NE(body.find("name=\"infomail\" size=\"65\" value=''><br>"), std::string::npos);
  // A quote that did not come through a save cannot end the attribute.
  EXPECT_NE(body.find("name=\"infooicq\" size=\"65\" value='it&#39;s <b>QQ</b>'><br>"),
            std::string::npos);
}

TEST_F(DisplaySettingsTest, SavesCaptionsAndOptions) {
  const auto before = Row();
  const auto other = Row("x_9");
  Post({{"infoname", "  <font color=\"blue\">昵称</font>  "},
        {"infomail", " it's  'mail' "},
        {"infohomepage", ""},
        {"infowhere", " ' 来自 "},
        {"infooicq", "''"},
        {"infosubject", "题目"},
        {"C1", "1"},
        {"C2", " 1 "},
        {"C3", "on"},
        {"C5", "1"},
        {"C12", "1"}});
  book().JieMian2Check();
  EXPECT_EQ(page().body, "用户：abc留言板“发表留言”界面设置修改成功！");
  const auto after = Row();
  EXPECT_EQ(after.at("infoname"), "<font color=\"blue\">昵称</font>");
  EXPECT_EQ(after.at("infomail"), "its  mail");
  EXPECT_EQ(after.at("infohomepage"), "");
  EXPECT_EQ(after.at("infowhere"), " 来自");  // trimmed before the quote goes
  EXPECT_EQ(after.at("infooicq"), "");
  EXPECT_EQ(after.at("infosubject"), "题目");
  EXPECT_EQ(after.at("infostyle"), "11001000000101111111");
  EXPECT_EQ(after.at("modifytime"), "2026-03-05 14:07:09");
  EXPECT_EQ(after.at("ip"), "10.1.2.3");
  ExpectOnlyChanged(before, after,
                    {"modifytime", "ip", "infoname", "infomail", "infohomepage",
                     "infowhere", "infooicq", "infosubject", "infostyle"});
  EXPECT_EQ(Row("x_9"), other);
}

TEST_F(DisplaySettingsTest, OptionStrings) {
  testing::Fields all;
  for (std::string_view name : kBoxes) all.push_back({std::string(name), "1"});
  testing::Fields with_c13 = {{"c13", "1"}, {"c4", "1"}};
  const std::pair<testing::Fields, const char*> cases[] = {
      {{}, "00000000000001111111"},
      {all, "11111111111101111111"},
      {with_c13, "00010000000011111111"},
      {{{"C7", "1, 1"}}, "00000000000001111111"},
  };
  for (const auto& [form, want] : cases) {
    Post(form);
    book().JieMian2Check();
    EXPECT_EQ(Column("infostyle"), want);
  }
}

TEST_F(DisplaySettingsTest, SavedValuesShowAgain) {
  Post({{"infoname", "名'字"}, {"C9", "1"}, {"C10", "1"}});
  book().JieMian2Check();
  NextRequest();
  book().JieMian2();
  EXPECT_EQ(Ticked(), "C9 C10 ");
  EXPECT_NE(page().body.find("value='名字'><br>"), std::string::npos);
}

}  // namespace
}  // namespace tb
