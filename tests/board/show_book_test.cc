// The guestbook page (ShowBook): whole pages compared with their golden
// files (the head, the search form, the paging bar, the message blocks in
// each display mode and for each reader, the page links and the search:
// tests/cases/board/show_pages.txt), its refusals, its visit cookies and
// counter, and the owner's deletion of checked messages from it.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/board/show_fixture.h"

namespace tb::testing {
namespace {

TEST_F(ShowBookTest, Pages) {
  for (const Case& c : ReadCases("board/show_pages.txt")) {
    SCOPED_TRACE(c.line);
    if (c[0] == "book") {
      ClearStore();
      SeedBook(ColumnsOf(c, 1));
    } else if (c[0] == "message") {
      SeedMessage(std::stoi(c[1]), ColumnsOf(c, 2));
    } else {
      Case show = c;
      show.fields[0] = "ShowBook";
      show.fields.erase(show.fields.begin() + 1);
      Run(show);
      if (c[0] == "show") {
        ExpectGolden(c[1], page().body);
        continue;
      }
      std::string found;
      for (char m = 'a'; m < 'a' + 10; ++m)
        if (page().body.find("内容" + std::string(1, m)) != std::string::npos) found += m;
      EXPECT_EQ(found, c[1]);
    }
  }
}

constexpr std::string_view kCounter = "select counter from user where name = 'abc'";

TEST_F(ShowBookTest, RefusalsEndThePage) {
  SeedBook();
  SeedMessages(1);
  ExpectGolden("ShowBook/refusals.txt",
               RunAll("board/show_refusals.txt", "select subject from liuyan"));
}

TEST_F(ShowBookTest, VisitCookiesAndCounter) {
  SeedBook();
  ExpectGolden("ShowBook/visits.txt", RunAll("board/show_visits.txt", kCounter));
  if (!OnMariaDb()) {
    Seed("update user set counter = ''");
    Show({{"name", "abc"}});
    EXPECT_EQ(Scalar(kCounter), "1");
  }
}

// Visits counted in one statement each: first visits at the same moment all
// count.
TEST_F(ShowBookTest, SimultaneousFirstVisitsAllCount) {
  SeedBook({{"counter", "0"}});
  std::vector<std::thread> visitors;
  for (int v = 0; v < 8; ++v) {
    visitors.emplace_back([this] {
      for (int i = 0; i < 5; ++i) {
        host::MemoryPage visit(pool());
        visit.query.Add("name", "abc");
        RunPage(visit, dsn(), &Guestbook::ShowBook);
      }
    });
  }
  for (auto& t : visitors) t.join();
  EXPECT_EQ(Scalar(kCounter), "40");
}

TEST_F(ShowBookTest, DeleteCheckedMessages) {
  std::string log;
  for (const Case& c : ReadCases("board/show_delete.txt")) {
    ClearStore();
    SeedBook();
    AddBook("xyz", {{"titletop", "另一个留言本"}});
    for (int i = 1; i <= 3; ++i)
      SeedMessage(i, {{"subject", "主题" + std::to_string(i)}});
    SeedMessage(1, {{"name", "xyz"}});
    log += Run(c, "select infono || name from liuyan order by id");
  }
  ExpectGolden("ShowBook/delete.txt", log);
}

}  // namespace
}  // namespace tb::testing
