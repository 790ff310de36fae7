#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

class DisplaySettingsTest : public testing::SettingsTest {
 protected:
  DisplaySettingsTest() { LogIn(); }

  void Show(std::string_view update) {
    Seed("update user set " + std::string(update) + " where name = 'abc'");
    NextRequest();
    book().JieMian2();
  }
};

// The boxes ticked from the option string (a short or missing one leaves the
// rest off), and the stored captions written into their entries, a quote that
// did not come through a save unable to end the attribute.
TEST_F(DisplaySettingsTest, FormGoldens) {
  const std::pair<const char*, const char*> cases[] = {
      {"JieMian2/first_and_third.html", "infostyle = '10100000000011111111'"},
      {"JieMian2/all_on.html", "infostyle = '11111111111111111111'"},
      {"JieMian2/empty.html", "infostyle = ''"},
      {"JieMian2/empty.html", "infostyle = null"},
      {"JieMian2/short.html", "infostyle = '0110'"},
      {"JieMian2/captions.html", "infomail = '', infooicq = 'it''s <b>QQ</b>'"},
  };
  for (const auto& [golden, update] : cases) {
    Show(update);
    testing::ExpectGolden(golden, page().body);
  }
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
  ExpectRow(before, Row(),
            {{"infoname", "<font color=\"blue\">昵称</font>"},
             {"infomail", "its  mail"},
             {"infohomepage", ""},
             {"infowhere", " 来自"},  // trimmed before the quote goes
             {"infooicq", ""},
             {"infosubject", "题目"},
             {"infostyle", "11001000000101111111"},
             {"modifytime", "2026-03-05 14:07:09"},
             {"ip", "10.1.2.3"}});
  EXPECT_EQ(Row("x_9"), other);
  // The saved values show in the form.
  NextRequest();
  book().JieMian2();
  testing::ExpectGolden("JieMian2/saved.html", page().body);
}

TEST_F(DisplaySettingsTest, OptionStrings) {
  testing::Fields all;
  for (int i = 1; i <= 12; ++i) all.push_back({"C" + std::to_string(i), "1"});
  const std::pair<testing::Fields, const char*> cases[] = {
      {{}, "00000000000001111111"},
      {all, "11111111111101111111"},
      {{{"c13", "1"}, {"c4", "1"}}, "00010000000011111111"},
      {{{"C7", "1, 1"}}, "00000000000001111111"},
  };
  for (const auto& [form, want] : cases) {
    Post(form);
    book().JieMian2Check();
    EXPECT_EQ(Column("infostyle"), want);
  }
}

}  // namespace
}  // namespace tb
