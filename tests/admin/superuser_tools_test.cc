#include <gtest/gtest.h>

#include <map>
#include <string>

#include "data/error.h"
#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb {
namespace {

using Tool = void (Guestbook::*)();
const std::map<std::string, Tool> kTools = {
    {"AdminDelUserInfo", &Guestbook::AdminDelUserInfo},
    {"AdminDelUser", &Guestbook::AdminDelUser},
    {"GetAllMail", &Guestbook::GetAllMail},
    {"GetPassWord", &Guestbook::GetPassWord},
    {"DataAdmin", &Guestbook::DataAdmin},
};

class SuperuserToolsTest : public testing::PageTest {
 protected:
  SuperuserToolsTest() { Reset(); }
  // Five guestbooks (one without an address, one whose address is markup)
  // and five messages, the ids counted from 1 again.
  void Reset() {
    ClearStore();
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
  void Request(bool superuser, const testing::Fields& query,
               const testing::Fields& form = {}) {
    page().session_values.clear();
    if (superuser) LogIn("admin");
    PageTest::Request(query, form);
  }
  // The guestbooks and the ids of the messages left.
  std::string Left() {
    return Joined("select name from user order by id") + " / " +
           Joined("select id from liuyan order by id");
  }
};

TEST_F(SuperuserToolsTest, EveryToolRefusesAVisitor) {
  for (const auto& [tool, run] : kTools) {
    for (const char* flag : {"", "no", "YES"}) {
      Request(false, {{"name", "abc"}},
              {{"name", "abc"}, {"r1", "ip"}, {"what", "10.0.0.1"}});
      LogIn("abc");  // an owner, but not the superuser
      if (*flag) page().Set("ly_admin_log", Value(flag));
      (book().*run)();
      EXPECT_EQ(page().body, "用户操作超时，请重新登陆，或没有权限！")
          << tool << " " << flag;
    }
  }
  EXPECT_EQ(Left(), "admin,abc,x_9,nomail,evil / 1,2,3,4,5");
}

// Each tool's page and what it leaves in the store, a section of the golden
// file each, from the same five guestbooks and messages: names taken as sent
// (trimmed only to delete a guestbook) and escaped on the page, the
// superuser's own guestbook kept, each address listed once (the missing one
// as an empty line, first), the account shown, deletions across guestbooks
// by any column but the password, the column name's case ignored and the
// value quoted.
TEST_F(SuperuserToolsTest, ToolsOfTheSuperuser) {
  struct Case {
    const char* tool;
    testing::Fields query, form = {};
  } cases[] = {
      {"AdminDelUserInfo", {{"name", "ABC"}}},
      {"AdminDelUserInfo", {{"name", ""}}},
      {"AdminDelUserInfo", {{"name", " abc"}}},
      {"AdminDelUserInfo", {{"name", "nobody"}}},
      {"AdminDelUserInfo", {{"name", "<b>O'x&"}}},
      {"AdminDelUser", {{"name", "  abc "}}},
      {"AdminDelUser", {{"name", ""}}},
      {"AdminDelUser", {{"name", "   "}}},
      {"AdminDelUser", {{"name", "admin"}}},
      {"AdminDelUser", {{"name", " Admin "}}},
      {"AdminDelUser", {{"name", "ADMIN"}}},
      {"AdminDelUser", {{"name", "nobody"}}},
      {"AdminDelUser", {{"name", "a\"b<"}}},
      {"GetAllMail", {}},
      {"GetPassWord", {}, {{"name", " abc "}}},
      {"GetPassWord", {}, {{"name", "nobody"}}},
      {"GetPassWord", {}, {{"name", "  "}}},
      {"GetPassWord", {}, {{"name", "<i>O'Neil"}}},
      {"DataAdmin", {}, {{"r1", "ip"}, {"what", " 10.0.0.1 "}}},
      {"DataAdmin", {}, {{"r1", "GuestName"}, {"what", "O'Neil"}}},
      {"DataAdmin", {}, {{"r1", "id"}, {"what", "2"}}},
      {"DataAdmin", {}, {{"r1", ""}, {"what", "10.0.0.1"}}},
      {"DataAdmin", {}, {{"r1", "ip"}, {"what", ""}}},
      {"DataAdmin", {}, {{"r1", "ip"}, {"what", "   "}}},
      {"DataAdmin", {}, {{"r1", ""}, {"what", ""}}},
      {"DataAdmin", {}, {{"r1", "password"}, {"what", "x"}}},
      {"DataAdmin", {}, {{"r1", " ip"}, {"what", "10.0.0.1"}}},
      {"DataAdmin", {}, {{"r1", "1=1 or ip"}, {"what", "10.0.0.1"}}},
      {"DataAdmin", {}, {{"r1", "ip = ip or ip"}, {"what", "x"}}},
  };
  std::string log;
  for (const auto& c : cases) {
    Reset();
    Request(true, c.query, c.form);
    (book().*kTools.at(c.tool))();
    log += std::string("## ") + c.tool;
    for (const auto& [k, v] : c.query) log += " " + k + "=[" + v + "]";
    for (const auto& [k, v] : c.form) log += " " + k + "=[" + v + "]";
    log += "\n" + page().body + "\nleft " + Left() + "\n";
  }
  testing::ExpectGolden("admin/tools.txt", log);
}

// A failing deletion changes nothing; the line before it is written.
TEST_F(SuperuserToolsTest, DeletionsAreAllOrNothing) {
  Seed("insert into liuyan(name, subject) values ('abc', '<b>\"hi\"&')");
  RefuseWrites("liuyan", "delete");
  Request(true, {{"name", "abc"}});
  EXPECT_THROW(book().AdminDelUser(), data::Error);
  EXPECT_EQ(page().body, "正在删除：abc 。。。<br>");
  Request(true, {}, {{"r1", "subject"}, {"what", "<b>\"hi\"&"}});
  EXPECT_THROW(book().DataAdmin(), data::Error);
  EXPECT_EQ(page().body,
            "如果：subject = &lt;b&gt;&quot;hi&quot;&amp;那么将他无条件删除。。。");
  EXPECT_EQ(Left(), "admin,abc,x_9,nomail,evil / 1,2,3,4,5,6");
}

}  // namespace
}  // namespace tb
