#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "data/engine.h"
#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb {
namespace {

using testing::ExpectGolden;

class UserListTest : public testing::PageTest {
 protected:
  UserListTest() {
    book_defaults_ = {{"titletop", ""},
                      {"counter", 0},
                      {"regtime", "2025-01-01 09:05:03"},
                      {"modifytime", "2025-01-01 09:05:03"},
                      {"infoserial", 0},
                      {"hascrc", "0"}};
  }
  void AddMessages(const std::string& name, int n) {
    SeedSeries("insert into liuyan(name, infoseekno)", "select '" + name + "', i from k",
               n);
  }
  // Guestbooks g01 .. gNN, registered one second apart, with no messages.
  void AddNumberedBooks(int n) {
    for (int i = 1; i <= n; ++i) {
      char name[16], when[32];
      std::snprintf(name, sizeof name, "g%02d", i);
      std::snprintf(when, sizeof when, "2025-02-03 04:05:%02d", i);
      AddBook(name, {{"titletop", std::string("Book ") + name},
                     {"regtime", when},
                     {"modifytime", when}});
    }
  }
  // Three guestbooks, the first with markup and a masked word in its title.
  void AddSampleBooks() {
    AddBook("abc", {{"titletop", "我的 <留言> 本 坏词"},
                    {"counter", 12},
                    {"regtime", "2025-01-02 03:04:05"},
                    {"infoserial", 7},
                    {"hascrc", "1"}});
    AddBook("x_9", {{"titletop", "Tom's \"book\""},
                    {"regtime", "2024-11-30 23:59:00"},
                    {"infoserial", 2}});
    AddBook("admin",
            {{"titletop", "管理员"}, {"counter", 3}, {"regtime", "2026-03-05 14:07:09"}});
  }
  std::string List(const testing::Fields& query = {}) {
    Request(query);
    book().SetDelThisWord("坏词");
    book().UserList();
    return page().body;
  }
};

// The guestbook names in list order, from the rows' links.
std::vector<std::string> ListedNames(const std::string& body) {
  static const std::regex link("<a href=\"show\\.asp\\?name=([^\"]*)\"");
  std::vector<std::string> names;
  for (std::sregex_iterator it(body.begin(), body.end(), link), end; it != end; ++it)
    names.push_back((*it)[1]);
  return names;
}

// A visitor sees four columns; the superuser ("yes" only) also the delete
// links and the flag.
TEST_F(UserListTest, VisitorAndSuperuser) {
  AddSampleBooks();
  AddMessages("abc", 3);
  AddMessages("x_9", 2);
  ExpectGolden("UserList/visitor.html", List());
  for (const char* flag : {"", "no", "Yes", "1"}) {
    page().Set("ly_admin_log", Value(flag));
    ExpectGolden("UserList/visitor.html", List());
  }
  Seed("delete from liuyan where name = 'x_9'");
  LogIn("admin");
  ExpectGolden("UserList/superuser.html", List());
}

TEST_F(UserListTest, SixSortOrders) {
  // Each order puts the four guestbooks differently.
  AddBook("a1", {{"titletop", "Delta"},
                 {"counter", 30},
                 {"regtime", "2025-01-01 09:00:00"},
                 {"modifytime", "2026-02-01 00:00:00"},
                 {"infoserial", 5}});
  AddBook("b2", {{"titletop", "Alpha"},
                 {"counter", 10},
                 {"regtime", "2025-06-01 00:00:00"},
                 {"modifytime", "2025-07-01 00:00:00"},
                 {"infoserial", 9}});
  AddBook("c3", {{"titletop", "Charlie"},
                 {"counter", 20},
                 {"regtime", "2024-12-31 00:00:00"},
                 {"modifytime", "2026-03-01 00:00:00"},
                 {"infoserial", 1}});
  AddBook("d4", {{"titletop", "Bravo"},
                 {"counter", 40},
                 {"regtime", "2025-03-15 00:00:00"},
                 {"modifytime", "2025-04-01 00:00:00"},
                 {"infoserial", 3}});
  // Unknown values list in the default order; the links carry them back
  // escaped.
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "none"}, {"", "none"},
      {"1", "1"},        {"2", "2"},
      {"3", "3"},        {"4", "4"},
      {"5", "5"},        {"9", "unknown"},
      {" 1", "blank_1"}, {"\"><script>x</script>", "markup"},
  };
  for (const auto& [sort, golden] : cases) {
    const std::string body = sort ? List({{"sort", sort}}) : List();
    ExpectGolden("UserList/sort_" + std::string(golden) + ".html", body);
  }
}

TEST_F(UserListTest, ThirtyOneGuestbooksMakeTwoPages) {
  AddNumberedBooks(31);
  const std::string first = List({{"sort", "1"}});
  const std::string second = List({{"Page", "2"}, {"sort", "1"}});
  ExpectGolden("UserList/page1.html", first);
  ExpectGolden("UserList/page2.html", second);
  // Page 1 is also what an explicit first page, 0 or a negative page shows;
  // a page beyond the last shows the last.
  for (const char* p : {"1", "0", "-3", ""})
    EXPECT_EQ(List({{"page", p}, {"sort", "1"}}), first);
  for (const char* p : {"3", "99", "1e30"})
    EXPECT_EQ(List({{"Page", p}, {"sort", "1"}}), second);
}

TEST_F(UserListTest, EqualKeysNeverRepeatOrSkipAcrossPages) {
  // 61 guestbooks without messages: the default order has nothing but ties.
  AddNumberedBooks(61);
  std::vector<std::string> all;
  for (const char* p : {"1", "2", "3"}) {
    auto names = ListedNames(List({{"Page", p}}));
    all.insert(all.end(), names.begin(), names.end());
  }
  ASSERT_EQ(all.size(), 61u);
  EXPECT_EQ(all.front(), "g61");  // equal keys: highest number first
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
}

TEST_F(UserListTest, LongListLinksItsEndsAndAroundTheCurrentPage) {
  SeedSeries("insert into user(name, regtime)",
             "select 'u' || i, '2025-01-01 00:00:00' from k", 1501);
  EXPECT_NE(List({{"Page", "20"}})
                .find("[5]</a>&nbsp;… <a href=\"userlist.asp?Page=15&sort=\">[15]</a>"
                      "&nbsp;<a href=\"userlist.asp?Page=16&sort=\">"),
            std::string::npos);
}

// A bad page stops after the header; a page number must be whole.
TEST_F(UserListTest, BadPageStopsAfterTheHeader) {
  AddSampleBooks();
  ExpectGolden("UserList/page_abc.html", List({{"Page", "abc"}}));
  for (const char* p : {"2.5", "1x", " "})
    EXPECT_TRUE(List({{"Page", p}}).ends_with("</table>page:参数错误！")) << p;
  Seed("delete from user");
  ExpectGolden("UserList/empty.html", List({{"Page", "4"}}));
}

// An engine source that notes the most rows any one statement handed back.
class RowCountingSource : public data::EngineSource {
 public:
  explicit RowCountingSource(data::EngineSource& inner) : inner_(inner) {}
  std::shared_ptr<data::Engine> Acquire(std::string_view dsn) override {
    return std::make_shared<Engine>(inner_.Acquire(dsn), most_rows_);
  }
  std::size_t most_rows() const { return most_rows_; }

 private:
  class Engine : public data::Engine {
   public:
    Engine(std::shared_ptr<data::Engine> inner, std::size_t& most)
        : inner_(std::move(inner)), most_(most) {}
    data::Result Run(std::string_view sql, const std::vector<Value>& params) override {
      auto result = inner_->Run(sql, params);
      most_ = std::max(most_, result.rows.size());
      return result;
    }

   private:
    std::shared_ptr<data::Engine> inner_;
    std::size_t& most_;
  };

  data::EngineSource& inner_;
  std::size_t most_rows_ = 0;
};

TEST_F(UserListTest, TotalsAreCountedByTheStore) {
  AddNumberedBooks(95);
  AddMessages("g01", 200000);
  RowCountingSource counting(pool());
  host::MemoryPage counted(counting);
  counted.ad_script_url = "http://ad.example/ad.js";
  counted.query.Add("Page", "2");
  testing::RunPage(counted, dsn(), &Guestbook::UserList);
  EXPECT_TRUE(counted.body.starts_with("共有95个留言板  共有200000条留言<p></p>"));
  EXPECT_EQ(ListedNames(counted.body).size(), 30u);
  EXPECT_NE(counted.body.find("[4]</a>&nbsp;<p align=\"center\">"), std::string::npos);
  // Neither total nor the page loads more than one window of rows.
  EXPECT_LE(counting.most_rows(), 64u);
}

}  // namespace
}  // namespace tb
