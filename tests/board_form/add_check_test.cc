// A post of the message form (AddCheck): each case a request, a line of
// tests/cases/board_form/add_check_*.txt, its outcome a section of a golden
// file; the numbers of simultaneous posts.
#include <gtest/gtest.h>

#include <thread>

#include "data/error.h"
#include "tests/board_form/form_fixture.h"

namespace tb::testing {
namespace {

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
  const std::size_t prepared = Prepared();
  Call("AddCheck", {"message=另一条 it's \"x\"", "guestname=小红"});
  EXPECT_EQ(Prepared(), prepared);
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
  EXPECT_EQ(Count("select distinct infono from liuyan"), kAll);
  EXPECT_EQ(Count("select distinct infoseekno from liuyan"), kAll);
  EXPECT_EQ(
      Scalar("select count(*) || ' ' || min(infono) || '-' || max(infono) from liuyan"),
      "40 0-39");
  EXPECT_EQ(Infoserial(), std::to_string(kAll));
}

}  // namespace
}  // namespace tb::testing
