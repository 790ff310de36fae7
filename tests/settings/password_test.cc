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

  // Posts the old password right and "NewPass1" twice, the other fields
  // empty, with `changes` applied.
  void Save(const testing::Fields& changes = {}) {
    Post(testing::WithChanges({{"oldpassword", "Secret1"},
                               {"password", "NewPass1"},
                               {"password2", "NewPass1"},
                               {"question", ""},
                               {"answer", ""},
                               {"idcard", ""},
                               {"email", ""}},
                              changes));
    book().JieMian3Check();
  }
};

TEST_F(AccountSettingsTest, PasswordAloneChangesPasswordAddressAndTime) {
  book().JieMian3();
  testing::ExpectGolden("JieMian3/form.html", page().body);
  const auto before = Row();
  const auto other = Row("x_9");
  Save({{"oldpassword", " Secret1 "}, {"password", " NewPass1"}});
  EXPECT_EQ(page().body, kSaved);
  ExpectRow(before, Row(),
            {{"password", "NewPass1"},
             {"ip", "10.1.2.3"},
             {"modifytime", "2026-03-05 14:07:09"}});
  EXPECT_EQ(Row("x_9"), other);
  // The login stays; the new password is the one to give next time.
  EXPECT_EQ(SessionText("ly_log"), "yes");
  Save();
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
      {{{"oldpassword", "secret1"}}, {}, kWrongOld},
      {{{"question", question60}}, {9}, ""},
      {{{"answer", std::string(51, 'a')}}, {10}, ""},
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
  Save({{"password", "ab>c"}, {"password2", "ab>c"}, {"oldpassword", "x"}});
  testing::ExpectGolden("JieMian3Check/bad_new_and_old.html", page().body);
  Save({{"idcard", "abcdefghijklmnop"}});
  testing::ExpectGolden("JieMian3Check/idcard_letters.html", page().body);
  EXPECT_EQ(Row(), before);
}

// The hint and identity card change only all three together (an empty
// question keeps the stored one), their marks made full-width; a new e-mail
// address unconfirms the account and draws a new code, stored and left for
// the page to mail.
TEST_F(AccountSettingsTest, HintIdentityCardAndEmail) {
  struct Case {
    testing::Fields form;
    testing::StoredRow changes;
  } cases[] = {
      {{{"question", " I'm <1> "}, {"answer", " a\\b "}, {"idcard", " 123456789012345 "}},
       {{"question", "I’m 〈1〉"}, {"answer", "a＼b"}, {"idcard", "123456789012345"}}},
      {{{"question", "新问题"}, {"answer", "新回答"}}, {}},
      {{{"question", "新问题"}, {"idcard", "123456789012345"}}, {}},
      {{{"answer", "新回答"}, {"idcard", "110101199001011299"}},
       {{"answer", "新回答"}, {"idcard", "110101199001011299"}}},
      {{{"email", " abc@x.example "}}, {}},  // the stored address again
      {{{"email", " new@x.example "}}, {{"email", "new@x.example"}, {"hascrc", "0"}}},
      {{{"email", "ABC@x.example"}}, {{"email", "ABC@x.example"}, {"hascrc", "0"}}},
      {{{"email", "o'neil@x.example"}}, {{"email", "o'neil@x.example"}, {"hascrc", "0"}}},
      {{{"question", "Q's?"},
        {"answer", "A"},
        {"idcard", "123456789012345"},
        {"email", "all@x.example"}},
       {{"question", "Q’s?"},
        {"answer", "A"},
        {"idcard", "123456789012345"},
        {"email", "all@x.example"},
        {"hascrc", "0"}}},
  };
  for (auto& c : cases) {
    Seed(
        "update user set password = 'Secret1', email = 'abc@x.example', hascrc = '1', "
        "question = '我的猫叫什么？', answer = 'Mimi', idcard = '110101199001011234' "
        "where name = 'abc'");
    const auto before = Row();
    Save(c.form);
    EXPECT_EQ(page().body, kSaved) << c.form.front().second;
    c.changes.merge(testing::StoredRow{{"password", "NewPass1"},
                                       {"ip", "10.1.2.3"},
                                       {"modifytime", "2026-03-05 14:07:09"}});
    const auto& confirm = book().outcome().confirm;
    ASSERT_EQ(confirm.has_value(), c.changes.contains("hascrc")) << c.form.front().second;
    if (confirm) {
      c.changes["crccode"] = confirm->code;
      EXPECT_EQ(confirm->email + confirm->name, c.changes.at("email") + "abc");
    }
    ExpectRow(before, Row(), c.changes);
  }
}

}  // namespace
}  // namespace tb
