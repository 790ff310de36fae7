// The guestbook page's refusals, its visit cookies and its visit counter,
// and the owner's deletion of checked messages from it.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "check/text.h"
#include "tests/board/show_fixture.h"

namespace tb::testing {
namespace {

TEST_F(ShowBookTest, RefusalsEndThePage) {
  SeedBook();
  SeedMessages(1);
  const std::string fifteen = "abcdefghijklmno";
  const std::string sixteen = fifteen + "p";
  struct Case {
    Fields query;
    Fields form;
    std::string_view body;
  } cases[] = {
      {{}, {}, "用户名错误！"},
      {{{"name", "   "}}, {}, "用户名错误！"},
      {{{"name", sixteen}}, {}, "用户名错误！"},
      {{{"name", fifteen}}, {}, "没有这个用户"},
      {{{"name", "nobody"}}, {}, "没有这个用户"},
      {{{"name", "x' or '1'='1"}}, {}, "没有这个用户"},
      {{{"name", "abc"}, {"jsfs", "5"}}, {}, "jsfs:参数错误！"},
      {{{"name", "abc"}}, {{"jsfs", "0"}}, "jsfs:参数错误！"},
      {{{"name", "abc"}, {"jsfs", "1"}}, {{"jsfs", "x"}}, "jsfs:参数错误！"},
      {{{"name", "abc"}, {"showhtml", "2"}}, {}, "showhtml:参数错误！"},
      {{{"name", "abc"}, {"showhtml", "2"}, {"jsfs", "9"}}, {}, "jsfs:参数错误！"},
      {{{"name", "abc"}, {"Page", "abc"}}, {}, "page:参数错误！"},
      {{{"name", "abc"}, {"Page", "2.5"}}, {}, "page:参数错误！"},
      {{{"name", "abc"}, {"Page", "0x10"}}, {}, "page:参数错误！"},
      {{{"name", "abc"}, {"Page", "1e999"}}, {}, "page:参数错误！"},
      {{{"name", "nobody"}, {"Page", "x"}}, {}, "page:参数错误！"},
      {{{"name", "abc"}, {"showhtml", "1"}, {"Page", "-"}}, {}, "page:参数错误！"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show(c.query, c.form), c.body)
        << "name=" << page().Query("name") << " page=" << page().Query("Page");
  }
  EXPECT_EQ(Count("select * from liuyan"), 1);
}

// The cookies each visit sets, for a day, and the counter after it: a first
// visit counts once, a visit with both cookies of the guestbook matching
// not at all; a page that stops sets the cookies but counts nothing, a name
// too long neither; an empty or missing counter starts at one.
TEST_F(ShowBookTest, VisitCookiesAndCounter) {
  SeedBook();
  struct Case {
    Fields query, cookies = {};
  } cases[] = {
      {{{"name", "abc"}}},
      {{{"name", "abc"}}, {{"abcly_hasfw", "1"}, {"abcly_name", "abc"}}},
      {{{"name", "abc"}}, {{"abcly_hasfw", "1"}}},
      {{{"name", "abc"}}, {{"abcly_name", "abc"}}},
      {{{"name", "abc"}}, {{"abcly_hasfw", "0"}, {"abcly_name", "abc"}}},
      {{{"name", "abc"}}, {{"abcly_hasfw", "1"}, {"abcly_name", "xyz"}}},
      {{{"name", "abc"}}, {{"xyzly_hasfw", "1"}, {"xyzly_name", "xyz"}}},
      {{{"name", "nobody"}}},
      {{{"name", "abc"}, {"jsfs", "x"}}},
      {{{"name", "abc"}, {"Page", "y"}}},
      {{{"name", "abcdefghijklmnop"}}},
  };
  std::string log;
  for (const auto& c : cases) {
    Request(c.query);
    log += "##";
    for (const auto& [k, v] : c.cookies) {
      page().cookies.Add(k, v);
      log += " " + k + "=" + v;
    }
    for (const auto& [k, v] : c.query) log += " " + k + "=" + v;
    book().ShowBook();
    log += "\n" + CookiesSet(page()) + "counter " + Counter() + "\n";
  }
  for (const std::string stored : {"null", "''"}) {
    // MariaDB's number columns hold no text: null stands in for it there.
    Seed("update user set counter = " + (OnMariaDb() ? "null" : stored));
    Show({{"name", "abc"}});
    log += std::string("counter from ") + stored + ": " + Counter() + "\n";
  }
  ExpectGolden("ShowBook/visits.txt", log);
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
  EXPECT_EQ(Counter(), "40");
}

// Messages 1 to 3 of "abc" and message 1 of "xyz"; in lydelno, "#1" to "#3"
// stand for the ids of the messages of "abc" and "#x" for that of "xyz".
// Each case shows the page (compared with its golden file when one is
// named) and which messages are left, as number and guestbook.
TEST_F(ShowBookTest, DeleteCheckedMessages) {
  struct Case {
    const char* login;  // nullptr: a visitor
    const char* del;
    std::string_view lydelno;
    const char* golden;
    const char* remaining;
  } cases[] = {
      // Several boxes arrive joined by a comma and a blank.
      {"abc", "1", "#1, #3", "delete_ok", "2abc,1xyz"},
      {"ABC", "1", "#2", nullptr, "1abc,3abc,1xyz"},
      {"admin", "1", "#x,#1", nullptr, "2abc,3abc"},
      {nullptr, "1", "#1", "delete_visitor", "1abc,2abc,3abc,1xyz"},
      {"abc", "0", "#1", nullptr, "1abc,2abc,3abc,1xyz"},
      {"abc", "1", "", "delete_no_ids", "1abc,2abc,3abc,1xyz"},
      // Every id is checked before any message goes.
      {"abc", "1", "#1,2 or 1=1", "delete_bad_ids", "1abc,2abc,3abc,1xyz"},
      {"abc", "1", "#1,", "delete_bad_ids", "1abc,2abc,3abc,1xyz"},
      {"abc", "1", "-#1", "delete_bad_ids", "1abc,2abc,3abc,1xyz"},
      {"abc", "1", "#1,#2.0", "delete_bad_ids", "1abc,2abc,3abc,1xyz"},
      // Messages before the stop stay deleted.
      {"abc", "1", "#1, 999", "delete_not_found", "2abc,3abc,1xyz"},
      {"abc", "1", "#2,#x,#3", "delete_refused", "1abc,3abc,1xyz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lydelno);
    Seed("delete from liuyan");
    Seed("delete from user");
    SeedBook();
    AddBook("xyz", {{"titletop", "另一个留言本"}});
    std::string lydelno(c.lydelno);
    for (int i = 1; i <= 3; ++i) {
      lydelno =
          check::ReplaceAll(lydelno, "#" + std::to_string(i),
                            SeedMessage(i, {{"subject", "主题" + std::to_string(i)}}));
    }
    lydelno = check::ReplaceAll(lydelno, "#x", SeedMessage(1, {{"name", "xyz"}}));
    page().session_values.clear();
    if (c.login) LogIn(c.login);
    const std::string body =
        Show({{"name", "abc"}, {"del", c.del}}, {{"lydelno", lydelno}});
    if (c.golden) ExpectGolden("ShowBook/" + std::string(c.golden) + ".html", body);
    EXPECT_EQ(Joined("select infono || name from liuyan order by id"), c.remaining);
  }
}

}  // namespace
}  // namespace tb::testing
