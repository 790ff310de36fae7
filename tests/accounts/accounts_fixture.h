// File: accounts_fixture.h — what the account tests share: the guestbooks
// "abc" (with its hint and identity card), "admin" and "x_9"; two messages of
// "abc" and one of "x_9".
#pragma once

#include "tests/support/support.h"

namespace tb::testing {

class AccountsTest : public CaseTest {
 protected:
  AccountsTest() { SeedBooks(); }
  void SeedBooks() {
    Seed(
        "insert into user(name, password, email, titletop, question, answer, idcard, "
        "infoserial) values "
        "('abc', 'Secret1', 'abc@x.example', '<b>小花的留言板</b>', '我的猫叫什么？', "
        "'Mimi', '110101199001011234', 2), "
        "('admin', 'root1', 'root@site.example', '站长', null, null, null, 0), "
        "('x_9', 'other9', 'x9@x.example', 'X9', 'abc', 'xyz', '123456789012345', 1)");
    Seed(
        "insert into liuyan(name, guestname, infoseekno, infono) values "
        "('abc', 'Tom', 1, 1), ('abc', 'Ann', 2, 2), ('x_9', 'Bob', 1, 1)");
  }
};

}  // namespace tb::testing
