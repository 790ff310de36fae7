// The pages' own parts, compared with golden files; the members' output is
// replaced by a marker where it sits inside a page.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using testing::ExpectGolden;
using testing::WithMarker;

class FormsTest : public testing::PagesTest {};

TEST_F(FormsTest, StaticForms) {
  for (std::string_view name :
       {"index", "admin", "lostpassword", "userdelme", "help3", "guanshui", "feifa",
        "user_name_error", "show_bad_name", "getpass", "admin_tools_db"}) {
    SCOPED_TRACE(name);
    Fresh({{"name", ""}});
    if (name == "getpass" || name == "admin_tools_db") LogIn("admin");
    const std::string path = name == "getpass"         ? "GETPASS.ASP"
                             : name == "show_bad_name" ? "show.asp"
                                                       : std::string(name) + ".asp";
    ExpectGolden("pages/" + std::string(name) + ".html", Run(path));
  }
}

TEST_F(FormsTest, RegistrationOpenClosedOrFull) {
  AddBook("admin");
  constexpr std::string_view kClosed = "本站暂停申请新留言板，请以后再来。",
                             kFull = "本站留言板数量已经达到上限，暂停申请新留言板。";
  struct Case {
    Value is_open, max_user;
    std::string_view notice;  // empty: the form is offered
  } cases[] = {{Value(), Value(), ""},         {Value("1"), Value(0), ""},
               {Value(1), Value(2), ""},  // abc is one; the superuser does not count
               {Value("0"), Value(), kClosed}, {Value(0), Value(100), kClosed},
               {Value(), Value(1), kFull},     {Value(), Value("1"), kFull}};
  const testing::Fields form = {{"name", "newbook"},
                                {"password", "pass1234"},
                                {"password2", "pass1234"},
                                {"email", "new@example.com"},
                                {"homepage", "http://new.example/"},
                                {"html", "2"},
                                {"titletop", "新留言板"},
                                {"question", "问题问题"},
                                {"answer", "回答回答"},
                                {"idcard", "123456789012345"},
                                {"nettype", "电脑网络"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.notice.empty() ? "open" : std::string(c.notice));
    for (const bool check : {false, true}) {
      Fresh({}, check ? form : testing::Fields{});
      book().SetIsOpen(c.is_open);
      book().SetLybMaxUser(c.max_user);
      const std::string body =
          Run(check ? "reg_check.asp" : "index.asp", check ? "POST" : "GET");
      // The check page refuses a complete registration with the same notice.
      if (!check) {
        EXPECT_EQ(body.find("action=\"reg_check.asp\"") != std::string::npos,
                  c.notice.empty());
      }
      EXPECT_TRUE(c.notice.empty() || body.find(c.notice) != std::string::npos);
      EXPECT_EQ(Count("select * from user where name = 'newbook'"),
                c.notice.empty() && check);
      Seed("delete from user where name = 'newbook'");
    }
  }
  Fresh();
  book().SetIsOpen(Value("0"));
  ExpectGolden("pages/index_closed.html", Run("index.asp"));
}

// The header bar follows the body tag the component writes.
TEST_F(FormsTest, ShowPageHead) {
  const std::string& shown = (Fresh({{"name", "abc"}}), Run("show.asp"));
  const std::size_t tag_end = shown.find('>', shown.find("<body"));
  EXPECT_EQ(shown.substr(tag_end, 19), ">\n<div class=\"nav\">");
  EXPECT_EQ(shown.find("<body", tag_end), std::string::npos);
}

TEST_F(FormsTest, UserListScripts) {
  LogIn("admin");
  book().UserList();
  const std::string list = page().body;
  Fresh();
  ExpectGolden("pages/userlist.html", WithMarker(Run("userlist.asp"), list));
}

// The message form from the guestbook's settings (copied to the session by
// the component) and the poster's remembered cookies.
TEST_F(FormsTest, MessageForm) {
  struct Case {
    std::string_view golden;
    std::string_view settings;  // "update user set ..." of guestbook abc
    testing::Fields cookies, query;
  } cases[] = {
      {"pages/add_full.html",
       "infostyle = '11111111111101111111', html = '2', "
       "infoname = '<font color=\"#008000\">网名</font>', infomail = '信箱：'",
       {{"ly_name", "小明"},
        {"ly_email", "xm@example.com"},
        {"ly_zhuye", "http://xm.example/"},
        {"ly_guo", "中国"},
        {"ly_sheng", "广东"},
        {"ly_xian", "广州"},
        {"ly_oicq", "12345"},
        {"ly_savemyinfo", "1"}},
       {}},
      {"pages/add_bare.html",
       "infostyle = '00000000000001111111', html = '0', topformat = '1', "
       "topimage = 'http://img.example/top.gif'",
       {{"ly_zhuye", "http://"}},
       {}},
      // Items 1, 3, 5, 7, 9, 11 of a short option string; an unlisted
      // remembered country is offered first; the reply subject is escaped.
      {"pages/add_reply.html",
       "infostyle = '10101010101', html = '1', infoname = '', infosubject = null",
       {{"ly_guo", "火星"}, {"ly_sheng", "江苏"}},
       {{"reply", "1"}, {"replyid", "7"}, {"replysubject", "回复：a<b\"c"}}},
      // A reply without the answered message's number is a new message.
      {"pages/add_reply_without_id.html",
       "infostyle = '', html = null",
       {},
       {{"reply", "1"}, {"replyid", "7 or 1"}, {"replysubject", "回复：x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    Seed("delete from user");
    AddBook("abc");
    Seed("update user set " + std::string(c.settings) + " where name = 'abc'");
    Fresh();
    book().Image1();
    const std::string avatars = page().body;
    page().body.clear();
    page().query.Add("name", "abc");
    for (const auto& [k, v] : c.query) page().query.Add(k, v);
    for (const auto& [k, v] : c.cookies) page().cookies.Add(k, v);
    std::string body = Run("add.asp");
    const std::string key = page().Get("ly_fgs").Text();
    EXPECT_NE(body.find("&key2=" + key + "&"), std::string::npos);
    body.replace(body.find("&key2=") + 6, key.size(), "KEY");
    const bool has_avatars = body.find(avatars) != std::string::npos;
    ExpectGolden(c.golden, has_avatars ? WithMarker(body, avatars) : body);
  }
  Fresh({{"name", "nobody"}});
  EXPECT_EQ(Run("add.asp"), "");
  EXPECT_EQ(page().redirect, "user_name_error.asp");
}

// The basic settings form from the owner's values (the store holds the same
// values, for the component to copy to the session).
TEST_F(FormsTest, BasicSettingsForm) {
  const std::string_view columns[] = {"titletop",   "topimage", "topformat",
                                      "infolistno", "html",     "backimage",
                                      "sendinfo",   "nettype",  "homepage"};
  struct Case {
    std::string_view golden, values[9];  // in the order of `columns`
  } cases[] = {
      {"pages/jiemian_custom.html",
       {"<b>It's \"mine\"</b>", "http://img.example/t.gif", "1", "15", "2",
        "http://img.example/bg.gif", "0", "个人主页", "http://abc.example/"}},
      {"pages/jiemian_listed.html",
       {"我的留言板", "", "0", "10", "1", "", "1", "电脑网络", "http://abc.example/"}},
      {"pages/jiemian_empty.html", {"", "", "", "", "", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    std::string update = "update user set infostyle = infostyle";
    std::vector<Value> bound;
    Fresh();
    LogIn("abc");
    for (int i = 0; i < 9; ++i) {
      update += ", " + std::string(columns[i]) + " = ?";
      // MariaDB's number columns hold no text: null stands in for it there.
      const bool number = columns[i] == "infolistno" && OnMariaDb();
      bound.push_back(number && c.values[i].empty() ? Value() : Value(c.values[i]));
      page().Set("abcjm1" + std::string(columns[i]), Value(c.values[i]));
    }
    Seed(update + " where name = 'abc'", bound);
    ExpectGolden(c.golden, Run("admin_jiemian.asp"));
  }
}

// A logged-in owner finds the menu on admin.asp and, on every framed page, a
// bar saying who is logged in with the ways back to the menu and out.
TEST_F(FormsTest, OwnersBarAndMenu) {
  LogIn("abc");
  const std::string menu = Run("admin.asp");
  EXPECT_NE(menu.find("用户：<font color=\"#008000\">abc</font>登陆成功"),
            std::string::npos);
  EXPECT_NE(menu.find("<span class=\"who\">当前用户：abc | <a href=\"admin.asp\">管理菜单"
                      "</a> | <a href=\"admin_log_off.asp\">退出管理</a></span>"),
            std::string::npos);
  EXPECT_EQ(menu.find("action=\"admin_login.asp\""), std::string::npos);
}

// A stored message gets the acceptance's document in the frame; a refusal is
// framed; a second post from the same form is redirected with nothing
// written; a form of a guestbook that no longer exists stores nothing.
TEST_F(FormsTest, AcceptancePage) {
  auto post = [&](std::string_view guestname) {
    const std::string key = page().Get("ly_fgs").Text();
    Fresh({{"name", "abc"}, {"key2", key}}, {{"guestname", std::string(guestname)},
                                             {"subject", "你好啊"},
                                             {"message", "大家好"},
                                             {"html", "0"}});
    return Run("add_check.asp", "POST");
  };
  Fresh({{"name", "abc"}});
  Run("add.asp");
  const std::string refused = post("x");
  EXPECT_TRUE(refused.starts_with("<!DOCTYPE html>")) << refused;
  EXPECT_NE(refused.find("错误号码：15，请填写你的姓名或网名<br>"), std::string::npos);
  EXPECT_TRUE(refused.ends_with("</html>\n"));
  EXPECT_EQ(Count("select * from liuyan"), 0);
  // The acceptance's own document, framed: its refresh in the frame's head.
  ExpectGolden("pages/acceptance.html", post("访客"));
  EXPECT_EQ(Count("select * from liuyan where guestname = '访客'"), 1);
  EXPECT_EQ(post("访客"), "");
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Count("select * from liuyan"), 1);
  Fresh({{"name", "abc"}});
  Run("add.asp");
  Seed("delete from user where name = 'abc'");
  EXPECT_NE(post("访客").find("没有找到这个留言板，留言没有保存。"), std::string::npos);
}

}  // namespace
}  // namespace tb
