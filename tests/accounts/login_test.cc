#include <gtest/gtest.h>

#include <string>

#include "component/messages.h"
#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

class AdminLoginTest : public testing::AccountsTest {
 protected:
  AdminLoginTest() { SeedBooks(); }
  void Login(const std::string& name, const std::string& password) {
    Request({}, {{"name", name}, {"password", password}});
    book().AdminLogin();
  }
};

TEST_F(AdminLoginTest, OwnerGetsTheFullMenu) {
  Login(" abc ", " Secret1 ");
  testing::ExpectGolden("accounts/AdminLogin/menu_abc.html", page().body);
  EXPECT_EQ(SessionText("ly_name"), "abc");
  EXPECT_EQ(SessionText("ly_log"), "yes");
  EXPECT_TRUE(page().Get("ly_admin_log").IsEmpty());
}

TEST_F(AdminLoginTest, OnlyTheStoredNameAdminBecomesSuperuser) {
  Login("admin", "root1");
  testing::ExpectGolden("accounts/AdminLogin/menu_admin.html", page().body);
  EXPECT_EQ(SessionText("ly_name"), "admin");
  EXPECT_EQ(SessionText("ly_log"), "yes");
  EXPECT_EQ(SessionText("ly_admin_log"), "yes");

  // A later owner login ends the superuser's login; a failed one logs out.
  Login("x_9", "other9");
  EXPECT_EQ(SessionText("ly_name"), "x_9");
  EXPECT_TRUE(page().Get("ly_admin_log").IsEmpty());
  Login("x_9", "wrong9");
  EXPECT_EQ(SessionText("ly_log") + SessionText("ly_name"), "");
}

TEST_F(AdminLoginTest, NameInAnotherLetterCaseLogsInAsStored) {
  Login("ADMIN", "root1");
  EXPECT_EQ(SessionText("ly_name"), "admin");
  EXPECT_EQ(SessionText("ly_admin_log"), "yes");
  // The menu links the name as typed.
  EXPECT_NE(page().body.find("<a href=\"show.asp?name=ADMIN\" target=\"_blank\">"),
            std::string::npos);
  EXPECT_NE(page().body.find("admin_log_off.asp?name=ADMIN&key="), std::string::npos);
}

TEST_F(AdminLoginTest, RefusalsWriteTheirTextAndLeaveTheSessionAlone) {
  struct Case {
    const char* golden;
    std::string name, password;
  } cases[] = {
      {"bad_password", "abc", "Sec>ret1"},
      {"bad_password", "abc", " ab "},
      {"bad_password", "abc", ""},
      {"no_such_user", "nobody", "Secret1"},
      {"no_such_user_escaped", "<b>\"x'&", "Secret1"},
      {"wrong_password", "abc", "secret1"},  // letter case counts
      {"wrong_password_other_book", "x_9", "Secret1"},
      {"wrong_password_escaped", "a\"b<c", "wrong1"},
  };
  Seed("insert into user(name, password) values ('a\"b<c', 'pass1')");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + "|" + c.password);
    page().session_values.clear();
    Login(c.name, c.password);
    testing::ExpectGolden(std::string("accounts/AdminLogin/") + c.golden + ".html",
                          page().body);
    EXPECT_TRUE(page().session_values.empty()) << c.golden;
  }
}

TEST_F(AdminLoginTest, AStoredPasswordWithAForbiddenMarkIsRefusedBeforeTheStore) {
  Seed("update user set password = 'ab>cd' where name = 'abc'");
  Login("abc", "ab>cd");
  EXPECT_EQ(page().body,
            std::string(Message(3)) +
                "<p></p><a href=\"javascript:history.go(-1);\">返回上一步</a>");
  EXPECT_TRUE(page().session_values.empty());
}

TEST_F(AdminLoginTest, TheMenuEscapesAnOddStoredName) {
  Seed("insert into user(name, password, titletop) values ('a\"b<c', 'pass1', 'T')");
  Login("a\"b<c", "pass1");
  testing::ExpectGolden("accounts/AdminLogin/menu_escaped.html", page().body);
  EXPECT_EQ(SessionText("ly_name"), "a\"b<c");
}

TEST_F(AdminLoginTest, ALoginOpensTheOwnerPages) {
  Login("abc", "Secret1");
  NextRequest();
  EXPECT_EQ(book().IsUserLogin(), 1);
  EXPECT_EQ(book().IsAdmin(), 0);
  EXPECT_EQ(page().body, "用户操作超时，请重新登陆，或没有权限！");
}

}  // namespace
}  // namespace tb
