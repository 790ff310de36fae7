// The owner's three settings forms and their saves (JieMian1 to JieMian3
// and their checks, the older form JieMian1_bak): each case of a save is a
// line of tests/cases/settings/, its outcome a section of a golden file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

// The owner "abc" with every column of the row filled, logged in, and a
// second guestbook that no save may touch (tests/cases/settings/books.txt).
class SettingsTest : public CaseTest {
 protected:
  SettingsTest() {
    SeedFile("settings/books.txt");
    LogIn();
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
    std::istringstream was(before), is(after);
    std::string out;
    for (std::string old_line, line; std::getline(is, line);)
      if (!std::getline(was, old_line) || old_line != line)
        out += "changed " + line + "\n";
    return out;
  }

  // The fields of the post the cases of settings/<name>.txt start from.
  static std::vector<std::string> Post(std::string_view name) {
    for (const Case& c : ReadCases("settings/posts.txt"))
      if (c[0] == name) return {c.fields.begin() + 1, c.fields.end()};
    ADD_FAILURE() << "no post for " << name;
    return {};
  }

  // Each case of tests/cases/settings/<name>.txt run as `member` by the
  // owner "abc" on freshly seeded guestbooks, from its post; golden
  // settings/<name>.txt keeps the outcome, the columns that changed and the
  // address drawn to confirm.
  void ExpectSaves(const std::string& name, std::string_view member) {
    base_ = Post(name);
    std::string log;
    for (Case c : ReadCases("settings/" + name + ".txt")) {
      ClearStore();
      SeedFile("settings/books.txt");
      const std::string before = Rows();
      c.fields.insert(c.fields.begin(), {std::string(member), "abc"});
      log += Run(c);
      log += Changes(before, Rows());
      if (const auto& confirm = book().outcome().confirm)
        log += "confirm " + confirm->email + " " + confirm->name + " " + confirm->code +
               "\n";
    }
    ExpectGolden("settings/" + name + ".txt", log);
  }
  // Each case of tests/cases/settings/<name>.txt in turn from its post, on
  // one store; golden settings/<name>.txt keeps their outcomes and the
  // columns that changed over all of them.
  void ExpectRequests(const std::string& name) {
    base_ = Post(name);
    const std::string before = Rows();
    const std::string log = RunAll("settings/" + name + ".txt");
    ExpectGolden("settings/" + name + ".txt", log + Changes(before, Rows()));
  }
};

TEST_F(SettingsTest, GuestbookForm) {
  ExpectSaves("basic", "JieMian1Check");
  ExpectRequests("JieMian1");
}

// The older guestbook form and the message form settings page, each from
// the row as a case leaves it; then the message form settings' saves.
TEST_F(SettingsTest, FormsFromTheRowAndMessageFormSaves) {
  for (const Case& c : ReadCases("settings/forms.txt")) {
    Seed("update user set " + c[2] + " where name = 'abc'");
    Run({"", {c[0], "="}, {}});
    ExpectGolden(c[1], page().body);
  }
  ExpectSaves("display", "JieMian2Check");
  NextRequest();  // the last save's values show in the form
  book().JieMian2();
  ExpectGolden("JieMian2/saved.html", page().body);
}

TEST_F(SettingsTest, AccountForm) {
  book().JieMian3();
  ExpectGolden("JieMian3/form.html", page().body);
  ExpectSaves("account", "JieMian3Check");
  ExpectRequests("account_after");
}

// Without the owner's login, or with a guestbook that is gone, a post that
// every check would accept is stopped by the guard alone.
TEST_F(SettingsTest, GuardsOfEveryOperation) { ExpectRequests("guards"); }

TEST_F(SettingsTest, OwnerNameWithAQuoteReachesTheStoreQuoted) {
  Seed("insert into user(name, password, titletop) values ('o''k', 'Pass1', 'T')");
  ExpectRequests("quoted_name");
}

}  // namespace
}  // namespace tb::testing
