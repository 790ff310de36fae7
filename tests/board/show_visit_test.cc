// The guestbook page's refusals, its visit cookies and its visit counter.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "tests/board/show_fixture.h"

namespace tb::testing {
namespace {

constexpr std::string_view kTomorrow = "2026-03-06 14:07:09";

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
  EXPECT_EQ(Scalar("select count(*) from liuyan"), "1");
}

TEST_F(ShowBookTest, FirstVisitSetsCookiesAndCountsOnce) {
  SeedBook();
  Show({{"name", "abc"}});
  ASSERT_EQ(page().response_cookies.size(), 2u);
  const auto& visited = page().response_cookies.at("abcly_hasfw");
  EXPECT_EQ(visited.value, "1");
  EXPECT_EQ(visited.expires, kTomorrow);
  const auto& visited_name = page().response_cookies.at("abcly_name");
  EXPECT_EQ(visited_name.value, "abc");
  EXPECT_EQ(visited_name.expires, kTomorrow);
  EXPECT_EQ(Scalar("select counter from user where name='abc'"), "4");

  // The same visitor again today: nothing set, nothing counted.
  NextRequest();
  page().cookies.Add("abcly_hasfw", "1");
  page().cookies.Add("abcly_name", "abc");
  page().query.Add("name", "abc");
  book().ShowBook();
  EXPECT_TRUE(page().response_cookies.empty());
  EXPECT_EQ(Scalar("select counter from user where name='abc'"), "4");
}

TEST_F(ShowBookTest, VisitCookiesMustBothMatch) {
  SeedBook();
  struct Case {
    Fields cookies;
    bool counted;
  } cases[] = {
      {{}, true},
      {{{"abcly_hasfw", "1"}}, true},
      {{{"abcly_name", "abc"}}, true},
      {{{"abcly_hasfw", "0"}, {"abcly_name", "abc"}}, true},
      {{{"abcly_hasfw", "1"}, {"abcly_name", "xyz"}}, true},
      {{{"xyzly_hasfw", "1"}, {"xyzly_name", "xyz"}}, true},
      {{{"abcly_hasfw", "1"}, {"abcly_name", "abc"}}, false},
  };
  int expected = 3;
  for (const auto& c : cases) {
    NextRequest();
    for (auto [name, value] : c.cookies) page().cookies.Add(name, value);
    page().query.Add("name", "abc");
    book().ShowBook();
    if (c.counted) ++expected;
    EXPECT_EQ(page().response_cookies.size(), c.counted ? 2u : 0u);
    EXPECT_EQ(Scalar("select counter from user where name='abc'"),
              std::to_string(expected));
  }
}

TEST_F(ShowBookTest, EmptyOrMissingCounterStartsAtOne) {
  for (const char* stored : {"null", "''"}) {
    Seed("delete from user");
    SeedBook();
    Seed(std::string("update user set counter = ") + stored);
    Show({{"name", "abc"}});
    EXPECT_EQ(Scalar("select counter from user where name='abc'"), "1") << stored;
  }
}

TEST_F(ShowBookTest, CookiesAreSetEvenWhenThePageStops) {
  SeedBook();
  for (Fields query : {Fields{{"name", "nobody"}}, Fields{{"name", "abc"}, {"jsfs", "x"}},
                       Fields{{"name", "abc"}, {"Page", "y"}}}) {
    Show(query);
    EXPECT_EQ(page().response_cookies.size(), 2u) << page().body;
  }
  EXPECT_EQ(Scalar("select counter from user where name='abc'"), "3");
  Show({{"name", "abcdefghijklmnop"}});
  EXPECT_TRUE(page().response_cookies.empty());
}

// Visits counted in one statement each: first visits at the same moment all
// count.
TEST_F(ShowBookTest, SimultaneousFirstVisitsAllCount) {
  SeedBook({{"counter", "0"}});
  constexpr int kVisitors = 8;
  constexpr int kVisitsEach = 5;
  std::vector<std::thread> visitors;
  for (int v = 0; v < kVisitors; ++v) {
    visitors.emplace_back([this] {
      for (int i = 0; i < kVisitsEach; ++i) {
        host::MemoryPage visit(pool());
        visit.query.Add("name", "abc");
        Guestbook component;
        component.SetDSNtemp(dsn());
        component.OnStartPage(visit);
        component.ShowBook();
        component.OnEndPage();
      }
    });
  }
  for (auto& t : visitors) t.join();
  EXPECT_EQ(Scalar("select counter from user where name='abc'"),
            std::to_string(kVisitors * kVisitsEach));
}

}  // namespace
}  // namespace tb::testing
