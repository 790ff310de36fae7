// The site over HTTP against the built `tavobook serve`, for what only the
// running server shows: the session cookie, its renewal at login and its end
// at log-off, logins ended by a password change or a deleted guestbook, the
// idle timeout read from the configuration file, posts sent at once from one
// visit, and text beyond GB2312 through the forms and back. The pages
// themselves are checked byte for byte by the component and page tests, and
// the stories in a real browser by tests/e2e.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <thread>

#include "check/convert.h"
#include "tests/server/site_browser.h"

namespace tb::testing {
namespace {

using server::http::Status;
using namespace std::chrono_literals;

constexpr std::string_view kNoPermission = "用户操作超时，请重新登陆，或没有权限！";
constexpr std::string_view kSettingsForm = "value=\"小明的留言本\"";
constexpr std::string_view kSuperPassword = FlowSite::kSuperPassword;

// A configuration file of one [server] line.
std::string ServerConfig(const TempDir& dir, std::string_view line) {
  const auto path = dir.path() / "serve.toml";
  std::ofstream(path) << "[server]\n" << line << "\n";
  return path.string();
}

TEST(FlowTest, TheSessionCookieIsRenewedAtLoginAndEndsAtLogOff) {
  FlowSite site;
  // Reading a guestbook needs no session.
  Browser reader(site.port());
  EXPECT_TRUE(reader.Get("show.asp?name=xiaoming").session_cookies.empty());

  // The cookie's text is checked in http_page_test; here the site sends it
  // once, at the login, and keeps the id.
  Browser b(site.port());
  EXPECT_EQ(LogIn(b, "xiaoming", "pass1234").session_cookies.size(), 1u);
  const std::string id = b.SessionId();
  EXPECT_TRUE(b.Get("admin_jiemian.asp").session_cookies.empty());
  EXPECT_EQ(b.SessionId(), id);
  Browser other(site.port());
  LogIn(other, "xiaoming", "pass1234");

  // A login renews an id known before it; whoever saw the old id gets
  // nothing, and the visitor keeps the session's values (the form's visit).
  Browser planted(site.port());
  const std::string action = planted.FormAction("xiaoming");
  const std::string before = planted.SessionId();
  ASSERT_FALSE(before.empty()) << "the form's visit starts a session";
  EXPECT_EQ(LogIn(planted, "xiaoming", "pass1234").session_cookies.size(), 1u);
  EXPECT_NE(planted.SessionId(), before);
  Browser spy(site.port());
  spy.SetSessionId(before);
  EXPECT_TRUE(spy.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(planted.Get("admin_jiemian.asp").Has(kSettingsForm));
  EXPECT_EQ(
      planted.Post(action, MessageFields("小明", "登录前打开的表单", "内容")).status,
      Status::ok);
  EXPECT_EQ(site.Count("select * from liuyan"), 1);

  // Logging off ends the session on the server, not only in the browser.
  const Page off = b.Get("admin_log_off.asp");
  ASSERT_EQ(off.session_cookies.size(), 1u);
  EXPECT_NE(off.session_cookies[0].find("Max-Age=0"), std::string::npos);
  Browser replay(site.port());
  replay.SetSessionId(id);
  EXPECT_TRUE(replay.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(other.Get("admin_jiemian.asp").Has(kSettingsForm)) << "others stay";
}

// A new password ends the owner's other logins; a deleted guestbook ends
// every login to it.
TEST(FlowTest, LoginsEndWithAPasswordChangeOrADeletedGuestbook) {
  struct Case {
    std::string what;
    bool by_superuser;
    std::string target;
    Fields fields;
    std::string done;
    bool actor_stays;  // the owner's session that sent it
  } cases[] = {
      {"password",
       false,
       "admin_jiemian3_check.asp",
       {{"oldpassword", "pass1234"},
        {"password", "newpass9"},
        {"password2", "newpass9"},
        {"email", "xm@example.com"}},
       "修改信息成功！",
       true},
      {"userdelme",
       false,
       "userdelme.asp",
       {{"name", "xiaoming"}, {"password", "pass1234"}, {"email", "xm@example.com"}},
       "用户：xiaoming注销成功！",
       false},
      {"admin_deluser",
       true,
       "admin_deluser.asp?name=xiaoming",
       {},
       "已经删除：xiaoming用户和留言内容。",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FlowSite site;
    Browser owner(site.port()), elsewhere(site.port()), super(site.port());
    LogIn(owner, "xiaoming", "pass1234");
    LogIn(elsewhere, "XiaoMing", "pass1234");
    if (c.by_superuser) LogIn(super, "admin", kSuperPassword);
    Browser& actor = c.by_superuser ? super : owner;
    const Page page =
        c.fields.empty() ? actor.Get(c.target) : actor.Post(c.target, c.fields);
    EXPECT_TRUE(page.Has(c.done)) << page.text;
    EXPECT_TRUE(elsewhere.Get("admin_jiemian.asp").Has(kNoPermission));
    EXPECT_EQ(owner.Get("admin_jiemian.asp").Has(kNoPermission), !c.actor_stays);
  }
}

// With a timeout of 0.015 minutes (0.9 s) a session lasts while it is used
// and ends once it has been idle longer than that.
TEST(FlowTest, ASessionEndsAfterTheIdleTimeout) {
  TempDir config_dir;
  FlowSite site(
      {"--config", ServerConfig(config_dir, "session_timeout_minutes = 0.015")});
  Browser owner(site.port());
  LogIn(owner, "xiaoming", "pass1234");
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(450ms);
    EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kSettingsForm)) << i;
  }
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kNoPermission));

  // A form left open too long no longer posts: its visit has ended.
  Browser visitor(site.port());
  const std::string action = visitor.FormAction("xiaoming");
  std::this_thread::sleep_for(1200ms);
  Page late = visitor.Post(action, MessageFields("小红", "迟到的留言", "内容"));
  EXPECT_EQ(late.status, Status::found);
  EXPECT_EQ(late.location, "guanshui.asp");
  EXPECT_EQ(site.Count("select * from liuyan"), 0);
}

// 16 posts sent at once from one visit to the form: the first is stored,
// every other is sent to guanshui.asp. The host runs the requests of one
// session one after another, so the form's "posted" flag holds.
TEST(FlowTest, PostsSentAtOnceFromOneVisitStoreOneMessage) {
  constexpr int kPosts = 16;
  TempDir config_dir;
  FlowSite site({"--config", ServerConfig(config_dir, "max_requests_per_client = 16")});
  Browser visitor(site.port());
  const std::string action = visitor.FormAction("xiaoming");
  const std::string body = EncodeForm(MessageFields("小红", "同时发出", "内容"));
  const std::string raw =
      "POST /" + action +
      " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: TBSESSION=" + visitor.SessionId() +
      "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kPosts; ++i)
    clients.push_back(std::make_unique<Client>(site.port()));
  for (auto& c : clients) c->SendRaw(raw, false);
  std::map<Status, int> answers;
  for (auto& c : clients) {
    auto res = c->Read();
    ASSERT_TRUE(res);
    ++answers[res->result()];
  }
  EXPECT_EQ(answers,
            (std::map<Status, int>{{Status::ok, 1}, {Status::found, kPosts - 1}}));
  EXPECT_EQ(site.Count("select * from liuyan"), 1);
}

// Text in and out of the site travels as GB18030: every character of
// Unicode, not only those of GB2312, comes back as it was typed; a name and
// subject lose their mark-up characters to look-alikes.
TEST(FlowTest, TextBeyondGb2312RoundTripsThroughTheForms) {
  FlowSite site;
  Browser visitor(site.port());
  struct Case {
    std::string typed, stored_subject;
  } cases[] = {
      {"简体中文：留言本", "简体中文：留言本"}, {"繁體字：為什麼", "繁體字：為什麼"},
      {"四字节𠀀𪚥字", "四字节𠀀𪚥字"},         {"符号€™—“引号”…", "符号€™—“引号”…"},
      {"かなカナ한글", "かなカナ한글"},         {"表情😀", "表情😀"},
      {"it's <b>粗</b>", "it’s 〈b〉粗〈/b〉"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Page posted = visitor.Post(visitor.FormAction("xiaoming"),
                               MessageFields(c.typed, c.typed, c.typed, "0"));
    EXPECT_TRUE(posted.Has("留言添加成功")) << posted.text;
    EXPECT_EQ(site.Query("select guestname, subject, message from liuyan"
                         " order by id desc limit 1"),
              (Rows{{c.stored_subject, c.stored_subject, c.typed}}));
    Page show = visitor.Get("show.asp?name=xiaoming");
    EXPECT_TRUE(
        show.Has("<font size=\"3\" color=\"#FF0000\">" + c.stored_subject + "</font>"));
    EXPECT_TRUE(show.Has(check::HtmlText(c.typed)));
  }
}

}  // namespace
}  // namespace tb::testing
