#include <gtest/gtest.h>

#include <string>

#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

constexpr std::string_view kNoHint =
    "用户注册时没有填写密码提示或密码回答，找回密码失败！";
constexpr std::string_view kWrong = "你填写的信息不正确,找回密码失败！";

class LostPassTest : public testing::AccountsTest {
 protected:
  LostPassTest() { SeedBooks(); }
  void Ask(const std::string& name) {
    Request({}, {{"name", name}});
    book().LostPass();
  }
  void Answer(const std::string& name, const std::string& answer,
              const std::string& idcard) {
    Request({{"name", name}}, {{"answer", answer}, {"idcard", idcard}});
    book().LostPassCheck();
  }
};

// The form shows the stored question as stored, and the name as typed,
// escaped.
TEST_F(LostPassTest, FormGoldens) {
  Ask(" abc ");
  testing::ExpectGolden("accounts/LostPass/form.html", page().body);
  Seed("update user set question = 'A&B <i>?</i>' where name = 'abc'");
  Ask("ABC");
  testing::ExpectGolden("accounts/LostPass/form_as_stored.html", page().body);
  Seed(
      "insert into user(name, password, question, answer) values ('a\"b', 'p', 'q?q', "
      "'ans')");
  Ask("a\"b");
  testing::ExpectGolden("accounts/LostPass/form_escaped_name.html", page().body);
}

TEST_F(LostPassTest, FormRefusals) {
  struct Case {
    std::string name, question, answer;
    std::string_view want;  // empty: the form is written
  } cases[] = {
      {"nobody", "问题？", "答案答案", "请检查用户名是否正确或用户不存在!"},
      {"admin", "问题？", "答案答案", kNoHint},  // registered without a hint
      {"abc", "ab", "Mimi", kNoHint},
      {"abc", "我的猫", "ab", kNoHint},
      {"abc", "我的猫", "猫猫猫", ""},  // three characters pass
  };
  for (const auto& c : cases) {
    Seed("update user set question = '" + c.question + "', answer = '" + c.answer +
         "' where name = 'abc'");
    Ask(c.name);
    if (c.want.empty()) {
      EXPECT_TRUE(page().body.starts_with("<p></p><form")) << c.question;
    } else {
      EXPECT_EQ(page().body, c.want) << c.name << " " << c.question << " " << c.answer;
    }
  }
}

TEST_F(LostPassTest, CheckShowsThePasswordOnlyForBothProofs) {
  struct Case {
    std::string name, answer, idcard;
    std::string want;
  } cases[] = {
      {"abc", "Mimi", "110101199001011234", "你的密码是：Secret1"},
      {" abc ", "  Mimi ", " 110101199001011234  ", "你的密码是：Secret1"},
      {"x_9", "xyz", "123456789012345", "你的密码是：other9"},
      {"abc", "Mimi", "110101199001011235", std::string(kWrong)},
      {"abc", "Mim", "110101199001011234", std::string(kWrong)},
      {"abc", "mimi", "110101199001011234", std::string(kWrong)},  // case counts
      {"abc", "", "", std::string(kWrong)},
      {"nobody", "Mimi", "110101199001011234", "请检查用户名是否正确"},
      {"admin", "", "", std::string(kNoHint)},
  };
  for (const auto& c : cases) {
    Answer(c.name, c.answer, c.idcard);
    EXPECT_EQ(page().body, c.want) << c.name << "/" << c.answer << "/" << c.idcard;
  }
  // A missing identity card number never matches.
  for (const char* stored : {"null", "''"}) {
    Seed(std::string("update user set idcard = ") + stored + " where name = 'abc'");
    Answer("abc", "Mimi", "");
    EXPECT_EQ(page().body, kWrong) << stored;
  }
}

}  // namespace
}  // namespace tb
