// The owner's three settings forms and their saves (JieMian1 to JieMian3
// and their checks, the older form JieMian1_bak): each case of a save is a
// line of tests/cases/settings/, its outcome a section of a golden file.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "data/connection.h"
#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

constexpr std::string_view kNotLoggedIn = "用户操作超时，请重新登陆，或没有权限！";

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

// A post that every check would accept, so that only the guard can stop it.
const Fields kGoodForm = {
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

// The owner "abc" with every column of the row filled, logged in, and a
// second guestbook that no save may touch.
class SettingsTest : public PageTest {
 protected:
  SettingsTest() {
    SeedBooks();
    LogIn();
  }
  void SeedBooks() {
    Seed(
        "insert into user(name, password, email, homepage, regtime, modifytime, ip, "
        "html, "
        "titletop, topformat, topimage, backimage, infolistno, sendinfo, nettype, "
        "question, answer, idcard, crccode, hascrc, counter, infoserial, infostyle, "
        "infoname, infomail, infohomepage, infowhere, infooicq, infosubject, readonly, "
        "maxinfo) values "
        "('abc', 'Secret1', 'abc@x.example', 'http://abc.example/', '2025-01-02 "
        "03:04:05', "
        "'2025-06-07 08:09:10', '192.168.0.9', '2', '<b>小花的留言板</b>', '1', "
        "'http://abc.example/top.gif', 'http://abc.example/back.jpg', 15, '0', "
        "'电脑网络', "
        "'我的猫叫什么？', 'Mimi', '110101199001011234', 123456, '1', 77, 5, "
        "'10100000000011111111', '<font color=\"red\">网名</font>', 'E-mail：', "
        "'主页：', "
        "'来自：', 'QQ：', '主题：', '0', '0'), "
        "('x_9', 'other9', 'x9@x.example', 'http://x9.example/', '2025-01-01 00:00:00', "
        "'2025-01-01 00:00:00', '10.0.0.9', '0', 'X9', '0', '', '', 10, '1', '其他类别', "
        "'q9', 'a9', '123456789012345', 222222, '0', 3, 1, '11111111111101111111', "
        "'姓名', '电子邮件：', '主页：', '来自：', 'QQ号码：', '留言主题：', '0', '0')");
  }

  // Every column of every guestbook as text, a "name.column=value" line each.
  std::string Rows() {
    data::Connection conn(pool());
    conn.Open(dsn());
    const data::Result result = conn.engine()->Run("select * from user order by id", {});
    std::string out;
    for (const data::Row& row : result.rows)
      for (std::size_t i = 0; i < row.size(); ++i)
        out += row[result.Find("name")].Text() + "." + result.columns[i] + "=" +
               row[i].Text() + "\n";
    return out;
  }

  // The lines of `after` that differ from those of `before`.
  static std::string Changes(const std::string& before, const std::string& after) {
    std::string out;
    for (std::size_t b = 0, a = 0; a < after.size();) {
      const std::size_t b_end = before.find('\n', b), a_end = after.find('\n', a);
      if (b >= before.size() || before.compare(b, b_end - b, after, a, a_end - a) != 0)
        out += "changed " + after.substr(a, a_end - a + 1);
      b = b_end == std::string::npos ? before.size() : b_end + 1;
      a = a_end + 1;
    }
    return out;
  }

  // Each case of tests/cases/settings/<name>.txt on the seeded guestbooks:
  // `form` posted with the case's fields (one not in `form` added, one "-"
  // left out), `op` run; golden settings/<name>.txt keeps the outcome, the
  // columns that changed and the address drawn to confirm.
  void ExpectSaves(const std::string& name, Fields form, void (Guestbook::*op)()) {
    std::string log;
    for (const Case& c : ReadCases("settings/" + name + ".txt")) {
      ClearStore();
      SeedBooks();
      const std::string before = Rows();
      Fields post = form;
      Fields fields;
      for (const std::string& column : c)
        std::ranges::copy(FieldsOf(column), std::back_inserter(fields));
      for (const auto& field : fields) {
        auto it = std::find_if(post.begin(), post.end(),
                               [&](const auto& f) { return f.first == field.first; });
        if (it == post.end())
          post.push_back(field);
        else
          it->second = field.second;
      }
      std::erase_if(post, [](const auto& field) { return field.second == "-"; });
      Request({}, post);
      (book().*op)();
      log += "## " + c.line + "\n" + Outcome(page()) + Changes(before, Rows());
      if (const auto& confirm = book().outcome().confirm)
        log += "confirm " + confirm->email + " " + confirm->name + " " + confirm->code +
               "\n";
    }
    ExpectGolden("settings/" + name + ".txt", log);
  }
};

TEST_F(SettingsTest, GuestbookForm) {
  ExpectSaves("basic",
              {{"homepage", " http://new.example/home "},
               {"html", "1"},
               {"titletop", "  新的<i>标题</i>  "},
               {"infolistno", " 12 "},
               {"sendinfo", "1"},
               {"backimage", " https://new.example/b.gif "},
               {"topimage", ""},
               {"topformat", "1"},
               {"nettype", " 科学教育 "}},
              &Guestbook::JieMian1Check);
  // The row is copied into the session (a number stays a number), each
  // owner's copies under keys of their own; a save changes them only when
  // the form is shown again.
  NextRequest();
  book().JieMian1();
  std::string log = Outcome(page());
  Request(
      {},
      {{"homepage", "http://new.example/"}, {"titletop", "新标题"}, {"nettype", "x"}});
  book().JieMian1Check();
  for (const char* owner : {"x_9", "abc"}) {
    LogIn(owner);
    NextRequest();
    book().JieMian1();
    log += Outcome(page());
  }
  ExpectGolden("settings/JieMian1.txt", log);
}

// The stored category comes first, selected, and again among the fixed ones;
// the choices start the same whatever the row holds; quotes in stored values
// cannot end their attributes.
TEST_F(SettingsTest, OlderGuestbookForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"stored_category", "nettype = nettype"},
      {"empty_values",
       "titletop = null, topimage = '', backimage = null, infolistno = null, "
       "nettype = null, homepage = ''"},
      {"quotes",
       "titletop = '<font color=\"red\">Tom''s</font>', homepage = "
       "'http://a.example/\" onmouseover=\"x', nettype = '<b>\"类\"</b>'"},
  };
  for (const auto& [golden, update] : cases) {
    Seed("update user set " + std::string(update) + " where name = 'abc'");
    NextRequest();
    book().JieMian1_bak();
    ExpectGolden("JieMian1_bak/" + std::string(golden) + ".html", page().body);
  }
}

TEST_F(SettingsTest, MessageFormSettings) {
  for (const Case& c : ReadCases("settings/display_forms.txt")) {
    Seed("update user set " + c[1] + " where name = 'abc'");
    NextRequest();
    book().JieMian2();
    ExpectGolden(c[0], page().body);
  }
  ExpectSaves("display", {}, &Guestbook::JieMian2Check);
  NextRequest();  // the last save's values show in the form
  book().JieMian2();
  ExpectGolden("JieMian2/saved.html", page().body);
}

TEST_F(SettingsTest, AccountForm) {
  book().JieMian3();
  ExpectGolden("JieMian3/form.html", page().body);
  ExpectSaves("account",
              {{"oldpassword", "Secret1"},
               {"password", "NewPass1"},
               {"password2", "NewPass1"},
               {"question", ""},
               {"answer", ""},
               {"idcard", ""},
               {"email", ""}},
              &Guestbook::JieMian3Check);
  // The new password is the one to give next time.
  Request({},
          {{"oldpassword", "Secret1"}, {"password", "x1234"}, {"password2", "x1234"}});
  book().JieMian3Check();
  EXPECT_EQ(page().body,
            "原始密码错误！<br><p></p><a href=\"javascript:history.go(-1);\">"
            "回上一步重新填写</a>");
}

TEST_F(SettingsTest, EveryOperationNeedsTheOwnersLogin) {
  const std::vector<std::pair<std::string, Value>> sessions[] = {
      {},
      {{"ly_log", Value("yes")}},                             // no name
      {{"ly_name", Value("abc")}},                            // not logged in
      {{"ly_log", Value("YES")}, {"ly_name", Value("abc")}},  // exact "yes" only
      {{"ly_admin_log", Value("yes")}},
  };
  const std::string before = Rows();
  for (const auto& op : kOperations) {
    for (const auto& session : sessions) {
      Request({}, kGoodForm);
      page().session_values.clear();
      for (const auto& [k, v] : session) page().Set(k, v);
      (book().*op.run)();
      EXPECT_EQ(page().body, kNotLoggedIn) << op.name;
      EXPECT_EQ(page().session_values.size(), session.size()) << op.name;
    }
  }
  EXPECT_EQ(Rows(), before);
}

// An owner whose guestbook is gone: each page and the session it leaves
// (the account form reads no row; its save finds none and is refused).
TEST_F(SettingsTest, OwnerWhoseGuestbookIsGone) {
  LogIn("gone_1");
  const std::string before = Rows();
  std::string log;
  for (const auto& op : kOperations) {
    if (std::string_view(op.name) == "JieMian3") continue;
    Request({}, kGoodForm);
    (book().*op.run)();
    log += std::string("## ") + op.name + "\n" + Outcome(page());
  }
  ExpectGolden("settings/gone.txt", log + Changes(before, Rows()));
}

// Names never hold quotes, but the session value goes into SQL text all the
// same, so it must be quoted on every path.
TEST_F(SettingsTest, OwnerNameWithAQuoteReachesTheStoreQuoted) {
  Seed("insert into user(name, password, titletop) values ('o''k', 'Pass1', 'T')");
  LogIn("o'k");
  const std::string before = Rows();
  Request({},
          {{"homepage", "http://ok.example/"}, {"titletop", "OK's"}, {"nettype", "x"}});
  book().JieMian1Check();
  Request({}, {{"infoname", "N"}});
  book().JieMian2Check();
  Request({}, {{"oldpassword", "Pass1"}, {"password", "Pass2"}, {"password2", "Pass2"}});
  book().JieMian3Check();
  Request({});
  book().JieMian1();
  ExpectGolden("settings/quoted_name.txt", Outcome(page()) + Changes(before, Rows()));
}

}  // namespace
}  // namespace tb::testing
