// File: real_site.h — visitors of the site who keep their session id as a
// browser keeps the cookie, and the site with its own pages run in memory on
// a fresh store (the guestbook xiaoming, password pass1234, and the
// superuser admin, password super_pw9).
//
// Example:
//   class MyTest : public tb::testing::RealSiteTest {};
//   TEST_F(MyTest, Login) {
//     std::string owner;  // the visitor's session id
//     LogIn(owner, "xiaoming", "pass1234");
//     EXPECT_TRUE(LoggedIn(owner));
//   }
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "check/text.h"
#include "data/store_pool.h"
#include "host/encoding.h"
#include "server/site.h"
#include "tests/server/client.h"
#include "tests/support/support.h"

namespace tb::testing {

using namespace std::chrono_literals;

// A page as the visitor got it, its text decoded from GB18030.
struct Answer {
  server::http::Status status;
  std::string text;
  std::vector<std::string> session_cookies;  // its TBSESSION Set-Cookie fields
  bool Has(std::string_view piece) const { return text.find(piece) != std::string::npos; }
};

// Visits of the site, however the requests reach it (Send).
class SiteVisits {
 public:
  virtual ~SiteVisits() = default;

 protected:
  virtual server::http::Response Send(server::http::Request& req) = 0;

  // Registers the guestbook xiaoming through the form.
  Answer AddOwner() {
    std::string visitor;
    Answer done = Visit(
        visitor, "reg_check.asp",
        FieldsOf("name=xiaoming&password=pass1234&password2=pass1234&email=xm@example.com"
                 "&homepage=http://xm.example.com/&titletop=小明的留言本&html=2"
                 "&question=我最喜欢的颜色&answer=天蓝色的&idcard=110101199001011234"
                 "&nettype=电脑网络"));
    EXPECT_TRUE(done.Has("show.asp?name=xiaoming")) << done.text;
    return done;
  }

  // One request of the visitor whose session id is `id` ("" for none), a
  // POST when there are fields or a raw `body`: a session cookie the site
  // sends replaces the id, one with Max-Age=0 clears it.
  Answer Visit(std::string& id, std::string_view target, const Fields& form = {},
               std::optional<std::string> body = std::nullopt) {
    namespace bhttp = server::http::bhttp;
    const bool post = body || !form.empty();
    server::http::Request req{post ? bhttp::verb::post : bhttp::verb::get,
                              "/" + std::string(target), 11};
    req.set(bhttp::field::host, "127.0.0.1");
    if (!id.empty()) req.set(bhttp::field::cookie, "TBSESSION=" + id);
    if (!body) {
      body.emplace();
      for (const auto& [k, v] : form)
        *body +=
            (body->empty() ? "" : "&") + host::UrlEncode(k) + "=" + host::UrlEncode(v);
    }
    if (post) req.set(bhttp::field::content_type, "application/x-www-form-urlencoded");
    req.body() = *body;
    req.prepare_payload();
    server::http::Response res = Send(req);
    Answer a{res.result(), host::FromGb18030(res.body()), {}};
    for (const auto& field : res) {
      const std::string c(field.value());
      if (field.name() != bhttp::field::set_cookie || !c.starts_with("TBSESSION="))
        continue;
      a.session_cookies.push_back(c);
      id = c.find("Max-Age=0") != std::string::npos ? "" : c.substr(10, c.find(';') - 10);
    }
    return a;
  }
  void LogIn(std::string& id, std::string_view name, std::string_view password) {
    const Answer a =
        Visit(id, "admin_login.asp",
              {{"name", std::string(name)}, {"password", std::string(password)}});
    EXPECT_TRUE(a.Has("登陆成功")) << a.text;
  }
  // Whether the session `id` opens xiaoming's settings.
  bool LoggedIn(std::string& id) {
    return Visit(id, "admin_jiemian.asp").Has("value=\"小明的留言本\"");
  }
  // The action of the message form of `book`, from a visit of the session `id`.
  std::string FormAction(std::string& id, std::string_view book = "xiaoming") {
    const std::string html = Visit(id, "add.asp?name=" + std::string(book)).text;
    const std::size_t at = html.find("add_check.asp?");
    EXPECT_NE(at, std::string::npos) << html;
    return check::ReplaceAll(html.substr(at, html.find('"', at) - at), "&amp;", "&");
  }
  // A message whose every text is `text`, in the format given (0 text, 1
  // HTML, 2 UBB).
  static Fields Message(std::string_view text, std::string_view format = "0") {
    const std::string t(text);
    return {
        {"guestname", t}, {"subject", t}, {"message", t}, {"html", std::string(format)}};
  }
};

class RealSiteTest : public ::testing::Test, protected SiteVisits {
 protected:
  RealSiteTest() {
    AddOwner();
    Store(
        "insert into user(name, password, email, titletop, html) values "
        "('admin', 'super_pw9', 'root@example.com', '站长', '2')");
  }

  server::http::Response Send(server::http::Request& req) override {
    return site_.Handle(req, boost::asio::ip::make_address("10.1.2.3"));
  }
  std::string Dsn() const { return store_.dsn(); }
  void Store(std::string_view sql) { pool_.Acquire(Dsn())->Run(sql); }
  std::int64_t Messages() { return StoreCount(pool_, Dsn(), "select * from liuyan"); }

  data::StorePool pool_;
  TestStore store_{pool_};
  server::SiteOptions options_ = [this] {
    server::SiteOptions o;
    o.properties.Set("DSNtemp", Value(Dsn()));
    o.max_posts_per_minute = 1000;
    return o;
  }();
  server::http::MemorySessionStore sessions_{20min};
  server::http::VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  server::Site site_{options_, pool_, sessions_, visits_, [](std::string_view) {}};
};

}  // namespace tb::testing
