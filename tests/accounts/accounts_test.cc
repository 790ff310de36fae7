// Registration, login, the lost password and the deletion of a guestbook or
// its messages: each case a request, a line of tests/cases/accounts/, its
// outcome a section of a golden file of the same name.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "tests/accounts/accounts_fixture.h"

namespace tb::testing {
namespace {

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
  for (const char* name : {"delete_book", "delete_book_refused", "delete_messages"}) {
    ClearStore();
    SeedBooks();
    ExpectGolden("accounts/" + std::string(name) + ".txt",
                 RunAll("accounts/" + std::string(name) + ".txt", kBooksAndMessages));
  }
  ClearStore();
  SeedBooks();
  RefuseWrites("liuyan", "delete");
  ExpectGolden("accounts/delete_book_failed.txt",
               RunAll("accounts/delete_book_failed.txt", kBooksAndMessages));
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

}  // namespace
}  // namespace tb::testing
