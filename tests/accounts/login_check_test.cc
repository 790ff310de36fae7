#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace tb {
namespace {

class LoginCheckTest : public testing::PageTest {};

TEST_F(LoginCheckTest, OwnerAndSuperuserTests) {
  constexpr std::string_view kRefused = "用户操作超时，请重新登陆，或没有权限！";
  struct Case {
    std::vector<std::pair<const char*, Value>> session;
    int user, admin;
  } cases[] = {
      {{}, 0, 0},
      {{{"ly_log", Value("yes")}}, 0, 0},  // no name
      {{{"ly_log", Value("yes")}, {"ly_name", Value("abc")}}, 1, 0},
      {{{"ly_log", Value("Yes")}, {"ly_name", Value("abc")}}, 0, 0},
      {{{"ly_log", Value("no")}, {"ly_name", Value("abc")}}, 0, 0},
      {{{"ly_admin_log", Value("yes")}}, 0, 1},
      {{{"ly_log", Value("yes")},
        {"ly_name", Value("admin")},
        {"ly_admin_log", Value("yes")}},
       1,
       1},
  };
  for (const auto& c : cases) {
    page().session_values.clear();
    for (const auto& [k, v] : c.session) page().Set(k, v);
    page().body.clear();
    EXPECT_EQ(book().IsUserLogin(), c.user);
    EXPECT_EQ(page().body, c.user ? "" : kRefused);
    page().body.clear();
    EXPECT_EQ(book().IsAdmin(), c.admin);
    EXPECT_EQ(page().body, c.admin ? "" : kRefused);
  }
}

}  // namespace
}  // namespace tb
