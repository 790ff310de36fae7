// The message form (Add): its key, the settings it copies, the pruning of
// old messages; the avatar table (Image1); the older form (Add_bak). A post
// of the form (AddCheck): each case a request, a line of
// tests/cases/board_form/add_check_*.txt, its outcome a section of a golden
// file; the numbers of simultaneous posts; the form's field helpers, each
// case a line of tests/cases/board_form/fields.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/add_check_fields.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

// What the tests of the form and of its post share: a guestbook "abc" with
// known settings, messages to prune, and a valid post that a case changes
// field by field.
class FormTest : public CaseTest {
 protected:
  static constexpr std::string_view kKey = "123456789";

  FormTest() {
    AddBook("abc", {{"password", "secret"},
                    {"email", "owner@example.cn"},
                    {"titletop", "小明的留言本"},
                    {"html", "2"},
                    {"sendinfo", "1"},
                    {"regtime", "2026-01-01 00:00:00"},
                    {"infostyle", "11111111111101111111"}});
    base_ = kArmed;
    base_.insert(base_.end(), kPost.begin(), kPost.end());
  }

  // A form page visit as Add leaves it: the posted flag clear, kKey issued.
  const std::vector<std::string> kArmed = {"session:ly_tijiao=0",
                                           "session:ly_fgs=" + std::string(kKey)};
  // A valid post to "abc" (tests/cases/board_form/post.txt).
  const std::vector<std::string> kPost = ReadCases("board_form/post.txt").at(0).fields;

  // Runs `member` with the fields of base_ and `fields`, in the session
  // `login` (as a case's second field); gives the case's transcript.
  std::string Call(std::string_view member, const std::vector<std::string>& fields = {},
                   std::string_view login = "-") {
    Case c{"", {std::string(member), std::string(login)}, {}};
    c.fields.insert(c.fields.end(), fields.begin(), fields.end());
    return Run(c);
  }

  // `n` messages of guestbook `name`, the k-th posted k minutes after
  // 2026-01-01 00:00 with the subject "m" followed by k.
  void SeedMessages(std::string_view name, int n) {
    for (int i = 1; i <= n; ++i) {
      char regtime[32];
      std::snprintf(regtime, sizeof regtime, "2026-01-01 %02d:%02d:00", i / 60, i % 60);
      AddMessage(name, {{"subject", "m" + std::to_string(i)}, {"regtime", regtime}});
    }
  }

  std::string Infoserial() {
    return Scalar("select infoserial from user where name = 'abc'");
  }
};

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
  const std::string first = page().Get("ly_fgs").Text();
  NextRequest();
  page().random.seed(7);  // a later visit draws another number
  page().query.Add("name", "abc");
  book().Add();
  const std::string second = page().Get("ly_fgs").Text();
  EXPECT_NE(first, second);
  base_ = kPost;
  Call("AddCheck", {"?key2=" + first}, "=");
  EXPECT_EQ(page().body, "url:error!");
  Call("AddCheck", {"?key2=" + second}, "=");
  EXPECT_EQ(Left(), 1);
}

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

TEST_F(AddTest, AddBakOffersEverythingOrNothing) {
  ExpectGolden("Add_bak/pages.txt", RunAll("board_form/add_bak_pages.txt"));
}

TEST_F(AddTest, AddBakFormVariants) {
  base_ = {"?name=abc"};
  std::string log;
  for (const Case& c : ReadCases("board_form/add_bak_variants.txt")) {
    Run(c);
    const std::size_t form = page().body.find("<form");
    log += "## " + c.line + "\n" +
           page().body.substr(form, page().body.find("</form>") - form) + "\n";
  }
  ExpectGolden("Add_bak/variants.txt", log);
}

// The key and the flag are set before the name is looked at
// (tests/cases/board_form/add_bak_names.txt); the oldest messages above
// MaxNum go.
TEST_F(AddTest, AddBakNameRulesAndPrune) {
  Seed("insert into user(name, infostyle) values ('a', '0')");
  ExpectGolden("Add_bak/names.txt", RunAll("board_form/add_bak_names.txt"));
  SeedMessages("abc", 6);
  Call("Add_bak", {"?name=abc", "@MaxNum=#5"});
  EXPECT_EQ(Count("select * from liuyan"), 0);
}

TEST_F(FormTest, StoresVisitorPost) {
  std::string log;
  for (const Case& c : ReadCases("board_form/add_check_stored.txt")) {
    log += Run(c, "select infoserial from user where name = 'abc'");  // first: it posts
    log += RowsText(pool(), dsn(), "select * from liuyan");
  }
  ExpectGolden("AddCheck/stored.txt", log);
}

TEST_F(FormTest, PostingGuard) {
  base_ = kPost;
  ExpectGolden("AddCheck/guard.txt",
               RunAll("board_form/add_check_guard.txt", "select id from liuyan"));
}

TEST_F(FormTest, RefusalsAndTheirPrecedence) {
  AddBook("other");
  AddMessage("other", {{"infoseekno", 19999}});
  base_.push_back("@StopThisWord=广告;spam");
  ExpectGolden("AddCheck/refusals.txt", RunAll("board_form/add_check_refusals.txt"));
  EXPECT_EQ(Count("select * from liuyan"), 1);
  EXPECT_EQ(Infoserial(), "0");
}

TEST_F(FormTest, TreatedFields) {
  std::string log;
  for (const Case& c : ReadCases("board_form/add_check_treated.txt")) {
    Run(c);
    log += "## " + c.line + "\nsession message " +
           Shown(page().Get("abcadd_check_message")) + "\n" +
           RowsText(pool(), dsn(),
                    "select hailfrom, guestname, subject, email, homepage, oicq, "
                    "replymail, priviteword, touxiang, font, fontsize, fontcolor, "
                    "whoinfo, html, message from liuyan order by id desc limit 1");
  }
  ExpectGolden("AddCheck/treated.txt", log);
}

TEST_F(FormTest, SortKeysAndNumbers) {
  for (const Case& c : ReadCases("board_form/add_check_numbers.txt")) Run(c);
  // Sort key, number and reply flag of each.
  EXPECT_EQ(Joined("select infoseekno || '/' || infono || '/' || newinfo from liuyan "
                   "where guestname = '小明' order by id",
                   " "),
            "19999/0/0 29999/1/0 19899/2/1 19899/3/1 19999/4/1 69999/5/0");
  EXPECT_EQ(Infoserial(), "6");
}

// A post binds its values, so its statements are those of any other post:
// a second post of other texts prepares nothing anew.
TEST_F(FormTest, PostsOfOtherTextsPrepareNothingNew) {
  Call("AddCheck");
  const std::size_t prepared = pool().sqlite().prepared();
  Call("AddCheck", {"message=另一条 it's \"x\"", "guestname=小红"});
  EXPECT_EQ(pool().sqlite().prepared(), prepared);
  EXPECT_EQ(Joined("select message from liuyan order by id", "|"),
            "你好，留言本！|另一条 it's \"x\"");
}

TEST_F(FormTest, FailedInsertLeavesTheCounter) {
  RefuseWrites("liuyan", "insert");
  ExpectGolden("AddCheck/failed_insert.txt",
               RunAll("board_form/add_check_failed.txt",
                      "select infoserial from user where name = 'abc'; "
                      "select infono from liuyan"));
}

TEST_F(FormTest, ConcurrentPostsGetDistinctNumbers) {
  constexpr int kThreads = 8, kPostsEach = 5, kAll = kThreads * kPostsEach;
  std::vector<std::thread> threads;
  std::vector<std::string> bodies(kAll);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPostsEach; ++i) {
        host::MemoryPage visitor(pool());
        visitor.Set("ly_tijiao", Value("0"));
        visitor.Set("ly_fgs", Value(std::string(kKey)));
        visitor.query.Add("name", "abc");
        visitor.query.Add("key2", kKey);
        visitor.form.Add("guestname", "访客" + std::to_string(t));
        visitor.form.Add("subject", "第" + std::to_string(i) + "条");
        visitor.form.Add("html", "0");
        RunPage(visitor, dsn(), &Guestbook::AddCheck);
        bodies[t * kPostsEach + i] = visitor.body;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& body : bodies) EXPECT_TRUE(body.starts_with("<html>")) << body;
  EXPECT_EQ(Scalar("select count(*) || ' ' || count(distinct infono) || ' ' || "
                   "count(distinct infoseekno) || ' ' || min(infono) || '-' || "
                   "max(infono) from liuyan"),
            "40 40 40 0-39");
  EXPECT_EQ(Infoserial(), std::to_string(kAll));
}

std::string Gives(const Case& c) {
  using namespace board::post;
  const std::string& f = c[0];
  if (f == "SafeFont") return SafeFont(c[1]);
  if (f == "SafeFontColor") return SafeFontColor(c[1]);
  if (f == "FormKeyMatches") return FormKeyMatches(c[1], CaseValue(c, 2)) ? "yes" : "no";
  if (f == "NewThreadSortKey") return std::to_string(NewThreadSortKey(std::stoi(c[1])));
  if (f == "ReplySortKey") return std::to_string(ReplySortKey(CaseValue(c, 1)));
  try {
    return std::to_string(MessageLimit(CaseValue(c, 1)));
  } catch (const std::invalid_argument&) {
    return "invalid";
  }
}

TEST(AddCheckFieldsTest, Cases) {
  for (const Case& c : ReadCases("board_form/fields.txt"))
    EXPECT_EQ(Gives(c), c.fields.back()) << c.line;
}

}  // namespace
}  // namespace tb::testing
