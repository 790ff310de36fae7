// Which page the guestbook page shows, and that showing a page costs the
// same whatever the size of the guestbook.
#include "component/paging.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "tests/board/show_fixture.h"
#include "tests/support/cases.h"
#include "tests/support/time_scale.h"

namespace tb::testing {
namespace {

// The Page field read as whole numbers only, and the page each move with it
// shows.
TEST(PageFieldTest, WholeNumbersOnlyAndTheMoves) {
  for (const Case& c : ReadCases("component/page_field.txt")) {
    const auto got = paging::ReadPageField("next", c[0]);
    const std::string page = !got        ? "refused"
                             : got->page ? FormatNumber(*got->page)
                                         : "-";
    EXPECT_EQ(page, c[1]) << c[0];
    EXPECT_TRUE(!got || got->move == "next");
  }
  for (const Case& c : ReadCases("component/page_to_show.txt")) {
    const std::optional<double> page =
        c[1] == "-" ? std::nullopt : std::optional(std::stod(c[1]));
    EXPECT_EQ(paging::PageToShow({c[0], page}, std::stoll(c[2])), std::stoll(c[3]))
        << c[0] << " " << c[1] << " of " << c[2];
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
  for (const Case& c : ReadCases("component/page_links.txt"))
    EXPECT_EQ(Runs(paging::PageLinks(std::stoll(c[0]), std::stoll(c[1]))), c[2])
        << c[0] << " of " << c[1];
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
  for (const auto& [query, shown] : {std::pair{"", "1/4"},
                                     {"Page= 2 ", "2/4"},
                                     {"Page=99999999999999999999", "4/4"},
                                     {"move=end", "4/4"},
                                     {"move=next&Page=2", "3/4"},
                                     {"move=prev&Page=9", "4/4"}}) {
    Fields fields = FieldsOf(query);
    fields.insert(fields.begin(), {"name", "abc"});
    EXPECT_EQ(PageShown(Show(fields)), shown) << query;
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

  for (const auto& [query, shown, newest] :
       {std::tuple{"name=abc", "1/10000", "第100000条留言"},
        {"name=abc&Page=5000", "5000/10000", "第50010条留言"},
        {"name=abc&move=end", "10000/10000", "第10条留言"},
        {"name=abc&move=next&Page=9999", "10000/10000", "第10条留言"}}) {
    Request(FieldsOf(query));
    const auto start = std::chrono::steady_clock::now();
    book().ShowBook();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(PageShown(page().body), shown);
    EXPECT_NE(page().body.find(newest), std::string::npos) << shown;
    EXPECT_LT(elapsed, std::chrono::milliseconds(500) * testing::kTimeScale) << shown;
  }
  EXPECT_NE(page().body.find("[5]</a> … <a href=\"show.asp?name=abc&Page=9995&jsfs="
                             "&keyword=&showhtml=\">[9995]</a> <a "),
            std::string::npos);
}

}  // namespace
}  // namespace tb::testing
