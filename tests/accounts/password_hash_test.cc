// Passwords kept as hashes, and kept as typed: every operation that compares
// or shows a password, with the setting off and on, over a store converted
// from plain text (tests/cases/accounts/password_hash.txt). Registration and
// the confirmation of an address are followed through the running site
// (tests/server/mail_test.cc).
#include "component/password_hash.h"

#include <gtest/gtest.h>

#include <string>

#include "component/members/members.h"
#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

class PasswordHashTest : public testing::AccountsTest {
 protected:
  // One request to `member` with hashing on or off; returns the body.
  std::string Call(std::string_view member, const testing::Fields& query,
                   const testing::Fields& form, bool hashing) {
    Request(query, form);
    book().SetPasswordHashing(hashing);
    std::vector<Value> args;
    FindMember(member)->invoke(book(), args);
    return page().body;
  }
  std::string Stored(const std::string& name) {
    return Scalar("select password from user where name = '" + name + "'");
  }
};

TEST_F(PasswordHashTest, EveryComparisonWorksWithHashingOffAndOn) {
  for (bool hashing : {false, true}) {
    SCOPED_TRACE(hashing ? "hashed" : "plain");
    if (hashing) {
      // An old store is converted once, whole; a second run finds nothing.
      data::Connection conn(pool());
      conn.Open(dsn());
      EXPECT_EQ(passwords::HashPlainPasswords(conn), 3u);
      EXPECT_EQ(passwords::HashPlainPasswords(conn), 0u);
      for (const char* name : {"abc", "admin", "x_9"})
        EXPECT_TRUE(passwords::IsPasswordHash(Stored(name))) << name;
    }
    for (const testing::Case& c : testing::ReadCases("accounts/password_hash.txt")) {
      if (c[1] != "-") LogIn(c[1]);
      const std::string body =
          Call(c[0], testing::FieldsOf(c[2]), testing::FieldsOf(c[3]), hashing);
      EXPECT_NE(body.find(c[hashing ? 5 : 4]), std::string::npos) << c.line;
      if (c[0] == "JieMian3Check") {
        EXPECT_EQ(passwords::IsPasswordHash(Stored("abc")), hashing);
        EXPECT_TRUE(passwords::PasswordMatches(Stored("abc"), "Newer22"));
      }
    }
    // A lost password shows the stored one, or sets a new one of 10
    // characters when it cannot be shown.
    const std::string lost =
        Call("LostPassCheck", {{"name", "abc"}},
             {{"answer", "Mimi"}, {"idcard", "110101199001011234"}}, hashing);
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
