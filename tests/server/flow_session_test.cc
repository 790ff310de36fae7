// Sessions and failures over HTTP: the session cookie as the browser gets
// it, a made-up session id, logging off, the idle timeout ending a login and
// a form's visit, and pages on a store that cannot open answered with 500
// while the same connection goes on serving the rest.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>

#include "tests/server/flow_browser.h"

namespace tb::testing {
namespace {

using server::http::Status;
using namespace std::chrono_literals;

// The basic settings form, filled in.
constexpr std::string_view kSettingsForm = "value=\"小明的留言本\"";

// The TBSESSION cookies among the Set-Cookie fields of a page.
std::vector<std::string> SessionCookies(const Page& page) {
  std::vector<std::string> out;
  for (const auto& c : page.set_cookies) {
    if (c.rfind("TBSESSION=", 0) == 0) out.push_back(c);
  }
  return out;
}

TEST(FlowSessionTest, TheSessionCookie) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);

  // Reading a guestbook needs no session.
  Browser reader(site.port());
  EXPECT_TRUE(SessionCookies(reader.Get("show.asp?name=xiaoming")).empty());
  EXPECT_EQ(reader.SessionId(), "");

  Browser b(site.port());
  Page login = LogIn(b, "xiaoming", "pass1234");
  const auto cookies = SessionCookies(login);
  ASSERT_EQ(cookies.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(cookies[0], m, std::regex("TBSESSION=([0-9a-f]+)(;.*)")))
      << cookies[0];
  EXPECT_GE(m[1].length(), 32) << "at least 128 random bits";
  for (std::string_view attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"}) {
    EXPECT_NE(m[2].str().find(attribute), std::string::npos) << attribute;
  }
  EXPECT_EQ(m[2].str().find("xpires"), std::string::npos) << "ends with the browser";

  // The session goes on under the same id.
  const std::string id = b.SessionId();
  Page settings = b.Get("admin_jiemian.asp");
  EXPECT_TRUE(settings.Has(kSettingsForm));
  EXPECT_TRUE(SessionCookies(settings).empty());
  EXPECT_TRUE(SessionCookies(b.Get("add.asp?name=xiaoming")).empty());
  EXPECT_EQ(b.SessionId(), id);

  // Another visitor gets a session of their own.
  Browser other(site.port());
  LogIn(other, "xiaoming", "pass1234");
  EXPECT_NE(other.SessionId(), id);
  EXPECT_FALSE(other.SessionId().empty());

  // A made-up id is not taken over: the login gets a fresh one.
  Browser forger(site.port());
  const std::string made_up(64, 'a');
  forger.SetRawCookie("TBSESSION", made_up);
  LogIn(forger, "xiaoming", "pass1234");
  EXPECT_NE(forger.SessionId(), made_up);
  Browser victim(site.port());
  victim.SetRawCookie("TBSESSION", made_up);
  EXPECT_TRUE(victim.Get("admin_jiemian.asp").Has(kNoPermission));

  // A login renews an id known before it: whoever planted or saw the
  // visitor's id gets nothing from the login, and the visitor keeps the
  // session's values under the new id.
  Browser planted(site.port());
  const std::string action =
      FindLink(planted.Get("add.asp?name=xiaoming").text, "add_check.asp?");
  const std::string before = planted.SessionId();
  ASSERT_FALSE(before.empty()) << "the form's visit starts a session";
  Page renewed = LogIn(planted, "xiaoming", "pass1234");
  ASSERT_EQ(SessionCookies(renewed).size(), 1u);
  EXPECT_NE(planted.SessionId(), before);
  Browser spy(site.port());
  spy.SetRawCookie("TBSESSION", before);
  EXPECT_TRUE(spy.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(planted.Get("admin_jiemian.asp").Has(kSettingsForm));
  EXPECT_EQ(
      planted.Post(action, MessageFields("小明", "登录前打开的表单", "内容")).status,
      Status::ok)
      << "the form opened before the login still posts";
  EXPECT_EQ(site.Count("select * from liuyan"), 1);

  // Logging off ends the session on the server, not only in the browser.
  Page off = b.Get("admin_log_off.asp");
  EXPECT_TRUE(off.Has("你已经退出管理。"));
  const auto removal = SessionCookies(off);
  ASSERT_EQ(removal.size(), 1u);
  EXPECT_NE(removal[0].find("Max-Age=0"), std::string::npos) << removal[0];
  Browser replay(site.port());
  replay.SetRawCookie("TBSESSION", id);
  EXPECT_TRUE(replay.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(other.Get("admin_jiemian.asp").Has(kSettingsForm)) << "others stay";
}

// With a timeout of 0.015 minutes (0.9 s) a session lasts while it is used
// and ends once it has been idle longer than that.
TEST(FlowSessionTest, ASessionEndsAfterTheIdleTimeout) {
  TempDir config_dir;
  const auto config = config_dir.path() / "short.toml";
  std::ofstream(config) << "[server]\nsession_timeout_minutes = 0.015\n";
  FlowSite site({"--config", config.string()});
  Browser owner(site.port());
  Register(owner, kXiaoming);
  LogIn(owner, "xiaoming", "pass1234");

  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(450ms);
    EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kSettingsForm)) << i;
  }
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kNoPermission));

  // A form left open too long no longer posts: its visit has ended.
  Browser visitor(site.port());
  const std::string action =
      FindLink(visitor.Get("add.asp?name=xiaoming").text, "add_check.asp?");
  std::this_thread::sleep_for(1200ms);
  Page late = visitor.Post(action, MessageFields("小红", "迟到的留言", "内容"));
  EXPECT_EQ(late.status, Status::found);
  EXPECT_EQ(late.location, "guanshui.asp");
  EXPECT_EQ(site.Count("select * from liuyan"), 0);
}

// serve_test covers the guestbook page on a broken store; here every other
// kind of page that reaches the store, read or written, on one connection
// between pages that do not need the store.
TEST(FlowSessionTest, PagesOnAStoreThatCannotOpenAre500AndTheRestServes) {
  TempDir broken;
  std::ofstream(broken.path() / "file") << "x";
  const std::string dsn = "sqlite:" + (broken.path() / "file" / "x.db").string();
  FlowSite site({"--set", "DSNtemp=" + dsn});
  Browser b(site.port());

  struct Case {
    bool post;
    std::string target;
    Fields fields;
  } cases[] = {
      {true, "reg_check.asp", RegistrationFields(kXiaoming)},
      {true, "admin_login.asp", {{"name", "xiaoming"}, {"password", "pass1234"}}},
      {false, "add.asp?name=xiaoming", {}},
      {false, "userlist.asp", {}},
      {true, "lostpassword.asp", {{"name", "xiaoming"}}},
      {true,
       "userdelme.asp",
       {{"name", "xiaoming"}, {"password", "pass1234"}, {"email", "xm@example.com"}}},
  };
  for (const Case& c : cases) {
    Page page = c.post ? b.Post(c.target, c.fields) : b.Get(c.target);
    EXPECT_EQ(page.status, Status::internal_server_error) << c.target;
    EXPECT_EQ(page.content_type, "text/html; charset=gb2312") << c.target;
    EXPECT_TRUE(page.Has("服务器出错")) << c.target << "\n" << page.text;
    EXPECT_FALSE(page.Has("x.db")) << c.target;
    for (std::string_view fine :
         {"index.asp", "help1.asp", "pic/Boy1.gif", "admin.asp"}) {
      EXPECT_EQ(b.Get(fine).status, Status::ok) << fine << " after " << c.target;
    }
  }
  const std::string err = site.process().Stderr();
  EXPECT_NE(err.find("error: \"POST /reg_check.asp HTTP/1.1\": "), std::string::npos)
      << err;
  EXPECT_NE(err.find("error: \"GET /add.asp?name=xiaoming HTTP/1.1\": "),
            std::string::npos);
  EXPECT_TRUE(std::regex_search(err, std::regex("POST /admin_login\\.asp 500 ")));
}

// Posts sent at once from one visit to the form: the first is stored, every
// other is sent to guanshui.asp. The host runs the requests of one session
// one after another, so the form's "posted" flag holds.
TEST(FlowSessionTest, PostsSentAtOnceFromOneVisitStoreOneMessage) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Browser visitor(site.port());
  const std::string action =
      FindLink(visitor.Get("add.asp?name=xiaoming").text, "add_check.asp?");
  const std::string body = EncodeForm(MessageFields("小红", "同时发出", "内容"));
  const std::string raw =
      "POST /" + action +
      " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: TBSESSION=" + visitor.SessionId() +
      "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  constexpr int kPosts = 8;  // as many pages as one client may have waiting
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kPosts; ++i)
    clients.push_back(std::make_unique<Client>(site.port()));
  for (auto& c : clients) c->SendRaw(raw, false);
  int stored = 0, refused = 0;
  for (auto& c : clients) {
    auto res = c->Read();
    ASSERT_TRUE(res);
    if (res->result() == Status::ok) ++stored;
    if (res->result() == Status::found) ++refused;
  }
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(refused, kPosts - 1);
  EXPECT_EQ(site.Count("select * from liuyan"), 1);
}

}  // namespace
}  // namespace tb::testing
