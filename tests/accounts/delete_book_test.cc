#include <gtest/gtest.h>

#include <string>

#include "data/error.h"
#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

class UserDelMeTest : public testing::AccountsTest {
 protected:
  UserDelMeTest() { SeedBooks(); }
  void DeleteMe(const std::string& name, const std::string& password,
                const std::string& email) {
    Request({}, {{"name", name}, {"password", password}, {"email", email}});
    book().UserDelMe();
  }
};

TEST_F(UserDelMeTest, DeletesTheRowAndItsMessages) {
  page().session_values = {{"ly_log", Value("yes")}, {"ly_name", Value("ABC")}};
  DeleteMe(" abc ", " Secret1 ", " abc@x.example ");
  EXPECT_TRUE(page().Get("ly_log").IsEmpty()) << "logged out of the deleted guestbook";
  testing::ExpectGolden("accounts/UserDelMe/deleted.html", page().body);
  EXPECT_EQ(Books("abc"), 0);
  EXPECT_EQ(Messages("abc"), 0);
  EXPECT_EQ(Books("x_9"), 1);
  EXPECT_EQ(Messages("x_9"), 1);
}

TEST_F(UserDelMeTest, ReadsTheQueryStringToo) {
  Request({{"name", "x_9"}, {"password", "other9"}, {"email", "x9@x.example"}});
  book().UserDelMe();
  EXPECT_EQ(page().body, "用户：x_9注销成功！");
  EXPECT_EQ(Books("x_9"), 0);
  EXPECT_EQ(Messages("x_9"), 0);
  EXPECT_EQ(Messages("abc"), 2);
}

TEST_F(UserDelMeTest, RefusalsDeleteNothing) {
  Seed("update user set email = null where name = 'x_9'");
  struct Case {
    const char* golden;
    std::string name, password, email;
  } cases[] = {
      {"incomplete", "ab", "Secret1", "abc@x.example"},
      {"incomplete", "abc", " ab ", "abc@x.example"},
      {"admin", "admin", "root1", "root@site.example"},
      {"admin", " AdMiN ", "root1", "root@site.example"},
      {"no_such_user", "nobody", "Secret1", "abc@x.example"},
      {"no_such_user_escaped", "<i>x</i>&", "Secret1", "abc@x.example"},
      {"not_matching", "abc", "secret1", "abc@x.example"},
      {"not_matching", "abc", "Secret1", "ABC@x.example"},
      {"not_matching", "ABC", "Secret1", "abc@x.example"},
      {"not_matching", "x_9", "other9", ""},
  };
  page().session_values = {{"ly_log", Value("yes")}, {"ly_name", Value("abc")}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + "|" + c.password + "|" + c.email);
    DeleteMe(c.name, c.password, c.email);
    EXPECT_EQ(SessionText("ly_log"), "yes") << c.golden;
    testing::ExpectGolden(std::string("accounts/UserDelMe/") + c.golden + ".html",
                          page().body);
    EXPECT_EQ(Count("select id from user"), 3) << c.golden;
    EXPECT_EQ(Count("select id from liuyan"), 3) << c.golden;
  }
}

TEST_F(UserDelMeTest, AdminIsRefusedBeforeTheStoreIsOpened) {
  for (const char* name : {"admin", "ADMIN", "aDmIn"}) {
    Request({}, {{"name", name}, {"password", "root1"}, {"email", "root@site.example"}});
    book().SetDSNtemp("nowhere:");  // a store that cannot open
    book().UserDelMe();
    EXPECT_EQ(page().body, "admin 为系统帐号，不能删除！") << name;
  }
}

TEST_F(UserDelMeTest, AFailedMessageDeletionKeepsTheGuestbook) {
  Seed(
      "create trigger keep_messages before delete on liuyan "
      "begin select raise(abort, 'x'); end;");
  Request({}, {{"name", "abc"}, {"password", "Secret1"}, {"email", "abc@x.example"}});
  EXPECT_THROW(book().UserDelMe(), data::Error);
  EXPECT_EQ(page().body, "");
  EXPECT_EQ(Books("abc"), 1);
  EXPECT_EQ(Messages("abc"), 2);
  // The store is usable afterwards: nothing was left half done.
  Seed("drop trigger keep_messages");
  DeleteMe("abc", "Secret1", "abc@x.example");
  EXPECT_EQ(page().body, "用户：abc注销成功！");
  EXPECT_EQ(Books("abc"), 0);
}

TEST_F(UserDelMeTest, TheNameIsFreeAgainAfterwards) {
  DeleteMe("abc", "Secret1", "abc@x.example");
  Request({}, {{"name", "abc"},
               {"password", "new12"},
               {"password2", "new12"},
               {"email", "new@x.example"},
               {"homepage", "http://new.example/"},
               {"titletop", "新"},
               {"question", "问题"},
               {"answer", "答案"},
               {"idcard", "123456789012345"},
               {"nettype", "1"}});
  book().RegCheck();
  EXPECT_TRUE(page().body.starts_with("<p></p>恭喜！用户：abc注册成功！"));
  EXPECT_EQ(Scalar("select password from user where name = 'abc'"), "new12");
}

class UserDelAllInfoTest : public testing::AccountsTest {
 protected:
  UserDelAllInfoTest() { SeedBooks(); }
  // A request of the owner `owner` (none when empty).
  void Open(const std::string& owner, const testing::Fields& query) {
    page().session_values.clear();
    if (!owner.empty()) {
      page().Set("ly_name", Value(owner));
      page().Set("ly_log", Value("yes"));
    }
    Request(query);
    book().UserDelAllInfo();
  }
};

TEST_F(UserDelAllInfoTest, AsksForConfirmationFirst) {
  for (const char* del : {"", "0", "yes", "11"}) {
    Open("abc", {{"name", "abc"}, {"del", del}});
    testing::ExpectGolden("accounts/UserDelAllInfo/confirm.html", page().body);
    EXPECT_EQ(Messages("abc"), 2) << del;
  }
}

TEST_F(UserDelAllInfoTest, TheConfirmingLinkEscapesTheName) {
  Open("abc", {{"name", "\"><script>x</script>"}});
  testing::ExpectGolden("accounts/UserDelAllInfo/confirm_escaped.html", page().body);
}

TEST_F(UserDelAllInfoTest, DeletesEveryMessageAndKeepsTheGuestbook) {
  Open("abc", {{"name", " abc "}, {"del", " 1 "}});
  testing::ExpectGolden("accounts/UserDelAllInfo/deleted.html", page().body);
  EXPECT_EQ(Messages("abc"), 0);
  EXPECT_EQ(Messages("x_9"), 1);
  EXPECT_EQ(Books("abc"), 1);
  EXPECT_EQ(Scalar("select infoserial from user where name = 'abc'"), "2");

  // A guestbook without messages still reports success.
  Open("abc", {{"name", "abc"}, {"del", "1"}});
  EXPECT_EQ(page().body, "当前用户：abc<br><br><p></p>删除全部留言开始。。。删除成功！");
}

TEST_F(UserDelAllInfoTest, TheOwnerMayUseTheNameAsTypedAtLogin) {
  Open("abc", {{"name", "ABC"}, {"del", "1"}});
  EXPECT_EQ(page().body, "当前用户：ABC<br><br><p></p>删除全部留言开始。。。删除成功！");
  EXPECT_EQ(Messages("abc"), 0);
  EXPECT_EQ(Messages("x_9"), 1);
}

TEST_F(UserDelAllInfoTest, RefusalsDeleteNothing) {
  struct Case {
    const char* golden;
    std::string owner;
    testing::Fields query;
  } cases[] = {
      {"not_logged_in", "", {{"name", "abc"}, {"del", "1"}}},
      {"bad_name", "abc", {{"name", "a-b"}, {"del", "1"}}},
      {"bad_name_escaped", "abc", {{"name", "<b>&"}, {"del", "1"}}},
      {"another_owner", "x_9", {{"name", "abc"}, {"del", "1"}}},
  };
  for (const auto& c : cases) {
    Open(c.owner, c.query);
    testing::ExpectGolden(std::string("accounts/UserDelAllInfo/") + c.golden + ".html",
                          page().body);
    EXPECT_EQ(Messages("abc"), 2) << c.golden;
  }
  // Logged in as the owner, but the login flag is gone.
  page().session_values.clear();
  page().Set("ly_name", Value("abc"));
  page().Set("ly_log", Value("no"));
  Request({{"name", "abc"}, {"del", "1"}});
  book().UserDelAllInfo();
  EXPECT_EQ(page().body, "用户操作超时，请重新登陆，或没有权限！");
  EXPECT_EQ(Messages("abc"), 2);
}

TEST_F(UserDelAllInfoTest, FromLoginToDeletion) {
  page().session_values.clear();
  Request({}, {{"name", "abc"}, {"password", "Secret1"}});
  book().AdminLogin();
  Request({{"name", "abc"}});
  book().UserDelAllInfo();
  EXPECT_EQ(Messages("abc"), 2);
  Request({{"name", "abc"}, {"del", "1"}});
  book().UserDelAllInfo();
  EXPECT_EQ(Messages("abc"), 0);
}

}  // namespace
}  // namespace tb
