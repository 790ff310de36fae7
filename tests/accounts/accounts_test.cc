// Registration, login, the lost password and the deletion of a guestbook or
// its messages: each case a request, a line of tests/cases/accounts/, its
// outcome a section of a golden file of the same name. Passwords kept as
// hashes, and kept as typed: every operation that compares or shows a
// password, with the setting off and on, over a store converted from plain
// text (tests/cases/accounts/password_hash.txt); registration and the
// confirmation of an address are followed through the running site
// (tests/server/mail_test.cc).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "component/members/members.h"
#include "component/password_hash.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

// The guestbooks "abc" (with its hint and identity card), "admin" and "x_9";
// two messages of "abc" and one of "x_9" (tests/cases/accounts/books.txt).
class AccountsTest : public CaseTest {
 protected:
  AccountsTest() { SeedFile("accounts/books.txt"); }
};

constexpr std::string_view kBooksAndMessages =
    "select name from user order by id; select name from liuyan order by id; "
    "select infoserial from user order by id";

TEST_F(AccountsTest, LostPassword) {
  ExpectGolden("accounts/lost_password.txt", RunAll("accounts/lost_password.txt"));
}

TEST_F(AccountsTest, Login) {
  Seed("insert into user(name, password, titletop) values ('a\"b<c', 'pass1', 'T')");
  ExpectGolden("accounts/login.txt", RunAll("accounts/login.txt"));
}

TEST_F(AccountsTest, DeleteBookOrMessages) {
  for (const std::string name :
       {"delete_book", "delete_book_refused", "delete_messages", "delete_book_failed"}) {
    ClearStore();
    SeedFile("accounts/books.txt");
    if (name == "delete_book_failed") RefuseWrites("liuyan", "delete");
    ExpectGolden("accounts/" + name + ".txt",
                 RunAll("accounts/" + name + ".txt", kBooksAndMessages));
  }
}

TEST_F(AccountsTest, Register) {
  Seed("delete from user");
  base_ = ReadCases("accounts/register_form.txt").at(0).fields;
  ExpectGolden(
      "accounts/register.txt",
      RunAll("accounts/register.txt",
             "select name || '|' || password || '|' || email || '|' || homepage || "
             "'|' || regtime || '|' || ip || '|' || html || '|' || titletop || '|' "
             "|| question || '|' || answer || '|' || idcard || '|' || nettype || "
             "'|' || counter || '|' || infoserial || '|' || hascrc || '|' || "
             "topformat || '|' || crccode from user"));
  // A fresh code in 111111..999999 is drawn on every call.
  const std::string first = Scalar("select crccode from user");
  Seed("delete from user");
  Fields form;
  for (const std::string& field : base_)
    std::ranges::copy(FieldsOf(field), std::back_inserter(form));
  Request({}, form);
  page().random.seed(7);
  book().RegCheck();
  const Value code = page().Get("tom_1reg_check_crccode");
  EXPECT_EQ(Scalar("select crccode from user"), code.Text());
  EXPECT_NE(code.Text(), first);
  EXPECT_GE(*code.Whole(), 111111);
  EXPECT_LE(*code.Whole(), 999999);
}

class PasswordHashTest : public AccountsTest {
 protected:
  // One request to `member` with hashing on or off; returns the body.
  std::string Call(std::string_view member, const Fields& query, const Fields& form,
                   bool hashing) {
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
    for (const Case& c : ReadCases("accounts/password_hash.txt")) {
      if (c[1] != "-") LogIn(c[1]);
      const std::string body = Call(c[0], FieldsOf(c[2]), FieldsOf(c[3]), hashing);
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
}  // namespace tb::testing
