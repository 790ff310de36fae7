#include <gtest/gtest.h>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

class LegacyBasicFormTest : public testing::SettingsTest {
 protected:
  LegacyBasicFormTest() { LogIn(); }
};

// The stored category comes first, selected, and again among the fixed ones;
// the choices start the same whatever the row holds; quotes in stored values
// cannot end their attributes.
TEST_F(LegacyBasicFormTest, FormGoldens) {
  book().JieMian1_bak();
  testing::ExpectGolden("JieMian1_bak/stored_category.html", page().body);
  Seed(
      "update user set titletop = null, topimage = '', backimage = null, infolistno = "
      "null, nettype = null, homepage = '' where name = 'abc'");
  NextRequest();
  book().JieMian1_bak();
  testing::ExpectGolden("JieMian1_bak/empty_values.html", page().body);
  Seed(
      "update user set titletop = '<font color=\"red\">Tom''s</font>', homepage = "
      "'http://a.example/\" onmouseover=\"x', nettype = '<b>\"类\"</b>' where name = "
      "'abc'");
  NextRequest();
  book().JieMian1_bak();
  testing::ExpectGolden("JieMian1_bak/quotes.html", page().body);
}

}  // namespace
}  // namespace tb
