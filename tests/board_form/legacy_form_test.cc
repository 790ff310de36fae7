// The older message form (Add_bak).
#include <gtest/gtest.h>

#include "tests/board_form/form_fixture.h"

namespace tb::testing {
namespace {

const std::vector<std::string> kPoster = {
    "?name=abc",           "cookie:ly_name=小明",  "cookie:ly_email=ming@example.cn",
    "cookie:ly_guo=中国",  "cookie:ly_sheng=广东", "cookie:ly_zhuye=http://ming.example/",
    "cookie:ly_xian=广州", "cookie:ly_oicq=12345"};

class AddBakTest : public FormTest {
 protected:
  AddBakTest() { base_ = {}; }
};

TEST_F(AddBakTest, EverythingOfferedAndPrefilled) {
  Seed("update user set topformat = '0', infostyle = '11111111111111111111'");
  std::vector<std::string> fields = kPoster;
  fields.insert(fields.end(), {"?reply=1", "?replyid=7", "?replysubject=回复：问候",
                               "?replyemail=ming@example.cn"});
  Call("Add_bak", fields);
  EXPECT_EQ(page().redirect, std::nullopt);
  ExpectGolden("Add_bak/all_on.html", page().body);
  const Value key = page().Get("ly_fgs");
  ASSERT_TRUE(key.IsNumber());
  EXPECT_NE(page().body.find("&key2=" + key.Text() + "\">"), std::string::npos);
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  EXPECT_EQ(page().session_values.count("abcfgs"), 0u);
}

TEST_F(AddBakTest, NothingOfferedTextOnlyTitleImage) {
  // Only the poster's name shows: no optional field is offered.
  Seed(
      "update user set topformat = '1', topimage = 'http://img.example/t.gif', "
      "infostyle = '00000000000000000000', html = '0'");
  Call("Add_bak", kPoster);
  ExpectGolden("Add_bak/all_off.html", page().body);
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

// The key and the flag are set before the name is looked at; the oldest
// messages above MaxNum go.
TEST_F(AddBakTest, NameRulesAndPrune) {
  Seed("insert into user(name, infostyle) values ('a', '0')");
  const std::pair<const char*, bool> cases[] = {{"a", false},
                                                {"  a ", false},
                                                {"", true},
                                                {"a234567890123456", true},
                                                {"nobody", true}};
  for (const auto& [name, refused] : cases) {
    Call("Add_bak", {"?name=" + std::string(name)});
    EXPECT_EQ(page().redirect.value_or("-"), refused ? "user_name_error.asp" : "-")
        << name;
    if (refused) {
      EXPECT_EQ(page().body, "") << name;
    }
    EXPECT_TRUE(page().Get("ly_fgs").IsNumber()) << name;
    EXPECT_EQ(page().Get("ly_tijiao"), Value("0")) << name;
  }
  SeedMessages("abc", 6);
  Call("Add_bak", {"?name=abc", "@MaxNum=#5"});
  EXPECT_EQ(Count("select * from liuyan"), 0);
}

}  // namespace
}  // namespace tb::testing
