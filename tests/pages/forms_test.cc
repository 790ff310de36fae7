// The pages' answers: what every page answers, the pages' own parts compared
// with golden files (the members' output replaced by a marker where it sits
// inside a page), and the component's binding to the page; the limits per
// client address: guessing at a guestbook's secrets and posting, through the
// pages that count them, and the counts over time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "server/http/style.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using namespace std::chrono_literals;
using testing::ExpectGolden;
using testing::Fields;
using testing::WithMarker;

class SitePagesTest : public testing::PagesTest {
 protected:
  // A page run from client address `from`.
  const std::string& RunFrom(std::string_view from, std::string_view path,
                             const Fields& query, const Fields& form) {
    Fresh(query, form);
    page().server_variables = {};
    page().server_variables.Add("remote_addr", from);
    return Run(path, "POST");
  }
  // A fresh message form of guestbook "abc", as add.asp gives it a visitor.
  void OpenForm() {
    Fresh({{"name", "abc"}});
    Run("add.asp");
  }
  // The post of the form the session holds, by `guestname` from `from`;
  // `extra` fields added to the post's.
  const std::string& Send(std::string_view guestname, Fields extra = {},
                          std::string_view from = "10.1.2.3") {
    const std::string key = page().Get("ly_fgs").Text();
    extra.insert(extra.begin(), {{"guestname", std::string(guestname)},
                                 {"subject", "你好啊"},
                                 {"message", "大家好"},
                                 {"html", "0"}});
    return RunFrom(from, "add_check.asp", {{"name", "abc"}, {"key2", key}}, extra);
  }
  // A fresh form and its post by 访客, as one visitor runs them.
  const std::string& Post(Fields extra = {}, std::string_view from = "10.1.2.3") {
    OpenForm();
    return Send("访客", std::move(extra), from);
  }
};

TEST_F(SitePagesTest, WholePages) {
  for (const auto& c : testing::ReadCases("pages/static.txt")) {
    SCOPED_TRACE(c[0]);
    page().session_values.clear();
    Fresh(testing::FieldsOf(c[3]));
    if (c[2] != "-") LogIn(c[2]);
    ExpectGolden("pages/" + c[0] + ".html", Run(c[1]));
    EXPECT_EQ(ended(), c.size() > 4);
    EXPECT_EQ(page().session_values.empty(), c.size() > 4 || c[2] == "-");
  }
}

TEST_F(SitePagesTest, RegistrationOpenClosedOrFull) {
  AddBook("admin");
  const testing::Fields form = testing::FieldsOf(
      "name=newbook&password=pass1234&password2=pass1234&email=new@example.com&homepage="
      "http://new.example/&html=2&titletop=新留言板&question=问题问题&answer=回答回答&"
      "idcard=123456789012345&nettype=电脑网络");
  for (const auto& c : testing::ReadCases("pages/registration.txt")) {
    SCOPED_TRACE(c[0] + " " + c[1]);
    const std::string& notice = c[2];
    for (const bool check : {false, true}) {
      Fresh({}, check ? form : testing::Fields{});
      book().SetIsOpen(testing::CaseValue(c, 0));
      book().SetLybMaxUser(testing::CaseValue(c, 1));
      const std::string body =
          Run(check ? "reg_check.asp" : "index.asp", check ? "POST" : "GET");
      // The check page refuses a complete registration with the same notice.
      EXPECT_TRUE(check || (body.find("action=\"reg_check.asp\"") != std::string::npos) ==
                               (notice == "-"));
      EXPECT_TRUE(notice == "-" || body.find(notice) != std::string::npos);
      EXPECT_EQ(Count("select * from user where name = 'newbook'"),
                notice == "-" && check);
      Seed("delete from user where name = 'newbook'");
    }
  }
  Fresh();
  book().SetIsOpen(Value("0"));
  ExpectGolden("pages/index_closed.html", Run("index.asp"));
}

TEST_F(SitePagesTest, UserListScripts) {
  LogIn("admin");
  book().UserList();
  const std::string list = page().body;
  Fresh();
  ExpectGolden("pages/userlist.html", WithMarker(Run("userlist.asp"), list));
}

// The message form from the guestbook's settings (copied to the session by
// the component) and the poster's remembered cookies.
TEST_F(SitePagesTest, MessageForm) {
  for (const auto& c : testing::ReadCases("pages/message_form.txt")) {
    SCOPED_TRACE(c[0]);
    Seed("delete from user");
    AddBook("abc");
    Seed("update user set " + c[1] + " where name = 'abc'");
    Fresh();
    book().Image1();
    const std::string avatars = page().body;
    page().body.clear();
    page().query.Add("name", "abc");
    for (const auto& [k, v] : testing::FieldsOf(c[3])) page().query.Add(k, v);
    for (const auto& [k, v] : testing::FieldsOf(c[2])) page().cookies.Add(k, v);
    std::string body = Run("add.asp");
    const std::string key = page().Get("ly_fgs").Text();
    EXPECT_NE(body.find("&key2=" + key + "&"), std::string::npos);
    body.replace(body.find("&key2=") + 6, key.size(), "KEY");
    const bool has_avatars = body.find(avatars) != std::string::npos;
    ExpectGolden(c[0], has_avatars ? WithMarker(body, avatars) : body);
  }
}

// The basic settings form from the owner's values (the store holds the same
// values, for the component to copy to the session).
TEST_F(SitePagesTest, BasicSettingsForm) {
  const std::string_view columns[] = {"titletop",   "topimage", "topformat",
                                      "infolistno", "html",     "backimage",
                                      "sendinfo",   "nettype",  "homepage"};
  for (const auto& c : testing::ReadCases("pages/basic_settings.txt")) {
    SCOPED_TRACE(c[0]);
    std::string update = "update user set infostyle = infostyle";
    std::vector<Value> bound;
    Fresh();
    LogIn("abc");
    for (int i = 0; i < 9; ++i) {
      const std::string value = c[i + 1];
      update += ", " + std::string(columns[i]) + " = ?";
      // MariaDB's number columns hold no text: null stands in for it there.
      const bool number = columns[i] == "infolistno" && OnMariaDb();
      bound.push_back(number && value.empty() ? Value() : Value(value));
      page().Set("abcjm1" + std::string(columns[i]), Value(value));
    }
    Seed(update + " where name = 'abc'", bound);
    ExpectGolden(c[0], Run("admin_jiemian.asp"));
  }
}

// A stored message gets the acceptance's document in the frame; a refusal is
// framed; a second post from the same form is redirected with nothing
// written; a form of a guestbook that no longer exists stores nothing.
TEST_F(SitePagesTest, AcceptancePage) {
  OpenForm();
  ExpectGolden("pages/acceptance_refused.html", Send("x"));
  EXPECT_EQ(Count("select * from liuyan"), 0);
  // The acceptance's own document, framed: its refresh in the frame's head.
  ExpectGolden("pages/acceptance.html", Send("访客"));
  EXPECT_EQ(Count("select * from liuyan where guestname = '访客'"), 1);
  EXPECT_EQ(Send("访客"), "");
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Count("select * from liuyan"), 1);
  OpenForm();
  Seed("delete from user where name = 'abc'");
  EXPECT_NE(Send("访客").find("没有找到这个留言板，留言没有保存。"), std::string::npos);
}

// What every page answers with an empty session: a document of the site's
// frame holding a text, a redirect, or the member's bare text.
TEST_F(SitePagesTest, EveryPageAnswersGetAndPost) {
  AddBook("admin");
  AddMessage("abc", {{"subject", "第一个留言"}});
  const std::string frame[] = {
      "<title>留言本",
      "<link rel=\"stylesheet\" href=\"" + server::http::StylesheetHref() + "\">",
      "<div class=\"foot\"><a href=\"index.asp\">首页</a>"};
  for (const auto& c : testing::ReadCases("pages/answers.txt")) {
    SCOPED_TRACE(c[0] + " " + c[1]);
    page().session_values.clear();
    Fresh(testing::FieldsOf(c[2]));
    const std::string body = Run(c[1] == "(none)" ? "" : c[1], c[0]), &needle = c[3];
    if (needle.starts_with("->") || needle.starts_with("=")) {
      EXPECT_EQ(
          (needle[0] == '=' ? "" : "->" + page().redirect.value_or("(none)")) + body,
          needle.substr(needle[0] == '=' ? 1 : 0));
      continue;
    }
    EXPECT_FALSE(page().redirect.has_value());
    EXPECT_TRUE(
        body.starts_with("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gb2312\">"));
    EXPECT_TRUE(body.ends_with("</body>\n</html>\n"));
    for (const std::string& part : frame)
      EXPECT_NE(body.find(part), std::string::npos) << part;
    const std::string own = needle == "NOLOGIN" ? "用户操作超时，请重新登陆，或没有权限！"
                            : needle == "-" ? ""
                                            : needle;
    EXPECT_NE(body.find(own), std::string::npos) << own << "\n" << body;
  }
}

// The component stays bound to the page after a member ran on a captured
// response, also when that member fails with a store error.
TEST_F(SitePagesTest, ComponentStaysBoundAfterACapturedCall) {
  for (const bool fails : {false, true}) {
    Fresh({{"name", "abc"}, {"key2", "123456789"}},
          {{"guestname", "访客"}, {"subject", "主题"}, {"html", "0"}});
    if (fails) {
      book().SetDSNtemp("nosuchengine:x");
      page().Set("ly_tijiao", Value("0"));
      page().Set("ly_fgs", Value("123456789"));
      EXPECT_ANY_THROW(Run("add_check.asp", "POST"));
    } else {
      Run("add_check.asp", "POST");
    }
    page().body.clear();
    book().test();
    EXPECT_EQ(page().body, "this is a test!");
  }
}

class LimitsTest : public SitePagesTest {};

// Five wrong tries at one name lock that address out of the name for every
// page that checks a secret, the right one included, without the member
// running; another address is not locked out.
TEST_F(LimitsTest, FiveWrongGuessesAtANameLockTheAddressOut) {
  int address = 0;
  for (const auto& c : testing::ReadCases("pages/guesses.txt")) {
    SCOPED_TRACE(c[0]);
    const std::string attacker = "10.0.0." + std::to_string(++address);
    auto run = [&](bool right, std::string_view from) -> std::string {
      Fields form = testing::FieldsOf(c[2]);
      form.emplace_back(c[3], right ? c[4] : "wrong123");
      if (c[0] == "add_check.asp") return Post(form, from);
      return RunFrom(from, c[0], testing::FieldsOf(c[1]), form);
    };
    for (int i = 0; i < 5; ++i)
      EXPECT_NE(run(false, attacker).find(c[5]), std::string::npos) << i;
    EXPECT_NE(run(true, attacker).find("尝试次数过多，请15分钟后再试！"),
              std::string::npos);
    EXPECT_NE(run(true, "10.9.9.9").find(c[6]), std::string::npos);
  }
  EXPECT_EQ(Count("select * from user where name = 'abc'"), 0) << "deleted last";
}

// A client address stores its share of messages in a minute; the next post
// goes to guanshui.asp with nothing stored, and refused posts do not count,
// nor does the owner's password on a post sent away.
TEST_F(LimitsTest, PostsBeyondTheShareAreSentAway) {
  Post({{"password", "wrong123"}});
  for (int i = 0; i < 10; ++i)
    EXPECT_NE(Post().find("留言添加成功"), std::string::npos) << i;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Post({{"password", "wrong123"}}), "");
    EXPECT_EQ(page().redirect, "guanshui.asp");
  }
  EXPECT_EQ(Count("select * from liuyan"), 10);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(limits_.TakeGuess("10.1.2.3", "abc")) << i;
  EXPECT_FALSE(limits_.TakeGuess("10.1.2.3", "abc"));
}

// The counts over time, by the clock the limits are given (what the counts
// share across servers, in memory too, is in tests/server/shared_state_test.cc).
TEST(ClientLimitsTest, CountsOverTime) {
  std::chrono::steady_clock::time_point now{};
  server::ClientLimits limits(2, [&] { return now; });
  const std::string_view a = "10.0.0.1", b = "10.0.0.2";
  // A guess counts as wrong once taken; a right one clears the name's count,
  // and one given back (no secret checked) counts nothing, nor locks out.
  auto take = [&](std::string_view address, std::string_view name, int times) {
    int taken = 0;
    while (times-- > 0) taken += limits.TakeGuess(address, name);
    return taken;
  };
  EXPECT_EQ(take(a, "n1", 4), 4);
  limits.GuessSucceeded(a, "n1");
  EXPECT_EQ(take(a, "N1", 5), 5) << "names ignore case";
  EXPECT_EQ(take(a, "n1", 1), 0);
  now += 15min + 1s;
  EXPECT_EQ(take(a, "n1", 5), 5);
  limits.ReturnGuess(a, "n1");
  EXPECT_EQ(take(a, "n1", 2), 1);
  EXPECT_EQ(take(a, "ábc", 3) + take(a, "ÀBC", 3), 5) << "spellings no one registers";
  // 50 wrong guesses at any names lock the address out of every name.
  for (int i = 0; i < 50; ++i) take(b, "x" + std::to_string(i % 40), 1);
  EXPECT_EQ(take(b, "fresh", 1), 0);
  now += 15min + 1s;
  EXPECT_EQ(take(b, "fresh", 1), 1);
  // Posts: two a minute, for each address.
  EXPECT_TRUE(limits.TakePost(a) && limits.TakePost(a));
  EXPECT_FALSE(limits.TakePost(a));
  EXPECT_TRUE(limits.TakePost(b));
  now += 61s;
  EXPECT_TRUE(limits.TakePost(a));
  // Ten mails to typed addresses an hour.
  for (std::size_t i = 0; i < server::ClientLimits::kMailsPerHour; ++i)
    EXPECT_TRUE(limits.TakeMail(a));
  EXPECT_FALSE(limits.TakeMail(a));
  EXPECT_TRUE(limits.TakeMail(b));
  now += 60min + 1s;
  EXPECT_TRUE(limits.TakeMail(a));
  // An IPv6 client counts by its /64 network; IPv4 written as IPv6 as itself.
  for (auto [first, second, shared] :
       {std::tuple{"2001:db8:1:2::1", "2001:db8:1:2:ff::9", true},
        {"2001:db8:1:2::1", "2001:db8:1:3::1", false},
        {"::ffff:10.0.0.7", "10.0.0.7", true}}) {
    now += 61s;
    EXPECT_TRUE(limits.TakePost(first) && limits.TakePost(first));
    EXPECT_EQ(limits.TakePost(second), !shared) << first << " " << second;
  }
}

}  // namespace
}  // namespace tb
