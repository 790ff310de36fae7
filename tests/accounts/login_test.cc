#include <gtest/gtest.h>

#include <string>

#include "component/messages.h"
#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

class AdminLoginTest : public testing::AccountsTest {
 protected:
  AdminLoginTest() {
    SeedBooks();
    Seed("insert into user(name, password, titletop) values ('a\"b<c', 'pass1', 'T')");
  }
  void Login(const std::string& name, const std::string& password) {
    Request({}, {{"name", name}, {"password", password}});
    book().AdminLogin();
  }
};

// The session holds the name as stored, the menu links it as typed; only the
// stored name "admin" becomes the superuser.
TEST_F(AdminLoginTest, OwnersGetTheMenu) {
  struct Case {
    const char *golden, *name, *password, *stored, *superuser;
  } cases[] = {
      {"menu_abc", " abc ", " Secret1 ", "abc", ""},
      {"menu_admin", "admin", "root1", "admin", "yes"},
      {"menu_admin_other_case", "ADMIN", "root1", "admin", "yes"},
      {"menu_escaped", "a\"b<c", "pass1", "a\"b<c", ""},
  };
  for (const auto& c : cases) {
    page().session_values.clear();
    Login(c.name, c.password);
    testing::ExpectGolden(std::string("accounts/AdminLogin/") + c.golden + ".html",
                          page().body);
    EXPECT_EQ(SessionText("ly_name") + "|" + SessionText("ly_log") + "|" +
                  SessionText("ly_admin_log"),
              std::string(c.stored) + "|yes|" + c.superuser);
  }
  // A later owner login ends the superuser's login; a failed one logs out.
  Login("x_9", "other9");
  EXPECT_EQ(SessionText("ly_name") + SessionText("ly_admin_log"), "x_9");
  // The login opens the owner's pages, not the superuser's.
  NextRequest();
  EXPECT_EQ(book().IsUserLogin(), 1);
  EXPECT_EQ(book().IsAdmin(), 0);
  EXPECT_EQ(page().body, "用户操作超时，请重新登陆，或没有权限！");
  Login("x_9", "wrong9");
  EXPECT_EQ(SessionText("ly_log") + SessionText("ly_name"), "");
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + "|" + c.password);
    page().session_values.clear();
    Login(c.name, c.password);
    testing::ExpectGolden(std::string("accounts/AdminLogin/") + c.golden + ".html",
                          page().body);
    EXPECT_TRUE(page().session_values.empty()) << c.golden;
  }
  // A stored password with a forbidden mark is refused before the store.
  Seed("update user set password = 'ab>cd' where name = 'abc'");
  Login("abc", "ab>cd");
  EXPECT_EQ(page().body,
            std::string(Message(3)) +
                "<p></p><a href=\"javascript:history.go(-1);\">返回上一步</a>");
  EXPECT_TRUE(page().session_values.empty());
}

}  // namespace
}  // namespace tb
