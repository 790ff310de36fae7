// Runs of several requests on the site's own pages, for what only they show:
// the session cookie, its renewal at login and its end at log-off, logins
// ended by a new password or a deleted guestbook, posts sent at once from one
// visit, and text beyond GB2312 through the form and back.
#include <map>
#include <mutex>
#include <thread>

#include "check/convert.h"
#include "tests/server/real_site.h"
#include "tests/support/cases.h"

namespace tb::testing {
namespace {

using server::http::Status;

class SessionFlowTest : public RealSiteTest {};

TEST_F(SessionFlowTest, TheSessionCookieIsRenewedAtLoginAndEndsAtLogOff) {
  std::string reader, owner, other;
  EXPECT_TRUE(Visit(reader, "show.asp?name=xiaoming").session_cookies.empty());
  LogIn(owner, "xiaoming", "pass1234");
  const std::string id = owner;
  EXPECT_FALSE(id.empty());
  EXPECT_TRUE(Visit(owner, "admin_jiemian.asp").session_cookies.empty());
  LogIn(other, "xiaoming", "pass1234");

  // A login renews an id known before it; whoever saw the old id gets
  // nothing, and the visitor keeps the session's values (the form's visit).
  std::string planted;
  const std::string action = FormAction(planted);
  std::string spy = planted;
  ASSERT_FALSE(spy.empty()) << "the form's visit starts a session";
  LogIn(planted, "xiaoming", "pass1234");
  EXPECT_NE(planted, spy);
  EXPECT_FALSE(LoggedIn(spy));
  EXPECT_TRUE(LoggedIn(planted));
  EXPECT_TRUE(Visit(planted, action, Message("登录前打开的表单")).Has("留言添加成功"));
  EXPECT_EQ(Messages(), 1);

  // Logging off ends the session on the server, not only in the browser.
  const Answer off = Visit(owner, "admin_log_off.asp");
  ASSERT_EQ(off.session_cookies.size(), 1u);
  EXPECT_NE(off.session_cookies[0].find("Max-Age=0"), std::string::npos);
  std::string replay = id;
  EXPECT_FALSE(LoggedIn(replay));
  EXPECT_TRUE(LoggedIn(other)) << "others stay";
}

// A new password ends the owner's other logins; a deleted guestbook ends
// every login to it.
TEST_F(SessionFlowTest, LoginsEndWithAPasswordChangeOrADeletedGuestbook) {
  for (const auto& c : ReadCases("server/logins_end.txt")) {
    SCOPED_TRACE(c[0]);
    Store("delete from user where name = 'xiaoming'");
    AddOwner();
    std::string owner, elsewhere, super;
    LogIn(owner, "xiaoming", "pass1234");
    LogIn(elsewhere, "XiaoMing", "pass1234");
    if (c[2] == "superuser") LogIn(super, "admin", "super_pw9");
    std::string& actor = c[2] == "superuser" ? super : owner;
    const Answer done = c[1].empty() ? Visit(actor, c[0]) : Visit(actor, c[0], {}, c[1]);
    EXPECT_TRUE(done.Has(c[4])) << done.text;
    EXPECT_FALSE(LoggedIn(elsewhere));
    EXPECT_EQ(LoggedIn(owner), c[3] == "stays");
  }
}

// 16 posts sent at once from one visit to the form: the first is stored,
// every other is sent to guanshui.asp. The requests of one session run one
// after another, so the form's "posted" flag holds.
TEST_F(SessionFlowTest, PostsSentAtOnceFromOneVisitStoreOneMessage) {
  std::string visitor;
  const std::string action = FormAction(visitor);
  std::mutex mutex;
  std::map<Status, int> answers;
  std::vector<std::thread> posts;
  for (int i = 0; i < 16; ++i) {
    posts.emplace_back([&] {
      std::string id = visitor;
      const Status status = Visit(id, action, Message("同时发出")).status;
      std::lock_guard lock(mutex);
      ++answers[status];
    });
  }
  for (auto& t : posts) t.join();
  EXPECT_EQ(answers, (std::map<Status, int>{{Status::ok, 1}, {Status::found, 15}}));
  EXPECT_EQ(Messages(), 1);
}

// Every character of Unicode, not only those of GB2312, comes back as it
// was typed; a name and subject lose their mark-up characters to look-alikes.
TEST_F(SessionFlowTest, TextBeyondGb2312RoundTripsThroughTheForm) {
  for (const auto& c : ReadCases("server/beyond_gb2312.txt")) {
    const std::string &typed = c[0], &stored = c[1];
    SCOPED_TRACE(typed);
    std::string visitor;
    EXPECT_TRUE(Visit(visitor, FormAction(visitor), Message(typed)).Has("留言添加成功"));
    EXPECT_EQ(StoreRows(pool_, Dsn(),
                        "select guestname, subject, message from liuyan"
                        " order by id desc limit 1"),
              (Rows{{stored, stored, typed}}));
    const Answer show = Visit(visitor, "show.asp?name=xiaoming");
    EXPECT_TRUE(show.Has("<font size=\"3\" color=\"#FF0000\">" + stored + "</font>"));
    EXPECT_TRUE(show.Has(check::HtmlText(typed)));
  }
}

}  // namespace
}  // namespace tb::testing
