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
  EXPECT_EQ(Books("abc") + Messages("abc"), 0);
  EXPECT_EQ(Books("x_9") + Messages("x_9"), 2);
  // The fields may come in the query string too.
  Request({{"name", "x_9"}, {"password", "other9"}, {"email", "x9@x.example"}});
  book().UserDelMe();
  EXPECT_EQ(page().body, "用户：x_9注销成功！");
  EXPECT_EQ(Books("x_9") + Messages("x_9"), 0);
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
    EXPECT_EQ(SessionText("ly_log"), "yes");
    testing::ExpectGolden(std::string("accounts/UserDelMe/") + c.golden + ".html",
                          page().body);
    EXPECT_EQ(Count("select id from user") + Count("select id from liuyan"), 6);
  }
  // The superuser is refused before the store is opened.
  for (const char* name : {"admin", "ADMIN", "aDmIn"}) {
    Request({}, {{"name", name}, {"password", "root1"}, {"email", "root@site.example"}});
    book().SetDSNtemp("nowhere:");  // a store that cannot open
    book().UserDelMe();
    EXPECT_EQ(page().body, "admin 为系统帐号，不能删除！") << name;
  }
}

TEST_F(UserDelMeTest, AFailedMessageDeletionKeepsTheGuestbook) {
  RefuseWrites("liuyan", "delete");
  Request({}, {{"name", "abc"}, {"password", "Secret1"}, {"email", "abc@x.example"}});
  EXPECT_THROW(book().UserDelMe(), data::Error);
  EXPECT_EQ(page().body, "");
  EXPECT_EQ(Books("abc") + Messages("abc"), 3);
  // The store is usable afterwards: nothing was left half done.
  Seed("drop trigger refuse_delete_liuyan");
  DeleteMe("abc", "Secret1", "abc@x.example");
  EXPECT_EQ(page().body, "用户：abc注销成功！");
  EXPECT_EQ(Books("abc"), 0);
}

class UserDelAllInfoTest : public testing::AccountsTest {
 protected:
  UserDelAllInfoTest() { SeedBooks(); }
  // A request of the owner `owner` (none when empty).
  void Open(const std::string& owner, const testing::Fields& query) {
    page().session_values.clear();
    if (!owner.empty()) LogIn(owner);
    Request(query);
    book().UserDelAllInfo();
  }
};

TEST_F(UserDelAllInfoTest, DeletesEveryMessageAndKeepsTheGuestbook) {
  Open("abc", {{"name", " abc "}, {"del", " 1 "}});
  testing::ExpectGolden("accounts/UserDelAllInfo/deleted.html", page().body);
  EXPECT_EQ(Messages("abc"), 0);
  EXPECT_EQ(Messages("x_9"), 1);
  EXPECT_EQ(Books("abc"), 1);
  EXPECT_EQ(Scalar("select infoserial from user where name = 'abc'"), "2");
}

TEST_F(UserDelAllInfoTest, TheOwnerMayUseTheNameAsTypedAtLogin) {
  Open("abc", {{"name", "ABC"}, {"del", "1"}});
  EXPECT_EQ(page().body, "当前用户：ABC<br><br><p></p>删除全部留言开始。。。删除成功！");
  EXPECT_EQ(Messages("abc"), 0);
  EXPECT_EQ(Messages("x_9"), 1);
  // A guestbook without messages still reports success.
  Open("abc", {{"name", "abc"}, {"del", "1"}});
  EXPECT_EQ(page().body, "当前用户：abc<br><br><p></p>删除全部留言开始。。。删除成功！");
}

// Without "del=1" the owner is asked first; refusals and questions delete
// nothing.
TEST_F(UserDelAllInfoTest, QuestionsAndRefusalsDeleteNothing) {
  struct Case {
    const char* golden;
    std::string owner;
    testing::Fields query;
  } cases[] = {
      {"confirm", "abc", {{"name", "abc"}, {"del", ""}}},
      {"confirm", "abc", {{"name", "abc"}, {"del", "0"}}},
      {"confirm", "abc", {{"name", "abc"}, {"del", "yes"}}},
      {"confirm", "abc", {{"name", "abc"}, {"del", "11"}}},
      {"confirm_escaped", "abc", {{"name", "\"><script>x</script>"}}},
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
}

}  // namespace
}  // namespace tb
