// The message form (Add): its key, the settings it copies, the pruning of
// old messages; and the avatar table (Image1).
#include <gtest/gtest.h>

#include "tests/board_form/form_fixture.h"

namespace tb::testing {
namespace {

class AddTest : public FormTest {
 protected:
  AddTest() { base_ = {}; }
  void Visit(std::string_view name, std::string_view max_num = "-") {
    Call("Add", {"?name=" + std::string(name), "@MaxNum=" + std::string(max_num)});
  }
  std::int64_t Left(std::string_view name = "abc") {
    return Count("select * from liuyan where name = '" + std::string(name) + "'");
  }
};

// The key is a nine-digit number kept as text; the form settings are copied
// into the session under the guestbook's keys, a null column as empty.
TEST_F(AddTest, IssuesFormKeyAndCopiesFormSettings) {
  Seed(
      "update user set infoname = '尊姓大名', infomail = '邮箱', infohomepage = '主页', "
      "infowhere = '来自', infooicq = 'QQ', infosubject = '主题', "
      "infostyle = '10101010101010101010', html = '1', titletop = '<b>标题</b>', "
      "topimage = 'http://img.example/t.gif', topformat = null where name = 'abc'");
  Visit("  abc ");
  ExpectGolden("Add/settings.txt", Outcome(page()));
}

// The name's length, and an unknown guestbook (the key is issued before the
// lookup; a quote is quoted for SQL and found nowhere).
TEST_F(AddTest, NameLengthAndUnknownGuestbook) {
  AddBook("a23456789012345");
  ExpectGolden("Add/names.txt", RunAll("board_form/add_names.txt"));
}

TEST_F(AddTest, SecondVisitIssuesNewKeyAndOldFormIsRefused) {
  Visit("abc");
  const std::string first = SessionText("ly_fgs");
  NextRequest();
  page().random.seed(7);  // a later visit draws another number
  page().query.Add("name", "abc");
  book().Add();
  const std::string second = SessionText("ly_fgs");
  EXPECT_NE(first, second);
  base_ = kPost;
  Call("AddCheck", {"?key2=" + first}, "=");
  EXPECT_EQ(page().body, "url:error!");
  Call("AddCheck", {"?key2=" + second}, "=");
  EXPECT_EQ(Left(), 1);
}

// tests/cases/board_form/prune.txt
TEST_F(AddTest, PrunesOldestAboveMaxNum) {
  for (const Case& c : ReadCases("board_form/prune.txt")) {
    SCOPED_TRACE(c.line);
    Seed("delete from liuyan");
    SeedMessages("abc", std::stoi(c[0]));
    SeedMessages("other", 3);
    for (std::size_t i = 2; i < c.size(); ++i) {
      Visit("abc", c[1]);
      EXPECT_EQ(Left(), std::stoi(c[i]));
    }
    EXPECT_EQ(Left("other"), 3);
    if (Left() > 0) {  // the newest stay
      EXPECT_EQ(Scalar("select min(cast(substr(subject, 2) as integer)) from liuyan "
                       "where name = 'abc'"),
                std::to_string(std::stoi(c[0]) - Left() + 1));
    }
  }
}

// The same table each time (no avatar chosen: nothing "checked").
TEST_F(AddTest, Image1WritesTheAvatarTable) {
  for (int i = 0; i < 2; ++i) {
    page().body.clear();
    book().Image1();
    ExpectGolden("Image1/avatars.html", page().body);
  }
}

}  // namespace
}  // namespace tb::testing
