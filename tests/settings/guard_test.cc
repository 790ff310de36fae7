#include <gtest/gtest.h>

#include <string>

#include "tests/settings/settings_fixture.h"

namespace tb {
namespace {

using testing::kBackLink;
using testing::kNotLoggedIn;

class SettingsGuardTest : public testing::SettingsTest {};

struct Operation {
  const char* name;
  void (Guestbook::*run)();
};

constexpr Operation kOperations[] = {
    {"JieMian1", &Guestbook::JieMian1},
    {"JieMian1Check", &Guestbook::JieMian1Check},
    {"JieMian1_bak", &Guestbook::JieMian1_bak},
    {"JieMian2", &Guestbook::JieMian2},
    {"JieMian2Check", &Guestbook::JieMian2Check},
    {"JieMian3", &Guestbook::JieMian3},
    {"JieMian3Check", &Guestbook::JieMian3Check},
};

// A form that every check would accept, so that only the guard can stop it.
const testing::Fields kGoodForm = {
    {"homepage", "http://new.example/"},
    {"titletop", "新标题"},
    {"nettype", "综合门户"},
    {"infoname", "名字"},
    {"C1", "1"},
    {"oldpassword", "Secret1"},
    {"password", "NewPass1"},
    {"password2", "NewPass1"},
    {"email", "new@x.example"},
};

TEST_F(SettingsGuardTest, EveryOperationNeedsTheOwnersLogin) {
  const std::vector<std::pair<std::string, Value>> sessions[] = {
      {},
      {{"ly_log", Value("yes")}},                             // no name
      {{"ly_name", Value("abc")}},                            // not logged in
      {{"ly_log", Value("YES")}, {"ly_name", Value("abc")}},  // exact "yes" only
      {{"ly_admin_log", Value("yes")}},
  };
  const auto before = Row();
  for (const auto& op : kOperations) {
    for (const auto& session : sessions) {
      Post(kGoodForm);
      page().session_values.clear();
      for (const auto& [k, v] : session) page().Set(k, v);
      const auto keys_before = page().session_values.size();
      (book().*op.run)();
      EXPECT_EQ(page().body, kNotLoggedIn) << op.name;
      EXPECT_EQ(page().session_values.size(), keys_before) << op.name;
    }
  }
  EXPECT_EQ(Row(), before);
}

TEST_F(SettingsGuardTest, OwnerWhoseGuestbookIsGone) {
  LogIn("gone_1");
  const auto abc = Row();
  const std::pair<const char*, std::string> cases[] = {
      {"JieMian1", "没有这个用户"},
      {"JieMian1Check", "没有这个用户"},
      {"JieMian1_bak", "没有这个用户"},
      {"JieMian2", "没有这个用户"},
      {"JieMian2Check", "没有这个用户"},
      // The account form reads no row; its save finds none and is refused.
      {"JieMian3Check", "<br>" + std::string(kBackLink)},
  };
  for (const auto& [name, want] : cases) {
    Post(kGoodForm);
    const auto keys_before = page().session_values.size();
    for (const auto& op : kOperations) {
      if (std::string_view(op.name) == name) (book().*op.run)();
    }
    EXPECT_EQ(page().body, want) << name;
    EXPECT_EQ(page().session_values.size(), keys_before) << name;
  }
  EXPECT_EQ(Count("select id from user where name = 'gone_1'"), 0);
  EXPECT_EQ(Row(), abc);
}

TEST_F(SettingsGuardTest, OwnerNameWithAQuoteReachesTheStoreQuoted) {
  // Names never hold quotes, but the session value goes into SQL text all
  // the same, so it must be quoted on every path.
  Seed("insert into user(name, password, titletop) values ('o''k', 'Pass1', 'T')");
  LogIn("o'k");
  Post({{"homepage", "http://ok.example/"}, {"titletop", "OK's"}, {"nettype", "x"}});
  book().JieMian1Check();
  EXPECT_EQ(Column("titletop", "o''k"), "OK's");
  Post({{"infoname", "N"}});
  book().JieMian2Check();
  EXPECT_EQ(Column("infoname", "o''k"), "N");
  Post({{"oldpassword", "Pass1"}, {"password", "Pass2"}, {"password2", "Pass2"}});
  book().JieMian3Check();
  EXPECT_EQ(Column("password", "o''k"), "Pass2");
  Post({});
  book().JieMian1();
  EXPECT_EQ(page().Get("o'kjm1titletop").Text(), "OK's");
  EXPECT_EQ(Column("password"), "Secret1");
}

}  // namespace
}  // namespace tb
