// The component's members and properties and its binding to a page; which
// page the guestbook page shows, and that showing a page costs the same
// whatever the size of the guestbook.
#include "component/guestbook.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>

#include "component/members/members.h"
#include "component/paging.h"
#include "data/sqlite_engine.h"
#include "host/memory/memory_page.h"
#include "tests/board/show_fixture.h"
#include "tests/support/cases.h"
#include "tests/support/time_scale.h"

namespace tb::testing {
namespace {

// Properties start empty and keep what the member table sets; names are
// unique, by name and by id, and every property can be read and set.
TEST(GuestbookTest, MembersAndProperties) {
  Guestbook book;
  EXPECT_EQ(book.DSNtemp() + book.DelThisWord() + book.StopThisWord(), "");
  for (const Value* v :
       {&book.PageTitle(), &book.IsOpen(), &book.AdminEmail(), &book.LybMsgLen(),
        &book.LybUrl(), &book.LybMaxUser(), &book.MaxNum()})
    EXPECT_TRUE(v->IsEmpty());
  for (const auto& c : ReadCases("component/properties.txt")) {
    const Member* m = FindMember(c[0]);
    ASSERT_TRUE(m && m->kind == MemberKind::kProperty) << c[0];
    m->set(book, CaseValue(c, 1));
    const Value got = m->get(book), want = CaseValue(c, 2);
    EXPECT_TRUE(got == want && got.IsNumber() == want.IsNumber()) << c[0];
  }
  EXPECT_EQ(book.MaxNum(), Value("5"));
  std::set<std::string> names;
  std::set<std::uint32_t> ids;
  for (const Member* m : Members()) {
    EXPECT_TRUE(names.insert(host::AsciiLower(m->name)).second) << m->name;
    EXPECT_TRUE(ids.insert(m->dispid).second) << m->name;
    EXPECT_TRUE(FindMember(m->dispid) == m && FindMember(host::AsciiLower(m->name)) == m);
    EXPECT_TRUE(m->kind != MemberKind::kProperty || (m->get && m->set)) << m->name;
  }
  EXPECT_EQ(FindMember("nothing"), nullptr);
}

// A released component refuses to run until bound again. (What the small
// members write is checked through `tavobook call`, tests/cli.)
TEST(GuestbookTest, Binding) {
  data::SqlitePool pool;
  host::MemoryPage page(pool), second(pool);
  Guestbook book;
  for (host::MemoryPage* bound : {&page, &second}) {
    book.OnStartPage(*bound);
    book.test();
    book.OnEndPage();
    EXPECT_THROW(book.test(), std::logic_error);
  }
  EXPECT_EQ(page.body + "|" + second.body, "this is a test!|this is a test!");
}

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

// Guestbook "abc" shown through ShowBook, a case a line: which page the bar
// names, which messages are listed, and that a page of 100,000 messages
// costs what a small one does (counted and paged in the store).
TEST_F(ShowBookTest, PagesShownAndTheirMessages) {
  std::string seeded;
  for (const Case& c : ReadCases("component/show_pages.txt")) {
    SCOPED_TRACE(c.line);
    if (seeded != c[0] + c[1]) {
      seeded = c[0] + c[1];
      ClearStore();
      const int messages = std::stoi(c[0]);
      SeedBook({{"infolistno", std::stoi(c[0].substr(c[0].find('/') + 1))}});
      SeedMessages(std::min(messages, 10));
      if (messages > 10) {
        SeedSeries(
            "insert into liuyan(name, message, guestname, regtime, ip, touxiang, "
            "subject, html, newinfo, whoinfo, priviteword, infoseekno, infono)",
            "select name, message, guestname, regtime, ip, touxiang, subject, html, "
            "newinfo, whoinfo, priviteword, i * 10, i from liuyan, k where infono = 1",
            messages, 11);
      }
      if (c[1] != "-") Seed(c[1]);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string body = Show(FieldsOf(c[2]));
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(500) * kTimeScale);
    std::smatch m;
    std::string bar = "none", listed;
    if (std::regex_search(body, m, std::regex("第([0-9]+)/([0-9]+)页")))
      bar = m[1].str() + "/" + m[2].str();
    static const std::regex kNumber("第([0-9]+)条留言");
    for (std::sregex_iterator i(body.begin(), body.end(), kNumber), e; i != e; ++i)
      listed += (listed.empty() ? "" : ",") + (*i)[1].str();
    EXPECT_EQ(bar + " | " + listed, c[3] + " | " + c[4]);
    if (c[5] != "-") {
      const bool lacks = c[5][0] == '!';
      EXPECT_EQ(body.find(c[5].substr(lacks)) == std::string::npos, lacks);
    }
  }
}

}  // namespace
}  // namespace tb::testing
