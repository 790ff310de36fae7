// The list of guestbooks and the superuser's tools: each case a request, a
// line of tests/cases/admin/, its outcome a section of a golden file of the
// same name; the paging of long lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace tb::testing {
namespace {

constexpr std::string_view kLeft =
    "select name from user order by id; select id from liuyan order by id";

class AdminTest : public CaseTest {};

// The superuser's tools, each case from five guestbooks (one without an
// address, one whose address is markup) and five messages, the ids counted
// from 1 (tests/cases/admin/tools_store.txt).
TEST_F(AdminTest, SuperuserToolsEachCaseFromTheSameStore) {
  std::string log;
  for (const Case& c : ReadCases("admin/tools.txt")) {
    ClearStore();
    SeedFile("admin/tools_store.txt");
    log += Run(c, kLeft);
  }
  ExpectGolden("admin/tools.txt", log);
  // A spelling the store takes for "admin" (MariaDB ignores accents) does
  // not delete the superuser's guestbook either.
  Run({"", {"AdminDelUser", "admin", "?name=ádmin"}, {}});
  EXPECT_EQ(Count("select * from user where name = 'admin'"), 1);
  ClearStore();
  SeedFile("admin/tools_store.txt");
  Seed("insert into liuyan(name, subject) values ('abc', '<b>\"hi\"&')");
  RefuseWrites("liuyan", "delete");
  ExpectGolden("admin/tools_failed.txt", RunAll("admin/tools_failed.txt", kLeft));
}

class UserListTest : public AdminTest {
 protected:
  UserListTest() { base_ = {"@DelThisWord=坏词"}; }
  void AddMessages(const std::string& name, int n) {
    SeedSeries("insert into liuyan(name, infoseekno)", "select '" + name + "', i from k",
               n);
  }
  // Guestbooks g01 .. gNN, registered one second apart, with no messages.
  void AddNumberedBooks(int n) {
    SeedSeries(
        "insert into user(name, titletop, regtime, modifytime, counter, "
        "infoserial, hascrc)",
        "select 'g' || substr('0' || i, -2), 'Book g' || substr('0' || i, -2), "
        "'2025-02-03 04:05:' || substr('0' || i, -2), "
        "'2025-02-03 04:05:' || substr('0' || i, -2), 0, 0, '0' from k",
        n);
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
  SeedFile("admin/user_list_store.txt");
  AddMessages("abc", 3);
  AddMessages("x_9", 2);
  ExpectGolden("admin/user_list.txt", RunAll("admin/user_list.txt"));
}

TEST_F(UserListTest, SixSortOrders) {
  SeedFile("admin/user_list_sorts_store.txt");
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

TEST_F(UserListTest, TotalsAreCountedByTheStore) {
  AddNumberedBooks(95);
  AddMessages("g01", 200000);
  RecordingSource counting(pool());
  host::MemoryPage counted(counting);
  counted.ad_script_url = "http://ad.example/ad.js";
  counted.query.Add("Page", "2");
  RunPage(counted, dsn(), &Guestbook::UserList);
  EXPECT_TRUE(counted.body.starts_with("共有95个留言板  共有200000条留言<p></p>"));
  EXPECT_EQ(ListedNames(counted.body).size(), 30u);
  EXPECT_NE(counted.body.find("[4]</a>&nbsp;<p align=\"center\">"), std::string::npos);
  // Neither total nor the page loads more than one window of rows.
  EXPECT_LE(counting.most_rows, 64u);
}

}  // namespace
}  // namespace tb::testing
