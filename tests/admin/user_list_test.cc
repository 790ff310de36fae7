#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "check/convert.h"
#include "data/engine.h"
#include "tests/support/support.h"

namespace tb {
namespace {

struct Book {
  std::string name, title;
  int counter = 0;
  std::string regtime = "2025-01-01 09:05:03", modifytime = "2025-01-01 09:05:03";
  int infoserial = 0;
  std::string hascrc = "0";
};

class UserListTest : public testing::PageTest {
 protected:
  void AddBooks(const std::vector<Book>& books) {
    for (const auto& b : books) {
      Seed(
          "insert into user(name, titletop, counter, regtime, modifytime, infoserial, "
          "hascrc) values (?, ?, ?, ?, ?, ?, ?)",
          {Value(b.name), Value(b.title), Value(b.counter), Value(b.regtime),
           Value(b.modifytime), Value(b.infoserial), Value(b.hascrc)});
    }
  }
  void AddMessages(const std::string& name, int n) {
    Seed("with recursive k(i) as (select 1 union all select i + 1 from k where i < " +
         std::to_string(n) + ") insert into liuyan(name, infoseekno) select '" + name +
         "', i from k");
  }
  // Guestbooks g01 .. gNN, registered one second apart, with no messages.
  void AddNumberedBooks(int n) {
    std::vector<Book> books;
    for (int i = 1; i <= n; ++i) {
      char name[16], when[32];
      std::snprintf(name, sizeof name, "g%02d", i);
      std::snprintf(when, sizeof when, "2025-02-03 04:05:%02d", i);
      books.push_back({.name = name,
                       .title = std::string("Book ") + name,
                       .regtime = when,
                       .modifytime = when});
    }
    AddBooks(books);
  }
  std::string List(const std::vector<std::pair<std::string, std::string>>& query = {}) {
    NextRequest();
    for (const auto& [k, v] : query) page().query.Add(k, v);
    book().UserList();
    return page().body;
  }
  void LogInSuperuser() { page().Set("ly_admin_log", Value("yes")); }
};

// The guestbook names in list order, from the rows' links.
std::vector<std::string> ListedNames(const std::string& body) {
  static const std::regex link("<a href=\"show\\.asp\\?name=([^\"]*)\"");
  std::vector<std::string> names;
  for (std::sregex_iterator it(body.begin(), body.end(), link), end; it != end; ++it)
    names.push_back((*it)[1]);
  return names;
}

std::vector<Book> SampleBooks() {
  return {
      {.name = "abc",
       .title = "我的 <留言> 本 坏词",
       .counter = 12,
       .regtime = "2025-01-02 03:04:05",
       .infoserial = 7,
       .hascrc = "1"},
      {.name = "x_9",
       .title = "Tom's \"book\"",
       .counter = 0,
       .regtime = "2024-11-30 23:59:00",
       .infoserial = 2},
      {.name = "admin",
       .title = "管理员",
       .counter = 3,
       .regtime = "2026-03-05 14:07:09"},
  };
}

TEST_F(UserListTest, VisitorSeesFourColumns) {
  AddBooks(SampleBooks());
  AddMessages("abc", 3);
  AddMessages("x_9", 2);
  NextRequest();
  book().SetDelThisWord("坏词");
  book().UserList();
  testing::ExpectGolden("UserList/visitor.html", page().body);
  EXPECT_EQ(ListedNames(page().body), (std::vector<std::string>{"abc", "x_9", "admin"}));
}

TEST_F(UserListTest, SuperuserSeesDeleteLinksAndFlag) {
  AddBooks(SampleBooks());
  AddMessages("abc", 3);
  LogInSuperuser();
  NextRequest();
  book().SetDelThisWord("坏词");
  book().UserList();
  testing::ExpectGolden("UserList/superuser.html", page().body);
}

TEST_F(UserListTest, OnlyYesOpensTheSuperuserColumns) {
  AddBooks(SampleBooks());
  for (const char* flag : {"", "no", "Yes", "1"}) {
    page().Set("ly_admin_log", Value(flag));
    std::string body = List();
    EXPECT_EQ(body.find("deluser"), std::string::npos) << flag;
    EXPECT_EQ(body.find("留言信息"), std::string::npos) << flag;
  }
}

TEST_F(UserListTest, SixSortOrders) {
  // Each order puts the four guestbooks differently.
  AddBooks({
      {.name = "a1",
       .title = "Delta",
       .counter = 30,
       .regtime = "2025-01-01 09:00:00",
       .modifytime = "2026-02-01 00:00:00",
       .infoserial = 5},
      {.name = "b2",
       .title = "Alpha",
       .counter = 10,
       .regtime = "2025-06-01 00:00:00",
       .modifytime = "2025-07-01 00:00:00",
       .infoserial = 9},
      {.name = "c3",
       .title = "Charlie",
       .counter = 20,
       .regtime = "2024-12-31 00:00:00",
       .modifytime = "2026-03-01 00:00:00",
       .infoserial = 1},
      {.name = "d4",
       .title = "Bravo",
       .counter = 40,
       .regtime = "2025-03-15 00:00:00",
       .modifytime = "2025-04-01 00:00:00",
       .infoserial = 3},
  });
  struct Case {
    const char* sort;  // nullptr: no sort field
    const char* golden;
    std::vector<std::string> names;
  } cases[] = {
      {nullptr, "UserList/sort_none.html", {"b2", "a1", "d4", "c3"}},
      {"", "UserList/sort_none.html", {"b2", "a1", "d4", "c3"}},
      {"1", "UserList/sort_1.html", {"b2", "d4", "a1", "c3"}},
      {"2", "UserList/sort_2.html", {"c3", "a1", "b2", "d4"}},
      {"3", "UserList/sort_3.html", {"d4", "c3", "b2", "a1"}},
      {"4", "UserList/sort_4.html", {"a1", "c3", "d4", "b2"}},
      {"5", "UserList/sort_5.html", {"d4", "a1", "c3", "b2"}},
      // Unknown values list in the default order; the links carry them back
      // escaped.
      {"9", "UserList/sort_unknown.html", {"b2", "a1", "d4", "c3"}},
      {" 1", "UserList/sort_blank_1.html", {"b2", "a1", "d4", "c3"}},
      {"\"><script>x</script>", "UserList/sort_markup.html", {"b2", "a1", "d4", "c3"}},
  };
  for (const auto& c : cases) {
    std::string body = c.sort ? List({{"sort", c.sort}}) : List();
    EXPECT_EQ(ListedNames(body), c.names) << (c.sort ? c.sort : "(none)");
    testing::ExpectGolden(c.golden, body);
  }
}

TEST_F(UserListTest, ThirtyOneGuestbooksMakeTwoPages) {
  AddNumberedBooks(31);
  std::string first = List({{"sort", "1"}});
  std::string second = List({{"Page", "2"}, {"sort", "1"}});
  testing::ExpectGolden("UserList/page1.html", first);
  testing::ExpectGolden("UserList/page2.html", second);
  EXPECT_EQ(ListedNames(first).size(), 30u);
  EXPECT_EQ(ListedNames(second), std::vector<std::string>{"g01"});
  // Page 1 is also what an explicit first page, 0 or a negative page shows.
  for (const char* p : {"1", "0", "-3", ""}) {
    EXPECT_EQ(List({{"page", p}, {"sort", "1"}}), first) << p;
  }
  // A page beyond the last shows the last.
  for (const char* p : {"3", "99", "1e30"}) {
    EXPECT_EQ(List({{"Page", p}, {"sort", "1"}}), second) << p;
  }
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
  Seed(
      "with recursive k(i) as (select 1 union all select i + 1 from k where i < 1501) "
      "insert into user(name, regtime) select 'u' || i, '2025-01-01 00:00:00' from k");
  const std::string body = List({{"Page", "20"}});
  EXPECT_NE(body.find("[5]</a>&nbsp;… <a href=\"userlist.asp?Page=15&sort=\">[15]</a>"
                      "&nbsp;<a href=\"userlist.asp?Page=16&sort=\">"),
            std::string::npos);
}

TEST_F(UserListTest, BadPageStopsAfterTheHeader) {
  AddBooks(SampleBooks());
  std::string body = List({{"Page", "abc"}});
  testing::ExpectGolden("UserList/page_abc.html", body);
  EXPECT_TRUE(body.ends_with("</table>page:参数错误！"));
  // A page number must be whole.
  for (const char* p : {"2.5", "1x", " "}) {
    EXPECT_TRUE(List({{"Page", p}}).ends_with("page:参数错误！")) << p;
  }
}

TEST_F(UserListTest, NoGuestbooks) {
  std::string body = List({{"Page", "4"}});
  testing::ExpectGolden("UserList/empty.html", body);
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
  Guestbook list;
  list.SetDSNtemp(dsn());
  list.OnStartPage(counted);
  list.UserList();
  list.OnEndPage();
  EXPECT_TRUE(counted.body.starts_with("共有95个留言板  共有200000条留言<p></p>"));
  EXPECT_EQ(ListedNames(counted.body).size(), 30u);
  EXPECT_NE(counted.body.find("[4]</a>&nbsp;<p align=\"center\">"), std::string::npos);
  // Neither total nor the page loads more than one window of rows.
  EXPECT_LE(counting.most_rows(), 64u);
}

}  // namespace
}  // namespace tb
