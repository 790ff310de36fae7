// The list of guestbooks and the superuser's tools: each case a request, a
// line of tests/cases/admin/, its outcome a section of a golden file of the
// same name; the paging of long lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "data/engine.h"
#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

constexpr std::string_view kLeft =
    "select name from user order by id; select id from liuyan order by id";

// Five guestbooks (one without an address, one whose address is markup) and
// five messages, the ids counted from 1.
class SuperuserToolsTest : public CaseTest {
 protected:
  void Reset() {
    ClearStore();
    Seed(
        "insert into user(name, password, email, regtime) values "
        "('admin', 'root1', 'root@site.example', '2024-01-01 00:00:00'), "
        "('abc', 'pa<ss\"w', 'abc@x.example', '2025-01-02 03:04:05'), "
        "('x_9', 'secret', 'abc@x.example', '2025-05-06 07:08:09'), "
        "('nomail', 'secret', null, '2025-05-06 07:08:09'), "
        "('evil', 'secret', '<img src=x>@e.example', '2025-05-06 07:08:09')");
    Seed(
        "insert into liuyan(name, ip, guestname, infoseekno) values "
        "('abc', '10.0.0.1', 'Tom', 1), ('abc', '10.0.0.2', 'Ann', 2), "
        "('x_9', '10.0.0.1', 'Tom', 1), ('x_9', '10.0.0.3', 'O''Neil', 2), "
        "('admin', '10.0.0.1', 'Bob', 1)");
  }
};

TEST_F(SuperuserToolsTest, EachCaseFromTheSameStore) {
  std::string log;
  for (const Case& c : ReadCases("admin/tools.txt")) {
    Reset();
    log += Run(c, kLeft);
  }
  ExpectGolden("admin/tools.txt", log);
  Reset();
  Seed("insert into liuyan(name, subject) values ('abc', '<b>\"hi\"&')");
  RefuseWrites("liuyan", "delete");
  ExpectGolden("admin/tools_failed.txt", RunAll("admin/tools_failed.txt", kLeft));
}

class UserListTest : public CaseTest {
 protected:
  UserListTest() {
    base_ = {"@DelThisWord=坏词"};
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
  std::string List(const Fields& query = {}) {
    Request(query);
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

// Three guestbooks, the first with markup and a masked word in its title.
TEST_F(UserListTest, VisitorSuperuserAndBadPages) {
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
  AddMessages("abc", 3);
  AddMessages("x_9", 2);
  ExpectGolden("admin/user_list.txt", RunAll("admin/user_list.txt"));
}

TEST_F(UserListTest, SixSortOrders) {
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
  ExpectGolden("admin/user_list_sorts.txt", RunAll("admin/user_list_sorts.txt"));
}

TEST_F(UserListTest, ThirtyOneGuestbooksMakeTwoPages) {
  AddNumberedBooks(31);
  ExpectGolden("admin/user_list_pages.txt", RunAll("admin/user_list_pages.txt"));
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
  RunPage(counted, dsn(), &Guestbook::UserList);
  EXPECT_TRUE(counted.body.starts_with("共有95个留言板  共有200000条留言<p></p>"));
  EXPECT_EQ(ListedNames(counted.body).size(), 30u);
  EXPECT_NE(counted.body.find("[4]</a>&nbsp;<p align=\"center\">"), std::string::npos);
  // Neither total nor the page loads more than one window of rows.
  EXPECT_LE(counting.most_rows(), 64u);
}

}  // namespace
}  // namespace tb::testing
