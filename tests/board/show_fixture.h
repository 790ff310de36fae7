// File: show_fixture.h — a guestbook page test: seeds a guestbook and its
// messages, logs owners in and shows the page with chosen query fields.
#pragma once

#include <string>

#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {

class ShowBookTest : public CaseTest {
 protected:
  // A plain guestbook (the store's defaults for its look); a public
  // plain-text message.
  ShowBookTest() {
    book_defaults_ = {{"password", "secret"},
                      {"email", "owner@example.com"},
                      {"regtime", "2026-01-02 03:04:05"},
                      {"html", "2"},
                      {"homepage", "http://abc.example.com"},
                      {"titletop", "阿布的留言本"},
                      {"counter", "3"}};
    message_defaults_ = {{"message", "第一条留言"},
                         {"guestname", "小王"},
                         {"regtime", "2026-03-04 09:05:07"},
                         {"ip", "192.168.1.20"},
                         {"touxiang", 0},
                         {"email", "wang@example.com"},
                         {"subject", "你好"},
                         {"replymail", "1"},
                         {"homepage", "http://wang.example.com"},
                         {"oicq", "12345"},
                         {"html", "0"},
                         {"font", "宋体"},
                         {"fontsize", "3"},
                         {"fontcolor", "#000000"},
                         {"newinfo", "0"},
                         {"whoinfo", "0"},
                         {"priviteword", "0"},
                         {"hailfrom", "北京"}};
  }

  void SeedBook(const Columns& changes = {}) { AddBook("abc", changes); }

  // Message `infono` of "abc", its seek number infono * 10 unless `changes`
  // give one; returns the message's id.
  std::string SeedMessage(int infono, const Columns& changes = {}) {
    Columns row = {{"infono", infono}, {"infoseekno", infono * 10}};
    row.insert(row.end(), changes.begin(), changes.end());
    return AddMessage("abc", row);
  }

  // Messages 1 to n of "abc", each with its number in the subject.
  void SeedMessages(int n) {
    for (int i = 1; i <= n; ++i) {
      SeedMessage(i, {{"subject", "主题" + std::to_string(i)},
                      {"message", "内容" + std::to_string(i)}});
    }
  }

  // A new request in the same session, with these query and form fields.
  std::string Show(const Fields& query, const Fields& form = {}) {
    Request(query, form);
    book().ShowBook();
    return page().body;
  }
  // The visit counter of "abc".
  std::string Counter() { return Scalar("select counter from user where name = 'abc'"); }
};

}  // namespace tb::testing
