// The limits per client address: guessing at a guestbook's secrets and
// posting, through the pages that count them, and the counts over time.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using namespace std::chrono_literals;
using testing::Fields;

class LimitsTest : public testing::PagesTest {
 protected:
  // A page run from client address `from`.
  const std::string& RunFrom(std::string_view from, std::string_view path,
                             const Fields& query, const Fields& form) {
    Fresh(query, form);
    page().server_variables = {};
    page().server_variables.Add("remote_addr", from);
    return Run(path, "POST");
  }
  // A fresh form of guestbook "abc" and its post, as add.asp and
  // add_check.asp run for one visitor; `extra` fields added to the post's.
  const std::string& Post(Fields extra = {}, std::string_view from = "10.1.2.3") {
    Fresh({{"name", "abc"}});
    Run("add.asp");
    const std::string key = page().Get("ly_fgs").Text();
    extra.insert(extra.begin(), {{"guestname", "访客"},
                                 {"subject", "你好啊"},
                                 {"message", "大家好"},
                                 {"html", "0"}});
    return RunFrom(from, "add_check.asp", {{"name", "abc"}, {"key2", key}}, extra);
  }
};

// Five wrong tries at one name lock that address out of the name for every
// page that checks a secret, the right one included, without the member
// running; another address is not locked out.
TEST_F(LimitsTest, FiveWrongGuessesAtANameLockTheAddressOut) {
  struct Case {
    std::string_view path;
    Fields query, form;  // the secret comes after, "password" unless named here
    std::string secret_field, right_secret, said_wrong, said_right;
  } cases[] = {
      {"admin_login.asp",
       {},
       {{"name", "ABC"}},
       "password",
       "pass1234",
       "密码错误！",
       "登陆成功"},
      {"lostpassword_check.asp",
       {{"name", "abc"}},
       {{"idcard", "123456789012345"}},
       "answer",
       "我的回答",
       "找回密码失败！",
       "你的密码是：pass1234"},
      {"add_check.asp", {}, {}, "password", "pass1234", "密码错误", "留言添加成功"},
      {"userdelme.asp",
       {},
       {{"name", "abc"}, {"email", "abc@example.com"}},
       "password",
       "pass1234",
       "用户注销失败！",
       "注销成功！"},
  };
  int address = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string attacker = "10.0.0." + std::to_string(++address);
    auto run = [&](bool right, std::string_view from) -> std::string {
      Fields form = c.form;
      form.emplace_back(c.secret_field, right ? c.right_secret : "wrong123");
      if (c.path == "add_check.asp") return Post(form, from);
      return RunFrom(from, c.path, c.query, form);
    };
    for (int i = 0; i < 5; ++i) {
      EXPECT_NE(run(false, attacker).find(c.said_wrong), std::string::npos) << i;
    }
    EXPECT_NE(run(true, attacker).find("尝试次数过多，请15分钟后再试！"),
              std::string::npos);
    EXPECT_NE(run(true, "10.9.9.9").find(c.said_right), std::string::npos);
  }
  EXPECT_EQ(Count("select * from user where name = 'abc'"), 0) << "deleted last";
}

// A client address stores its share of messages in a minute; the next post
// goes to guanshui.asp with nothing stored, and refused posts do not count.
TEST_F(LimitsTest, PostsBeyondTheShareAreSentAway) {
  Post({{"password", "wrong123"}});
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(Post().find("留言添加成功"), std::string::npos) << i;
  }
  EXPECT_EQ(Post(), "");
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Count("select * from liuyan"), 10);
}

// Every stored text has a length: a longer one is refused by name, with
// nothing stored. One character past each limit; the form's other fields
// are valid.
TEST_F(LimitsTest, TextsLongerThanTheirFieldAreRefused) {
  const auto chars = [](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += "留";
    return s;
  };
  const std::string url = "http://" + std::string(194, 'h');
  struct Case {
    std::string_view path;  // "" for the message form's post
    Fields form;
    std::string_view refusal;
  } cases[] = {
      {"", {{"guestname", chars(51)}}, "姓名最多50个字符"},
      {"", {{"subject", chars(101)}}, "留言主题最多100个字符"},
      {"", {{"email", "a@" + std::string(49, 'b')}}, "电子邮件最多50个字符"},
      {"", {{"homepage", url}}, "主页最多200个字符"},
      {"",
       {{"guo", chars(50)}, {"sheng", chars(50)}, {"xian", "x"}},
       "来自最多100个字符"},
      {"", {{"oicq", std::string(16, '1')}}, "QQ号码最多15个字符"},
      {"reg_check.asp", {{"name", "newbook"}, {"homepage", url}}, "主页最多200个字符"},
      {"admin_jiemian_check.asp", {{"topimage", url}}, "顶部图片最多200个字符"},
      {"admin_jiemian_check2.asp", {{"infomail", chars(51)}}, "栏目显示文字最多50个字符"},
      {"admin_jiemian3_check.asp",
       {{"email", std::string(51, 'e')}},
       "电子邮件最多50个字符"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::string(c.refusal));
    if (!c.path.empty()) LogIn("abc");  // after the message form's rows
    const std::string body =
        c.path.empty() ? Post(c.form) : RunFrom("10.1.2.3", c.path, {}, c.form);
    EXPECT_NE(body.find("输入的内容太长：" + std::string(c.refusal)), std::string::npos)
        << body;
    EXPECT_EQ(Count("select * from liuyan"), 0);
    EXPECT_EQ(Count("select * from user where name = 'newbook' or length(topimage) > 0 "
                    "or infomail <> '电子邮件：' or email <> 'abc@example.com'"),
              0);
  }
}

// The counts over time, by the clock the limits are given.
TEST(ClientLimitsTest, CountsOverTime) {
  std::chrono::steady_clock::time_point now{};
  server::ClientLimits limits(2, [&] { return now; });
  const std::string_view a = "10.0.0.1", b = "10.0.0.2";
  for (int i = 0; i < 4; ++i) limits.GuessFailed(a, "n1");
  limits.GuessSucceeded(a, "n1");  // clears the count at n1
  limits.GuessFailed(a, "N1");
  EXPECT_FALSE(limits.GuessingRefused(a, "n1"));
  for (int i = 0; i < 4; ++i) limits.GuessFailed(a, "n1");
  EXPECT_TRUE(limits.GuessingRefused(a, "N1")) << "names ignore case";
  EXPECT_FALSE(limits.GuessingRefused(a, "n2"));
  EXPECT_FALSE(limits.GuessingRefused(b, "n1"));
  now += 14min;
  EXPECT_TRUE(limits.GuessingRefused(a, "n1"));
  now += 1min + 1s;
  EXPECT_FALSE(limits.GuessingRefused(a, "n1"));
  // 50 wrong guesses at any names lock the address out of every name.
  for (int i = 0; i < 50; ++i) limits.GuessFailed(b, "x" + std::to_string(i % 40));
  EXPECT_TRUE(limits.GuessingRefused(b, "fresh"));
  now += 15min + 1s;
  EXPECT_FALSE(limits.GuessingRefused(b, "fresh"));
  // Posts: two a minute, a returned one given back.
  EXPECT_TRUE(limits.TakePost(a) && limits.TakePost(a));
  EXPECT_FALSE(limits.TakePost(a));
  limits.ReturnPost(a);
  EXPECT_TRUE(limits.TakePost(a));
  EXPECT_TRUE(limits.TakePost(b));
  now += 61s;
  EXPECT_TRUE(limits.TakePost(a));
}

}  // namespace
}  // namespace tb
