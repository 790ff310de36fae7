// File: fake_env.h — the site's pages run over an in-memory page context:
// a PageEnv whose component is the test fixture's, bound to the test store.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "server/pages/page_env.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb::testing {

class FakeEnv final : public server::PageEnv {
 public:
  FakeEnv(host::MemoryPage& page, Guestbook& book, std::string method,
          server::ClientLimits& limits)
      : page_(page), book_(book), method_(std::move(method)), limits_(limits) {}

  host::PageContext& context() override { return page_; }
  std::string_view method() const override { return method_; }
  Guestbook& component() override { return book_; }
  void EndSession() override {
    page_.session_values.clear();
    ended_ = true;
  }
  // One in-memory session has no id to renew.
  void RenewSession() override {}
  server::ClientLimits& limits() override { return limits_; }
  bool ended() const { return ended_; }

 private:
  host::MemoryPage& page_;
  Guestbook& book_;
  std::string method_;
  server::ClientLimits& limits_;
  bool ended_ = false;
};

// Runs pages as the site does: each request a fresh page context in the same
// session and store, its component configured like the site's.
class PagesTest : public PageTest {
 protected:
  // Guestbook "abc" (see AddBook); its messages start public, text-mode
  // and first of their thread.
  PagesTest() {
    message_defaults_ = {
        {"message", "你好"},  {"guestname", "访客"}, {"regtime", "2026-03-01 10:00:00"},
        {"ip", "10.9.8.7"},   {"touxiang", 0},       {"html", "0"},
        {"newinfo", "0"},     {"whoinfo", "0"},      {"infoseekno", 19999},
        {"priviteword", "0"}, {"infono", 0}};
    Fresh();
    AddBook("abc");
  }

  // A new request, the session carried over, with these query and form
  // fields and the site's settings.
  void Fresh(const Fields& query = {}, const Fields& form = {}) {
    Request(query, form);
    book().SetPageTitle(Value("留言本"));
    book().SetAdminEmail(Value("webmaster@example.com"));
    book().SetLybMsgLen(Value(8000));
    book().SetMaxNum(Value(1000));
    book().SetLybUrl(Value("http://127.0.0.1:8080/"));
  }
  // Runs the page of `path` (looked up as the host does) with `method`;
  // returns the body. `ended` tells whether the page ended the session.
  const std::string& Run(std::string_view path, std::string_view method = "GET") {
    const server::Route* route = server::FindRoute(path);
    EXPECT_NE(route, nullptr) << path;
    if (route) {
      FakeEnv env(page(), book(), std::string(method), limits_);
      route->handler(env);
      ended_ = env.ended();
    }
    return page().body;
  }
  bool ended() const { return ended_; }
  // The site's counts per client address, over every request of the test.
  server::ClientLimits limits_{10};

  // A registered guestbook `name` (password "pass1234", e-mail
  // name@example.com, title "name的留言板", UBB mode).
  void AddBook(std::string_view name) {
    const std::string n(name);
    Columns columns;
    for (const auto& [column, value] : FieldsOf(
             "password=pass1234&email=" + n + "@example.com&homepage=http://" + n +
             ".example/&regtime=2026-01-02 03:04:05&ip=10.0.0.1&html=2&titletop=" + n +
             "的留言板&question=我的问题&answer=我的回答&idcard=123456789012345&"
             "nettype=电脑网络"))
      columns.emplace_back(column, Value(value));
    PageTest::AddBook(name, columns);
  }

 private:
  bool ended_ = false;
};

// `body` with the first occurrence of `part` replaced by "<!-- member -->",
// so that a golden file holds the page's own part only. A part that is
// missing fails the test.
inline std::string WithMarker(std::string body, std::string_view part) {
  const auto at = part.empty() ? std::string::npos : body.find(part);
  EXPECT_NE(at, std::string::npos) << "the member's output is not in the page";
  if (at != std::string::npos) body.replace(at, part.size(), "<!-- member -->");
  return body;
}

}  // namespace tb::testing
