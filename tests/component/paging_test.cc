// Which page the guestbook page shows, and that showing a page costs the
// same whatever the size of the guestbook.
#include "component/paging.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "tests/board/show_fixture.h"
#include "tests/support/time_scale.h"

namespace tb::testing {
namespace {

TEST(PageFieldTest, WholeNumbersOnly) {
  struct Case {
    std::string_view page;
    std::optional<double> want;  // nullopt: refused
    bool refused;
  } cases[] = {
      {"", std::nullopt, false},
      {"3", 3, false},
      {"+4", 4, false},
      {"-2", -2, false},
      {"0", 0, false},
      {"1e3", 1000, false},
      {"99999999999", 99999999999.0, false},
      {"2.0", 2, false},
      {"2.5", std::nullopt, true},
      {"abc", std::nullopt, true},
      {"3a", std::nullopt, true},
      {"1e999", std::nullopt, true},
      {".", std::nullopt, true},
  };
  for (const auto& c : cases) {
    auto got = paging::ReadPageField("next", c.page);
    ASSERT_EQ(!got, c.refused) << c.page;
    if (got) {
      EXPECT_EQ(got->page, c.want) << c.page;
      EXPECT_EQ(got->move, "next");
    }
  }
}

TEST(PageToShowTest, MovesAndBounds) {
  struct Case {
    std::string_view move;
    std::optional<double> page;
    std::int64_t page_count, want;
  } cases[] = {
      // Without Page.
      {"", std::nullopt, 5, 1},
      {"home", std::nullopt, 5, 1},
      {"next", std::nullopt, 5, 2},
      {"next", std::nullopt, 1, 1},
      {"prev", std::nullopt, 5, 1},
      {"end", std::nullopt, 5, 5},
      {"all", std::nullopt, 5, 1},
      // With Page: it wins, next and prev step from it, the result in range.
      {"", 3, 5, 3},
      {"end", 2, 5, 2},
      {"home", 4, 5, 4},
      {"next", 3, 5, 4},
      {"next", 5, 5, 5},
      {"prev", 3, 5, 2},
      {"prev", 1, 5, 1},
      {"", 0, 5, 1},
      {"", -40000, 5, 1},
      {"", 6, 5, 5},
      {"", 70000, 5, 5},
      {"", 1e300, 5, 5},
      {"next", -7, 5, 1},
      {"", 40000, 100000, 40000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(paging::PageToShow({c.move, c.page}, c.page_count), c.want)
        << c.move << " " << c.page.value_or(-1) << " of " << c.page_count;
  }
}

// Links as runs of pages, "1-5 … 21-31"; a break without a gap mark is a blank.
std::string Runs(const std::vector<paging::PageLink>& links) {
  auto joins = [&](std::size_t i) {
    return i > 0 && i < links.size() && !links[i].gap_before &&
           links[i].page == links[i - 1].page + 1;
  };
  std::string out;
  for (std::size_t i = 0; i < links.size(); ++i) {
    const std::string page = std::to_string(links[i].page);
    if (!joins(i)) out += (links[i].gap_before ? " … " : i ? " " : "") + page;
    if (joins(i) && !joins(i + 1)) out += "-" + page;
  }
  return out;
}

TEST(PageLinksTest, EveryPageUpToFiftyThenTheEndsAndAroundTheCurrent) {
  struct Case {
    std::int64_t current, count;
    std::string_view want;
  } cases[] = {{1, 1, "1"},
               {37, 50, "1-50"},
               {1, 51, "1-6 … 47-51"},
               {26, 51, "1-5 … 21-31 … 47-51"},
               {51, 51, "1-5 … 46-51"},
               {11, 100, "1-16 … 96-100"},
               {12, 100, "1-5 … 7-17 … 96-100"},
               {89, 100, "1-5 … 84-94 … 96-100"},
               {90, 100, "1-5 … 85-100"},
               {100000, 100000, "1-5 … 99995-100000"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Runs(paging::PageLinks(c.current, c.count)), c.want)
        << c.current << " of " << c.count;
  }
}

// The "第N/M页" of the paging bar.
std::string PageShown(const std::string& body) {
  std::smatch m;
  static const std::regex kBar("第([0-9]+)/([0-9]+)页");
  return std::regex_search(body, m, kBar) ? m[1].str() + "/" + m[2].str() : "none";
}

// The page field as ShowBook reads it (trimmed, any size) and moves with it;
// PageToShow's own cases are above.
TEST_F(ShowBookTest, PageFieldAndMoves) {
  SeedBook({{"infolistno", "3"}});
  SeedMessages(10);  // pages of 3, 3, 3, 1
  struct Case {
    Fields query;
    std::string_view shown;
  } cases[] = {
      {{}, "1/4"},
      {{{"Page", " 2 "}}, "2/4"},
      {{{"Page", "99999999999999999999"}}, "4/4"},
      {{{"move", "end"}}, "4/4"},
      {{{"move", "next"}, {"Page", "2"}}, "3/4"},
      {{{"move", "prev"}, {"Page", "9"}}, "4/4"},
  };
  for (const auto& c : cases) {
    Fields query = c.query;
    query.insert(query.begin(), {"name", "abc"});
    EXPECT_EQ(PageShown(Show(query)), c.shown)
        << page().Query("move") << " Page=" << page().Query("Page");
  }
  // The last page holds the oldest message only.
  const std::string last = Show({{"name", "abc"}, {"move", "end"}});
  EXPECT_NE(last.find("第1条留言"), std::string::npos);
  EXPECT_EQ(last.find("第2条留言"), std::string::npos);
  // Next on a single page stays on it, without links to other pages.
  Seed("update user set infolistno = 20");
  const std::string body = Show({{"name", "abc"}, {"move", "next"}});
  EXPECT_EQ(PageShown(body), "1/1");
  EXPECT_EQ(body.find("留言板其他页面"), std::string::npos);
}

TEST_F(ShowBookTest, MoveAllClearsTheSearchButKeepsTheColumn) {
  SeedBook();
  SeedMessages(3);
  Seed("update liuyan set email = null where infono = 2");
  const std::string body =
      Show({{"name", "abc"}, {"move", "all"}, {"jsfs", "4"}, {"keyword", "nothing"}});
  EXPECT_EQ(PageShown(body), "1/1");
  EXPECT_NE(body.find("第3条留言"), std::string::npos);
  EXPECT_EQ(body.find("第2条留言"), std::string::npos);  // no e-mail to match
  EXPECT_NE(body.find("第1条留言"), std::string::npos);
  EXPECT_NE(body.find("move=home&keyword=&name=abc&jsfs=4&showhtml="), std::string::npos);
}

// A guestbook of 100,000 messages pages as fast as a small one: counting and
// paging happen in the store, which reads only the page shown.
TEST_F(ShowBookTest, HundredThousandMessagesPageFast) {
  SeedBook();
  SeedMessage(1);
  SeedSeries(
      "insert into liuyan(name, message, guestname, regtime, ip, touxiang, subject, "
      "html, newinfo, whoinfo, priviteword, infoseekno, infono)",
      "select name, message, guestname, regtime, ip, touxiang, subject, html, newinfo, "
      "whoinfo, priviteword, i * 10, i from liuyan, k",
      100000, 2);
  ASSERT_EQ(Scalar("select count(*) from liuyan"), "100000");

  struct Case {
    Fields query;
    std::string_view shown, newest;
  } cases[] = {
      {{}, "1/10000", "第100000条留言"},
      {{{"Page", "5000"}}, "5000/10000", "第50010条留言"},
      {{{"move", "end"}}, "10000/10000", "第10条留言"},
      {{{"move", "next"}, {"Page", "9999"}}, "10000/10000", "第10条留言"},
  };
  for (const auto& c : cases) {
    Fields query = c.query;
    query.insert(query.begin(), {"name", "abc"});
    Request(query);
    const auto start = std::chrono::steady_clock::now();
    book().ShowBook();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(PageShown(page().body), c.shown);
    EXPECT_NE(page().body.find(c.newest), std::string::npos) << c.shown;
    EXPECT_LT(elapsed, std::chrono::milliseconds(500) * testing::kTimeScale) << c.shown;
  }
  EXPECT_NE(page().body.find("[5]</a> … <a href=\"show.asp?name=abc&Page=9995&jsfs="
                             "&keyword=&showhtml=\">[9995]</a> <a "),
            std::string::npos);
}

}  // namespace
}  // namespace tb::testing
