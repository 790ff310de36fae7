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
