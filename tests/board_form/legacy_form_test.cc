// The older message form (Add_bak).
#include <gtest/gtest.h>

#include "tests/board_form/form_fixture.h"

namespace tb::testing {
namespace {

class AddBakTest : public FormTest {
 protected:
  AddBakTest() { base_ = {}; }
};

TEST_F(AddBakTest, EverythingOrNothingOffered) {
  ExpectGolden("Add_bak/pages.txt", RunAll("board_form/add_bak_pages.txt"));
}

TEST_F(AddBakTest, FormVariants) {
  base_ = {"?name=abc"};
  std::string log;
  for (const Case& c : ReadCases("board_form/add_bak_variants.txt")) {
    Run(c);
    const std::size_t form = page().body.find("<form");
    log += "## " + c.line + "\n" +
           page().body.substr(form, page().body.find("</form>") - form) + "\n";
  }
  ExpectGolden("Add_bak/variants.txt", log);
}

// The key and the flag are set before the name is looked at
// (tests/cases/board_form/add_bak_names.txt); the oldest messages above
// MaxNum go.
TEST_F(AddBakTest, NameRulesAndPrune) {
  Seed("insert into user(name, infostyle) values ('a', '0')");
  ExpectGolden("Add_bak/names.txt", RunAll("board_form/add_bak_names.txt"));
  SeedMessages("abc", 6);
  Call("Add_bak", {"?name=abc", "@MaxNum=#5"});
  EXPECT_EQ(Count("select * from liuyan"), 0);
}

}  // namespace
}  // namespace tb::testing
