#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/error.h"
#include "tests/support/support.h"

namespace tb {
namespace {

constexpr std::string_view kRefused = "用户操作超时，请重新登陆，或没有权限！";

class SuperuserToolsTest : public testing::PageTest {
 protected:
  SuperuserToolsTest() {
    Seed(
        "insert into user(name, password, email, regtime) values "
        "('admin', 'root1', 'root@site.example', '2024-01-01 00:00:00'), "
        "('abc', 'pa<ss\"w', 'abc@x.example', '2025-01-02 03:04:05'), "
        "('x_9', 'secret', 'abc@x.example', '2025-05-06 07:08:09'), "
        "('nomail', 'secret', null, '2025-05-06 07:08:09'), "
        "('evil', 'secret', '<img src=x>@e.example', '2025-05-06 07:08:09')");
    Seed(
        "insert into liuyan(name, ip, guestname, infoseekno) values "
        "('abc', '10.0.0.1', 'Tom', 1), ('abc', '10.0.0.2', 'Ann', 2), "
        "('x_9', '10.0.0.1', 'Tom', 1), ('x_9', '10.0.0.3', 'O''Neil', 2), "
        "('admin', '10.0.0.1', 'Bob', 1)");
  }
  // A new request by the superuser (or by a visitor when `superuser` is
  // false) with the given query and form fields.
  void Request(bool superuser,
               const std::vector<std::pair<std::string, std::string>>& query,
               const std::vector<std::pair<std::string, std::string>>& form = {}) {
    page().session_values.clear();
    if (superuser) page().Set("ly_admin_log", Value("yes"));
    NextRequest();
    for (const auto& [k, v] : query) page().query.Add(k, v);
    for (const auto& [k, v] : form) page().form.Add(k, v);
  }
  std::int64_t Messages(const std::string& where = "1") {
    return Count("select id from liuyan where " + where);
  }
  std::int64_t Books(const std::string& where = "1") {
    return Count("select id from user where " + where);
  }
};

TEST_F(SuperuserToolsTest, EveryToolRefusesAVisitor) {
  struct Case {
    const char* tool;
    void (Guestbook::*run)();
  } cases[] = {
      {"AdminDelUserInfo", &Guestbook::AdminDelUserInfo},
      {"AdminDelUser", &Guestbook::AdminDelUser},
      {"GetAllMail", &Guestbook::GetAllMail},
      {"GetPassWord", &Guestbook::GetPassWord},
      {"DataAdmin", &Guestbook::DataAdmin},
  };
  for (const auto& c : cases) {
    for (const char* flag : {"", "no", "YES"}) {
      Request(false, {{"name", "abc"}},
              {{"name", "abc"}, {"r1", "ip"}, {"what", "10.0.0.1"}});
      page().Set("ly_log", Value("yes"));  // an owner, but not the superuser
      page().Set("ly_name", Value("abc"));
      if (*flag) page().Set("ly_admin_log", Value(flag));
      (book().*c.run)();
      EXPECT_EQ(page().body, kRefused) << c.tool << " " << flag;
    }
  }
  EXPECT_EQ(Messages(), 5);
  EXPECT_EQ(Books(), 5);
}

TEST_F(SuperuserToolsTest, AdminDelUserInfoDeletesOnlyTheMessages) {
  Request(true, {{"name", "ABC"}});
  book().AdminDelUserInfo();
  EXPECT_EQ(page().body, "正在删除：ABC 。。。<br>已经删除：ABC留言。");
  EXPECT_EQ(Messages("name = 'abc'"), 0);
  EXPECT_EQ(Messages(), 3);
  EXPECT_EQ(Books("name = 'abc'"), 1);
}

TEST_F(SuperuserToolsTest, AdminDelUserInfoTakesTheNameAsSent) {
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"", "name error! expect name to delete"},
      // Not trimmed: the blank is part of the name, which has no messages.
      {" abc", "正在删除： abc 。。。<br>已经删除： abc留言。"},
      {"nobody", "正在删除：nobody 。。。<br>已经删除：nobody留言。"},
      {"<b>O'x&",
       "正在删除：&lt;b&gt;O&#39;x&amp; 。。。<br>已经删除：&lt;b&gt;O&#39;x&amp;留言。"},
  };
  for (const auto& c : cases) {
    Request(true, {{"name", c.name}});
    book().AdminDelUserInfo();
    EXPECT_EQ(page().body, c.body) << c.name;
  }
  EXPECT_EQ(Messages(), 5);
}

TEST_F(SuperuserToolsTest, AdminDelUserDeletesTheGuestbookAndItsMessages) {
  Request(true, {{"name", "  abc "}});
  book().AdminDelUser();
  EXPECT_EQ(page().body, "正在删除：abc 。。。<br>已经删除：abc用户和留言内容。");
  EXPECT_EQ(Books("name = 'abc'"), 0);
  EXPECT_EQ(Messages("name = 'abc'"), 0);
  EXPECT_EQ(Books(), 4);
  EXPECT_EQ(Messages(), 3);
}

TEST_F(SuperuserToolsTest, AdminDelUserRefusals) {
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"", "name error! expect name to delete"},
      {"   ", "name error! expect name to delete"},
      {"admin", "admin为系统帐号，不能删除！"},
      {" Admin ", "admin为系统帐号，不能删除！"},
      {"ADMIN", "admin为系统帐号，不能删除！"},
      // Deleting what does not exist is no error.
      {"nobody", "正在删除：nobody 。。。<br>已经删除：nobody用户和留言内容。"},
      {"a\"b<",
       "正在删除：a&quot;b&lt; 。。。<br>已经删除：a&quot;b&lt;用户和留言内容。"},
  };
  for (const auto& c : cases) {
    Request(true, {{"name", c.name}});
    book().AdminDelUser();
    EXPECT_EQ(page().body, c.body) << c.name;
  }
  EXPECT_EQ(Books(), 5);
  EXPECT_EQ(Messages(), 5);
}

TEST_F(SuperuserToolsTest, AdminDelUserIsAllOrNothing) {
  Seed(
      "create trigger keep_messages before delete on liuyan "
      "begin select raise(abort, 'messages are kept'); end");
  Request(true, {{"name", "abc"}});
  EXPECT_THROW(book().AdminDelUser(), data::Error);
  EXPECT_EQ(page().body, "正在删除：abc 。。。<br>");
  EXPECT_EQ(Books("name = 'abc'"), 1);
  EXPECT_EQ(Messages("name = 'abc'"), 2);
}

TEST_F(SuperuserToolsTest, GetAllMailListsEachAddressOnce) {
  Request(true, {});
  book().GetAllMail();
  // The guestbook without an address gives an empty line, first.
  testing::ExpectGolden("admin/all_mail.html", page().body);
  EXPECT_EQ(page().body,
            "所有注册用户的电子邮件如下：<br><br>&lt;img src=x&gt;@e.example<br>"
            "abc@x.example<br>root@site.example<br>读取完成！");
}

TEST_F(SuperuserToolsTest, GetPassWordShowsTheAccount) {
  Request(true, {}, {{"name", " abc "}});
  book().GetPassWord();
  testing::ExpectGolden("admin/password_abc.html", page().body);
}

TEST_F(SuperuserToolsTest, GetPassWordUnknownName) {
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"nobody", "没有这个用户：nobody"},
      {"  ", "没有这个用户："},
      {"<i>O'Neil", "没有这个用户：&lt;i&gt;O&#39;Neil"},
  };
  for (const auto& c : cases) {
    Request(true, {}, {{"name", c.name}});
    book().GetPassWord();
    EXPECT_EQ(page().body, c.body) << c.name;
  }
}

TEST_F(SuperuserToolsTest, DataAdminDeletesAcrossGuestbooks) {
  Request(true, {}, {{"r1", "ip"}, {"what", " 10.0.0.1 "}});
  book().DataAdmin();
  EXPECT_EQ(page().body, "如果：ip = 10.0.0.1那么将他无条件删除。。。<br>删除完成！");
  EXPECT_EQ(Messages("ip = '10.0.0.1'"), 0);
  EXPECT_EQ(Messages(), 2);
  EXPECT_EQ(Books(), 5);
}

TEST_F(SuperuserToolsTest, DataAdminColumnIgnoresCaseAndValueIsQuoted) {
  Request(true, {}, {{"r1", "GuestName"}, {"what", "O'Neil"}});
  book().DataAdmin();
  EXPECT_EQ(page().body,
            "如果：GuestName = O&#39;Neil那么将他无条件删除。。。<br>删除完成！");
  EXPECT_EQ(Messages("guestname = 'O''Neil'"), 0);
  EXPECT_EQ(Messages(), 4);
}

TEST_F(SuperuserToolsTest, DataAdminRefusals) {
  struct Case {
    const char* r1;
    const char* what;
    const char* body;
  } cases[] = {
      {"", "10.0.0.1", "请输入要删除的内容！"},   {"ip", "", "请输入要删除的内容！"},
      {"ip", "   ", "请输入要删除的内容！"},      {"", "", "请输入要删除的内容！"},
      {"password", "x", "r1:参数错误！"},         {" ip", "10.0.0.1", "r1:参数错误！"},
      {"1=1 or ip", "10.0.0.1", "r1:参数错误！"}, {"ip = ip or ip", "x", "r1:参数错误！"},
  };
  for (const auto& c : cases) {
    Request(true, {}, {{"r1", c.r1}, {"what", c.what}});
    book().DataAdmin();
    EXPECT_EQ(page().body, c.body) << c.r1 << "|" << c.what;
  }
  EXPECT_EQ(Messages(), 5);
}

TEST_F(SuperuserToolsTest, DataAdminEscapesAndWritesItsLineFirst) {
  Seed("insert into liuyan(name, subject) values ('abc', '<b>\"hi\"&')");
  Seed(
      "create trigger keep_messages before delete on liuyan "
      "begin select raise(abort, 'messages are kept'); end");
  Request(true, {}, {{"r1", "subject"}, {"what", "<b>\"hi\"&"}});
  EXPECT_THROW(book().DataAdmin(), data::Error);
  EXPECT_EQ(page().body,
            "如果：subject = &lt;b&gt;&quot;hi&quot;&amp;那么将他无条件删除。。。");
  EXPECT_EQ(Messages(), 6);
}

TEST_F(SuperuserToolsTest, DataAdminByNumber) {
  Request(true, {}, {{"r1", "id"}, {"what", "2"}});
  book().DataAdmin();
  EXPECT_EQ(Messages("id = 2"), 0);
  EXPECT_EQ(Messages(), 4);
}

}  // namespace
}  // namespace tb
