#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "data/connection.h"
#include "data/error.h"
#include "data/mariadb_engine.h"
#include "data/schema.h"
#include "data/sqlite_engine.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"
#include "tests/support/time_scale.h"

namespace tb::data {
namespace {

using testing::CaseValue;
using testing::ReadCases;

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() { conn_.Open(dsn_); }

  // Messages 1..n of guestbook "abc", with infoseekno = id.
  void SeedMessages(int n) {
    conn_.Execute(
        "with recursive k(i) as (select 1 union all select i + 1 from k where i < " +
        std::to_string(n) +
        ") insert into liuyan(name, subject, infoseekno) select 'abc', 'm' || i, i "
        "from k");
  }

  testing::TempDir tmp_;
  const std::filesystem::path dir_ = tmp_.path();
  const std::string dsn_ = "sqlite:" + (dir_ / "t.db").string();
  SqlitePool pool_;
  Connection conn_{pool_};
};

TEST_F(StoreTest, NewRowsHaveTheirDefaultsAndTheColumnListMatches) {
  conn_.Execute("insert into user(name, regtime) values ('abc', '2026-01-02 03:04:05')");
  for (const auto& c : ReadCases("data/user_defaults.txt"))
    EXPECT_EQ(testing::StoreScalar(pool_, dsn_, "select " + c[0] + " from user"), c[1])
        << c[0];
  std::set<std::string> listed, stored;
  for (const auto& c : kMessageColumns) listed.insert(std::string(c.name));
  auto rs = conn_.Execute("select name from pragma_table_info('liuyan')");
  for (; !rs.Eof(); rs.MoveNext()) stored.insert(rs["name"].Text());
  EXPECT_EQ(listed, stored);
  EXPECT_EQ(listed.size(), kMessageColumns.size());
}

// Values bound to "?" are stored as the same values written into the text
// would be: numeric text in a numeric column becomes a number, so that
// sorting and comparing keep working; other text goes in byte for byte.
TEST_F(StoreTest, BoundValuesAreStoredAsWrittenOnes) {
  conn_.Execute("insert into user(name) values ('abc')");
  for (const auto& c : ReadCases("data/bound_values.txt")) {
    const Value bound = CaseValue(c, 1);
    conn_.Execute("update user set " + c[0] + " = ? where name = ?",
                  {bound, Value("ABC")});
    auto rs =
        conn_.Execute("select " + c[0] + " from user where " + c[0] + " is ?", {bound});
    ASSERT_FALSE(rs.Eof()) << c[0] << " " << c[1];
    EXPECT_EQ(rs[c[0]], CaseValue(c, 2)) << c[0];
    EXPECT_EQ(rs[c[0]].IsNumber(), CaseValue(c, 2).IsNumber()) << c[0];
  }
  conn_.Execute("insert into user(name, infolistno) values ('b', ?), ('c', ?)",
                {Value("10"), Value("9")});
  auto rs = conn_.Execute(
      "select name from user where infolistno > ? order by infolistno", {Value("8")});
  EXPECT_EQ(rs["name"].Text(), "c") << "9 sorts before 10 as numbers do";
}

TEST_F(StoreTest, Failures) {
  conn_.Execute("insert into user(name) values ('abc')");
  Connection closed(pool_);
  Recordset unopened;
  const std::function<void()> cases[] = {
      [&] { conn_.Execute("select * from nowhere"); },
      [&] { conn_.Execute("selec 1"); },
      [&] { conn_.Execute("insert into user(name) values ('aBC')"); },  // name taken
      [&] { closed.Open("sqlite:/no/such/folder/x.db"); },
      [&] { closed.Open("odbc:whatever"); },
      [&] { closed.Execute("select 1"); },  // not open
      [&] { unopened.Eof(); },
      [&] { conn_.Execute("select name from user")["password"]; },
      [&] { conn_.Execute("select name from user where 0")["name"]; },  // no row
      [&] { conn_.Execute("select name from user where 0").MoveNext(); },
      [&] { unopened.SetAbsolutePage(0); },
      [&] { unopened.SetPageSize(0); },
      // An order not of plain columns.
      [&] {
        unopened.Open("select * from user order by id + 1", conn_, {}, Order::kTotal);
      },
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_THROW(cases[i](), Error) << i;
}

// The ids a select gives, in order.
std::vector<std::string> Ids(Recordset& rs, std::size_t most = SIZE_MAX) {
  std::vector<std::string> ids;
  for (; !rs.Eof() && ids.size() < most; rs.MoveNext()) ids.push_back(rs["id"].Text());
  return ids;
}

// Every page holds the rows the whole select has in those places, whether
// it is read from the front or, past the middle, from the far end.
TEST_F(StoreTest, EveryPageHoldsTheSameRowsFromEitherEnd) {
  SeedMessages(131);
  conn_.Execute(  // ties and NULLs
      "update liuyan set infoseekno = case when id % 9 = 0 then null else id % 7 end");
  for (const auto& c : ReadCases("data/page_orders.txt")) {
    const std::string sql = "select * from liuyan where name = ? order by " + c[0];
    auto all = conn_.Execute(sql, {Value("abc")});
    const auto want = Ids(all);
    for (int page = 1; page <= 15; ++page) {
      Recordset rs;
      rs.Open(sql, conn_, {Value("abc")},
              c[1] == "total" ? Order::kTotal : Order::kAsGiven);
      rs.SetPageSize(10);
      ASSERT_EQ(rs.PageCount(), 14);
      ASSERT_EQ(rs.RecordCount(), 131);
      rs.SetAbsolutePage(page);
      const auto from = want.begin() + std::min(page * 10 - 10, 131);
      EXPECT_EQ(Ids(rs, 10), std::vector(from, from + std::min(want.end() - from, 10L)))
          << c[0] << ", page " << page;
    }
  }
  Recordset none;
  none.Open("select * from liuyan where name = ?", conn_, {Value("nobody")});
  EXPECT_TRUE(none.Eof() && none.Bof());
  EXPECT_EQ(none.PageCount(), 0);
}

// A walk that deletes rows as it goes reads each remaining row once, across
// windows, and the count follows.
TEST_F(StoreTest, DeleteWhileWalking) {
  for (const auto& [rows, deleted] : {std::pair{3, 3}, {200, 3}, {200, 70}, {200, 200}}) {
    conn_.Execute("delete from liuyan");
    SeedMessages(rows);
    Recordset rs;
    rs.Open("select id, infoseekno from liuyan where name = ? order by infoseekno", conn_,
            {Value("abc")});
    for (int i = 0; i < deleted; ++i, rs.MoveNext()) rs.Delete("liuyan");
    EXPECT_EQ(rs.RecordCount(), rows - deleted);
    std::vector<std::int64_t> seen, want;
    for (; !rs.Eof(); rs.MoveNext()) seen.push_back(*rs["InfoSeekNo"].Whole());
    for (int i = deleted + 1; i <= rows; ++i) want.push_back(i);
    EXPECT_EQ(seen, want);
    EXPECT_EQ(testing::StoreCount(pool_, dsn_, "select * from liuyan"), rows - deleted);
  }
}

// A page of a guestbook with 100,000 messages, first or last, costs about
// what a page of a small one costs: counted and fetched in SQL, the last
// from the far end.
TEST_F(StoreTest, LargeTablePagesWithoutLoadingIt) {
  SeedMessages(100000);
  conn_.Execute("insert into liuyan(name, infoseekno) values ('small', 1)");
  auto time_page = [&](const char* name, bool last) {
    auto start = std::chrono::steady_clock::now();
    Recordset rs;
    rs.Open("select * from liuyan where name = ? order by infoseekno desc, id desc",
            conn_, {Value(name)}, Order::kTotal);
    rs.SetPageSize(10);
    rs.SetAbsolutePage(last ? rs.PageCount() : 1);
    EXPECT_FALSE(rs.Eof());
    for (int read = 0; read < 10 && !rs.Eof(); ++read) rs.MoveNext();
    return std::chrono::steady_clock::now() - start;
  };
  for (bool last : {false, true}) {
    // The best of three, so that a busy machine's pauses do not count.
    auto best = [&](const char* name) {
      return std::min(
          {time_page(name, last), time_page(name, last), time_page(name, last)});
    };
    auto large = best("abc");
    auto small = best("small");
    EXPECT_LT(large, std::chrono::milliseconds(50) * testing::kTimeScale) << last;
    EXPECT_LT(large, small * 50 + std::chrono::milliseconds(20) * testing::kTimeScale);
  }
}

// Each guestbook's count of messages, the site's counts and the text index
// follow every kind of change, from a store made before they existed on.
TEST_F(StoreTest, KeptCountsAndTextIndexFollowEveryChange) {
  for (const auto& change : ReadCases("data/kept_counts.txt")) {
    conn_.Execute(change[0]);
    SqlitePool later;  // a new handle, which makes what the store lacks
    Connection c(later);
    c.Open(dsn_);
    EXPECT_EQ(
        c.Execute(
            "select (select group_concat(k || n) from (select lower(name) k, n "
            "from liuyan_count where n > 0 order by 1)) is (select "
            "group_concat(k || n) from (select lower(name) k, count(*) n from "
            "liuyan where name is not null group by 1 order by 1)) and (select books || "
            "' ' || messages from site_count) = (select count(*) from user) || ' ' || "
            "(select count(*) from liuyan) as same")["same"],
        Value(1))
        << change[0];
    EXPECT_NO_THROW(c.Execute(
        "insert into liuyan_fts(liuyan_fts, rank) values ('integrity-check', 1)"))
        << change[0];
  }
}

// Handles are lent again; an operator removing the store and putting back a
// copy makes it unavailable meanwhile (no empty store is created in its
// place), and the handles then write into the copy put back.
TEST_F(StoreTest, PooledHandlesAndAStoreRemovedAndPutBack) {
  conn_.Execute("insert into user(name) values ('abc')");
  auto names = [&](const char* sql) {
    Connection c(pool_);
    c.Open(dsn_);
    c.Execute(sql);
    return c.Execute("select count(*) as n from user")["n"].Whole();
  };
  for (int i = 0; i < 50; ++i) EXPECT_EQ(names("select 1"), 1);
  EXPECT_EQ(pool_.opened(), 2u) << "the fixture's handle and one lent fifty times";
  const auto path = dir_ / "t.db", copy = dir_ / "copy.db";
  conn_.Execute("vacuum into '" + copy.string() + "'");
  conn_.Close();
  for (const char* suffix : {"", "-wal", "-shm"})
    std::filesystem::remove(path.string() + suffix);
  EXPECT_THROW(names("select 1"), Unavailable);
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::copy_file(copy, path);
  EXPECT_EQ(names("insert into user(name) values ('back')"), 2);
  SqlitePool fresh;
  EXPECT_EQ(testing::StoreCount(fresh, dsn_, "select * from user where name = 'back'"),
            1);
}

// Every write but a visit count raises page_version's n, a visit count its
// visits, a read neither, whoever writes: the store's triggers keep them.
TEST_F(StoreTest, PageVersionFollowsEveryWrite) {
  SqlitePool other_process;
  const std::shared_ptr<Engine> here = conn_.engine(),
                                elsewhere = other_process.Acquire(dsn_);
  here->Run("insert into user(name) values ('a')");
  auto versions = [&] {
    return here->Run("select n, visits from page_version").rows.at(0);
  };
  for (const auto& c : ReadCases("data/page_version.txt")) {
    const auto before = versions();
    const std::string mark = here->ChangeMark();
    (c[0] == "here" ? here : elsewhere)->Run(c[1]);
    const auto after = versions();
    EXPECT_EQ(after[0] != before[0] ? "yes" : "no", c[2]) << c[1];
    EXPECT_EQ(after[1] != before[1] ? "yes" : "no", c[3]) << c[1];
    // The change mark moves with any commit, whoever makes it, and with
    // nothing else.
    EXPECT_FALSE(mark.empty()) << c[1];
    EXPECT_EQ(here->ChangeMark() != mark, after != before) << c[1];
  }
}

TEST_F(StoreTest, AStatementRunAgainIsNotPreparedAgain) {
  auto db = pool_.Acquire(dsn_);
  const std::size_t before = pool_.prepared();
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(db->Run("select ?", {Value(i)}).rows[0][0], Value(i));
  EXPECT_EQ(pool_.prepared(), before + 1);
  EXPECT_TRUE(db->Run("select ?").rows[0][0].IsEmpty()) << "no binding is left over";
  db.reset();  // back to the pool, with its statements
  db = pool_.Acquire(dsn_);
  db->Run("select ?", {Value(1)});
  EXPECT_EQ(pool_.prepared(), before + 1);
  // Only the recent ones stay: after a hundred others, the first is gone.
  for (int i = 0; i < 100; ++i) db->Run("select " + std::to_string(i));
  const std::size_t after = pool_.prepared();
  db->Run("select 99");
  db->Run("select ?");
  EXPECT_EQ(pool_.prepared(), after + 1);
}

// A statement that waits for the fixture's write lock stops with Timeout;
// the handle goes on. (One that runs for seconds: SiteTest's slow.asp.)
TEST_F(StoreTest, AStatementPastTheTimeLimitStopsWithTimeout) {
  SqlitePool quick(std::chrono::milliseconds(50));
  Connection slow(quick);
  slow.Open(dsn_);
  Transaction lock(conn_);
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(slow.Execute("begin immediate"), Timeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(1) * testing::kTimeScale);
  EXPECT_EQ(slow.Execute("select 7 as n")["n"], Value(7));
}

// Where a MariaDB connection string points.
TEST(MariaTargetTest, ReadsEachPart) {
  for (const auto& c : ReadCases("data/maria_targets.txt")) {
    std::string got = "-";
    try {
      if (auto t = MariaTargetOf(c[0]))
        got = t->user + "|" + t->password + "|" + t->host + "|" +
              std::to_string(t->port) + "|" + t->database +
              (t->socket.empty() ? "" : "|" + t->socket);
    } catch (const Error& e) {
      got = std::string("error: ") + e.what();
    }
    EXPECT_EQ(got, c[1]) << c[0];
  }
}

}  // namespace
}  // namespace tb::data
