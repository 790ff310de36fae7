// Passwords kept as hashes, and kept as typed: every operation that compares
// or shows a password, with the setting off and on, over a store converted
// from plain text. Registration and the confirmation of an address are
// followed through the running site (tests/server/mail_test.cc).
#include "component/password_hash.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

class PasswordHashTest : public testing::AccountsTest {
 protected:
  // One request to `member` with hashing as `hashing_`; returns the body.
  std::string Call(void (Guestbook::*member)(), const testing::Fields& query,
                   const testing::Fields& form = {}) {
    Request(query, form);
    book().SetPasswordHashing(hashing_);
    (book().*member)();
    return page().body;
  }
  std::string Stored(const std::string& name) {
    return Scalar("select password from user where name = '" + name + "'");
  }
  bool hashing_ = false;
};

TEST_F(PasswordHashTest, EveryComparisonWorksWithHashingOffAndOn) {
  for (bool hashing : {false, true}) {
    SCOPED_TRACE(hashing ? "hashed" : "plain");
    hashing_ = hashing;
    if (hashing) {
      // An old store is converted once, whole; a second run finds nothing.
      data::Connection conn(pool());
      conn.Open(dsn());
      EXPECT_EQ(passwords::HashPlainPasswords(conn), 3u);
      EXPECT_EQ(passwords::HashPlainPasswords(conn), 0u);
      for (const char* name : {"abc", "admin", "x_9"})
        EXPECT_TRUE(passwords::IsPasswordHash(Stored(name))) << name;
    }
    struct Case {
      void (Guestbook::*member)();
      std::string name, password, want;
    } cases[] = {
        {&Guestbook::AdminLogin, "abc", "Wrong1", "密码错误"},
        {&Guestbook::AdminLogin, "abc", "Secret1", "登陆成功"},
        {&Guestbook::UserDelMe, "x_9", "Other9", "你填写的信息不正确，用户注销失败！"},
        {&Guestbook::UserDelMe, "x_9", "other9", "用户：x_9注销成功！"},
    };
    for (const Case& c : cases) {
      const testing::Fields form = {
          {"name", c.name}, {"password", c.password}, {"email", "x9@x.example"}};
      EXPECT_NE(Call(c.member, {}, form).find(c.want), std::string::npos) << c.want;
    }
    EXPECT_EQ(SessionText("ly_name"), "abc");

    // The owner's new password is stored hashed or as typed; the old one is
    // verified either way.
    Call(&Guestbook::JieMian3Check, {},
         {{"oldPassWord", "Secret1"}, {"PassWord", "Newer22"}, {"PassWord2", "Newer22"}});
    EXPECT_NE(page().body.find("修改信息成功！"), std::string::npos);
    EXPECT_EQ(passwords::IsPasswordHash(Stored("abc")), hashing);
    EXPECT_TRUE(passwords::PasswordMatches(Stored("abc"), "Newer22"));

    // The superuser's look-up shows no hash; a lost password shows the stored
    // one, or sets a new one of 10 characters when it cannot be shown.
    LogIn("admin");
    const std::string shown = Call(&Guestbook::GetPassWord, {}, {{"name", "abc"}});
    EXPECT_NE(shown.find(hashing ? ">（已加密保存）<" : ">Newer22<"), std::string::npos);
    const std::string lost = Call(&Guestbook::LostPassCheck, {{"name", "abc"}},
                                  {{"answer", "Mimi"}, {"idcard", "110101199001011234"}});
    const std::string& drawn = book().outcome().new_password;
    EXPECT_EQ(lost, hashing ? "你的新密码是：" + drawn : "你的密码是：Newer22");
    EXPECT_EQ(drawn.size(), hashing ? 10u : 0u);
    if (hashing) {
      EXPECT_TRUE(passwords::PasswordMatches(Stored("abc"), drawn));
      EXPECT_EQ(book().outcome().owner_email, "abc@x.example");
    }
    Seed("update user set password = 'Secret1' where name = 'abc'");
    Seed(
        "insert into user(name, password, email) values ('x_9', 'other9', "
        "'x9@x.example')");
  }
}

}  // namespace
}  // namespace tb
