#include <gtest/gtest.h>

#include <string>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

constexpr std::string_view kWrongOld = "原始密码错误！<br>";
constexpr std::string_view kSaved =
    "<p align=\"center\">用户：abc&nbsp;&nbsp;修改信息成功！</p>";

class AccountSettingsTest : public testing::SettingsTest {
 protected:
  AccountSettingsTest() { LogIn(); }

  // Posts the three password fields (the old one right, the new one
  // "NewPass1" twice) with `changes` and `extra` fields applied.
  void Save(const testing::Fields& changes = {}) {
    testing::Fields form = {
        {"oldpassword", "Secret1"},
        {"password", "NewPass1"},
        {"password2", "NewPass1"},
        {"question", ""},
        {"answer", ""},
        {"idcard", ""},
        {"email", ""},
    };
    for (const auto& [k, v] : changes) {
      for (auto& field : form) {
        if (field.first == k) field.second = v;
      }
    }
    Post(form);
    book().JieMian3Check();
  }
};

TEST_F(AccountSettingsTest, FormGolden) {
  book().JieMian3();
  testing::ExpectGolden("JieMian3/form.html", page().body);
}

TEST_F(AccountSettingsTest, PasswordAloneChangesPasswordAddressAndTime) {
  const auto before = Row();
  const auto other = Row("x_9");
  Save({{"oldpassword", " Secret1 "}, {"password", " NewPass1"}});
  EXPECT_EQ(page().body, kSaved);
  const auto after = Row();
  EXPECT_EQ(after.at("password"), "NewPass1");
  EXPECT_EQ(after.at("ip"), "10.1.2.3");
  EXPECT_EQ(after.at("modifytime"), "2026-03-05 14:07:09");
  ExpectOnlyChanged(before, after, {"password", "ip", "modifytime"});
  EXPECT_EQ(Row("x_9"), other);
  // The login stays; the new password is the one to give next time.
  EXPECT_EQ(page().Get("ly_log").Text(), "yes");
  Save({{"oldpassword", "Secret1"}});
  EXPECT_EQ(page().body, Report({}, kWrongOld));
}

TEST_F(AccountSettingsTest, RefusedFormsListEveryFailureInOrder) {
  const std::string question60(60, 'q');
  struct Case {
    testing::Fields changes;
    std::initializer_list<int> messages;
    std::string_view extra;
  } cases[] = {
      {{{"password2", "NewPass2"}}, {4}, ""},
      {{{"password", "NewPass1 "}, {"password2", "NewPass1 "}}, {4}, ""},
      {{{"password", "New'Pass"}, {"password2", "New'Pass"}}, {3}, ""},
      {{{"password", "abc"}, {"password2", "abc"}}, {3}, ""},
      {{{"oldpassword", ""}}, {3}, kWrongOld},
      {{{"oldpassword", "Sec>et1"}}, {3}, kWrongOld},
      {{{"password", "ab>c"}, {"password2", "ab>c"}, {"oldpassword", "x"}},
       {3, 3},
       kWrongOld},
      {{{"oldpassword", "secret1"}}, {}, kWrongOld},
      {{{"oldpassword", "Secret2"}}, {}, kWrongOld},
      {{{"question", question60}}, {9}, ""},
      {{{"answer", std::string(51, 'a')}}, {10}, ""},
      {{{"idcard", "abcdefghijklmnop"}}, {11, 11}, ""},
      {{{"idcard", "12345678901234567"}}, {11}, ""},
      {{{"idcard", "12345678901234X"}}, {11}, ""},
      {{{"idcard", "1234567890123456789"}}, {11}, ""},
      {{{"email", "abc"}}, {5}, ""},
      {{{"email", "a@b@c.example"}}, {5}, ""},
      {{{"password", "x"},
        {"password2", "y"},
        {"oldpassword", "z"},
        {"question", question60},
        {"answer", std::string(60, 'a')},
        {"idcard", "abc"},
        {"email", "@x.example"}},
       {3, 4, 3, 9, 10, 11, 11, 5},
       kWrongOld},
  };
  const auto before = Row();
  for (const auto& c : cases) {
    Save(c.changes);
    EXPECT_EQ(page().body, Report(c.messages, c.extra))
        << c.changes.front().first << "=" << c.changes.front().second;
  }
  EXPECT_EQ(Row(), before);
}

TEST_F(AccountSettingsTest, RefusedFormGoldens) {
  Save({{"password", "ab>c"}, {"password2", "ab>c"}, {"oldpassword", "x"}});
  testing::ExpectGolden("JieMian3Check/bad_new_and_old.html", page().body);
  Save({{"idcard", "abcdefghijklmnop"}});
  testing::ExpectGolden("JieMian3Check/idcard_letters.html", page().body);
}

TEST_F(AccountSettingsTest, HintAndIdentityCard) {
  struct Case {
    const char* question;
    const char* answer;
    const char* idcard;
    const char* want_question;
    const char* want_answer;
    const char* want_idcard;
  } cases[] = {
      // All three given: all three stored, marks made full-width.
      {" I'm <1> ", " a\\b ", " 123456789012345 ", "I’m 〈1〉", "a＼b",
       "123456789012345"},
      {"问题是什么", "回答", "110101199001011234", "问题是什么", "回答",
       "110101199001011234"},
      // Without an identity card number, or without an answer, nothing.
      {"新问题", "新回答", "", "我的猫叫什么？", "Mimi", "110101199001011234"},
      {"新问题", "", "123456789012345", "我的猫叫什么？", "Mimi", "110101199001011234"},
      // An empty question keeps the stored one.
      {"", "新回答", "123456789012345", "我的猫叫什么？", "新回答", "123456789012345"},
  };
  for (const auto& c : cases) {
    Seed(
        "update user set password = 'Secret1', question = '我的猫叫什么？', answer = "
        "'Mimi', "
        "idcard = "
        "'110101199001011234' where name = 'abc'");
    const auto before = Row();
    Save({{"question", c.question}, {"answer", c.answer}, {"idcard", c.idcard}});
    EXPECT_EQ(page().body, kSaved) << c.question;
    const auto after = Row();
    EXPECT_EQ(after.at("question"), c.want_question);
    EXPECT_EQ(after.at("answer"), c.want_answer);
    EXPECT_EQ(after.at("idcard"), c.want_idcard);
    ExpectOnlyChanged(before, after,
                      {"password", "ip", "modifytime", "question", "answer", "idcard"});
  }
}

TEST_F(AccountSettingsTest, EmailChangeUnconfirmsTheAddress) {
  struct Case {
    const char* email;
    const char* want_email;
    const char* want_hascrc;
  } cases[] = {
      {"", "abc@x.example", "1"},
      {" abc@x.example ", "abc@x.example", "1"},  // the stored address again
      {" new@x.example ", "new@x.example", "0"},
      {"ABC@x.example", "ABC@x.example", "0"},
      {"o'neil@x.example", "o'neil@x.example", "0"},
  };
  for (const auto& c : cases) {
    Seed(
        "update user set password = 'Secret1', email = 'abc@x.example', hascrc = '1' "
        "where name = 'abc'");
    const auto before = Row();
    Save({{"email", c.email}});
    EXPECT_EQ(page().body, kSaved) << c.email;
    const auto after = Row();
    EXPECT_EQ(after.at("email"), c.want_email);
    EXPECT_EQ(after.at("hascrc"), c.want_hascrc);
    // A new address draws a new code, stored and left for the page to mail.
    const auto& confirm = book().outcome().confirm;
    ASSERT_EQ(confirm.has_value(), *c.want_hascrc == '0') << c.email;
    EXPECT_EQ(after.at("crccode"), confirm ? confirm->code : before.at("crccode"));
    if (confirm) {
      EXPECT_EQ(confirm->email + confirm->name, c.want_email + std::string("abc"));
    }
    ExpectOnlyChanged(before, after,
                      {"password", "ip", "modifytime", "email", "hascrc", "crccode"});
  }
}

TEST_F(AccountSettingsTest, EverythingAtOnce) {
  const auto before = Row();
  Save({{"question", "Q's?"},
        {"answer", "A"},
        {"idcard", "123456789012345"},
        {"email", "all@x.example"}});
  EXPECT_EQ(page().body, kSaved);
  const auto after = Row();
  EXPECT_EQ(after.at("question"), "Q’s?");
  EXPECT_EQ(after.at("email"), "all@x.example");
  EXPECT_EQ(after.at("hascrc"), "0");
  EXPECT_EQ(after.at("password"), "NewPass1");
  ExpectOnlyChanged(before, after,
                    {"password", "ip", "modifytime", "question", "answer", "idcard",
                     "email", "hascrc", "crccode"});
}

}  // namespace
}  // namespace tb
