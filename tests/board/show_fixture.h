// File: show_fixture.h — a guestbook page test: seeds a guestbook and its
// messages, logs owners in and shows the page with chosen query fields.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "board/add_check_fields.h"
#include "tests/support/support.h"

namespace tb::testing {

// A `user` row; the defaults make a plain guestbook "abc".
struct BookSeed {
  std::string name = "abc";
  std::string title = "阿布的留言本";
  std::string topformat = "0";
  std::string topimage = "";
  std::string backimage = "";
  std::string homepage = "http://abc.example.com";
  std::string email = "owner@example.com";
  std::string infolistno = "10";
  std::string counter = "3";
};

// A `liuyan` row; the defaults make a public plain-text first message.
struct MessageSeed {
  int infono = 1;
  std::optional<int> infoseekno = std::nullopt;  // infono * 10 when not given
  std::string book = "abc";
  std::string subject = "你好";
  std::string message = "第一条留言";
  std::string guestname = "小王";
  std::string email = "wang@example.com";
  std::string homepage = "http://wang.example.com";
  std::string oicq = "12345";
  std::string hailfrom = "北京";
  std::string ip = "192.168.1.20";
  std::string regtime = "2026-03-04 09:05:07";
  std::string html = "0";
  std::string font = "宋体";
  std::string fontsize = "3";
  std::string fontcolor = "#000000";
  std::string newinfo = "0";
  std::string whoinfo = "0";
  std::string priviteword = "0";
  std::string replymail = "1";
  int touxiang = 0;
};

using Fields = std::initializer_list<std::pair<std::string_view, std::string_view>>;

class ShowBookTest : public PageTest {
 protected:
  void SeedBook(const BookSeed& b = {}) {
    Seed(
        "insert into user(name, password, email, homepage, regtime, html, titletop, "
        "topformat, topimage, backimage, infolistno, counter) "
        "values(?, 'secret', ?, ?, '2026-01-02 03:04:05', '2', ?, ?, ?, ?, ?, ?)",
        {Value(b.name), Value(b.email), Value(b.homepage), Value(b.title),
         Value(b.topformat), Value(b.topimage), Value(b.backimage), Value(b.infolistno),
         Value(b.counter)});
  }

  // Returns the message's id.
  std::string SeedMessage(const MessageSeed& m) {
    Seed(board::post::kInsertMessageSql,
         {Value(m.book),        Value(m.message),
          Value(m.guestname),   Value(m.regtime),
          Value(m.ip),          Value(m.touxiang),
          Value(m.email),       Value(m.subject),
          Value(m.homepage),    Value(m.replymail),
          Value(m.oicq),        Value(m.html),
          Value(m.font),        Value(m.fontsize),
          Value(m.fontcolor),   Value(m.newinfo),
          Value(m.whoinfo),     Value(m.infoseekno.value_or(m.infono * 10)),
          Value(m.priviteword), Value(m.hailfrom),
          Value(m.infono)});
    return Scalar("select max(id) from liuyan");
  }

  // Messages 1 to n of "abc", each with its number in the subject.
  void SeedMessages(int n) {
    for (int i = 1; i <= n; ++i) {
      SeedMessage({.infono = i,
                   .subject = "主题" + std::to_string(i),
                   .message = "内容" + std::to_string(i)});
    }
  }

  // A new request in the same session, with these query and form fields.
  std::string Show(Fields query, Fields form = {}) {
    NextRequest();
    for (auto [name, value] : query) page().query.Add(name, value);
    for (auto [name, value] : form) page().form.Add(name, value);
    book().ShowBook();
    return page().body;
  }
};

}  // namespace tb::testing
