// File: accounts_fixture.h — what the account tests share: the guestbooks
// "abc" (with its hint and identity card), "admin" and "x_9"; two messages of
// "abc" and one of "x_9" (tests/cases/accounts/books.txt).
#pragma once

#include <string>

#include "tests/support/support.h"

namespace tb::testing {

class AccountsTest : public CaseTest {
 protected:
  AccountsTest() { SeedBooks(); }
  void SeedBooks() {
    std::string sql;
    for (const Case& line : ReadCases("accounts/books.txt")) sql += line.line + "\n";
    Seed(sql);
  }
};

}  // namespace tb::testing
