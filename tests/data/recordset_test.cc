#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "data/connection.h"
#include "data/error.h"
#include "data/schema.h"
#include "data/sqlite_engine.h"
#include "tests/support/time_scale.h"

namespace tb::data {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() {
    char pattern[] = "/tmp/tavobook-data-XXXXXX";
    dir_ = mkdtemp(pattern);
    dsn_ = "sqlite:" + (dir_ / "t.db").string();
    conn_.Open(dsn_);
  }
  ~StoreTest() override {
    conn_.Close();
    std::filesystem::remove_all(dir_);
  }

  // Messages 1..n of guestbook "abc", with infoseekno = id.
  void SeedMessages(int n) {
    Transaction tx(conn_);
    conn_.Execute(
        "with recursive k(i) as (select 1 union all select i + 1 from k where i < " +
        std::to_string(n) +
        ") insert into liuyan(name, subject, infoseekno) select 'abc', 'm' || i, i from "
        "k");
    tx.Commit();
  }

  std::filesystem::path dir_;
  std::string dsn_;
  SqlitePool pool_;
  Connection conn_{pool_};
};

TEST_F(StoreTest, NewUserRowHasItsDefaults) {
  conn_.Execute("insert into user(name, regtime) values ('abc', '2026-01-02 03:04:05')");
  auto rs = conn_.Execute("select * from user");
  std::string got;
  for (const char* column :
       {"counter", "infoserial", "infolistno", "topformat", "topimage", "backimage",
        "sendinfo", "infostyle", "infoname", "infomail", "infohomepage", "infowhere",
        "infooicq", "infosubject", "hascrc", "modifytime", "readonly", "maxinfo"})
    got += std::string(column) + "=" + rs[column].Text() + ";";
  EXPECT_EQ(
      got,
      "counter=0;infoserial=0;infolistno=10;topformat=0;topimage=;backimage=;"
      "sendinfo=0;infostyle=11111111111101111111;infoname=姓名;infomail=电子邮件：;"
      "infohomepage=主页：;infowhere=来自：;infooicq=QQ号码：;infosubject=留言主题：;"
      "hascrc=0;modifytime=2026-01-02 03:04:05;readonly=0;maxinfo=0;");
  EXPECT_TRUE(rs["counter"].IsNumber());
  EXPECT_TRUE(rs["hascrc"].IsText());
}

TEST_F(StoreTest, MessageColumnListMatchesTheTable) {
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
  const std::string binaryish = "a\x01\x7f\xc3\x28\xff'\"\\%_b";
  const struct {
    std::string_view column;
    Value bound, want;
  } cases[] = {
      {"counter", Value("10"), Value(10)},
      {"infolistno", Value("9"), Value(9)},
      {"infolistno", Value(" 7x"), Value(" 7x")},
      {"titletop", Value("it's \"我的\" 本"), Value("it's \"我的\" 本")},
      {"titletop", Value(binaryish), Value(binaryish)},
      {"titletop", Value(5), Value("5")},
      {"email", Value(), Value()},
  };
  conn_.Execute("insert into user(name) values ('abc')");
  for (const auto& c : cases) {
    const std::string column(c.column);
    conn_.Execute("update user set " + column + " = ? where name = ?",
                  {c.bound, Value("ABC")});
    auto rs = conn_.Execute("select " + column + " from user where " + column + " is ?",
                            {c.bound});
    ASSERT_FALSE(rs.Eof()) << column << " " << c.bound.Text();
    EXPECT_EQ(rs[column], c.want) << column;
  }
  conn_.Execute("insert into user(name, infolistno) values ('b', ?), ('c', ?)",
                {Value("10"), Value("9")});
  auto rs = conn_.Execute(
      "select name from user where infolistno > ? order by infolistno", {Value("8")});
  EXPECT_EQ(rs["name"].Text(), "c") << "9 sorts before 10 as numbers do";
  conn_.Execute("update user set infoserial= infoserial + 1 where name = ?",
                {Value("b")});
  EXPECT_EQ(conn_.Execute("select infoserial from user where name = 'b'")["infoserial"],
            Value(1));
}

TEST_F(StoreTest, Failures) {
  conn_.Execute("insert into user(name) values ('abc')");
  Connection closed(pool_);
  Recordset unopened;
  const struct {
    std::string_view why;
    std::function<void()> act;
  } cases[] = {
      {"no such table", [&] { conn_.Execute("select * from nowhere"); }},
      {"bad SQL", [&] { conn_.Execute("selec 1"); }},
      {"a name taken in other letter case",
       [&] { conn_.Execute("insert into user(name) values ('aBC')"); }},
      {"no such folder", [&] { closed.Open("sqlite:/no/such/folder/x.db"); }},
      {"unknown engine", [&] { closed.Open("odbc:whatever"); }},
      {"not open", [&] { closed.Execute("select 1"); }},
      {"unopened recordset", [&] { unopened.Eof(); }},
      {"no such column", [&] { conn_.Execute("select name from user")["password"]; }},
      {"no row", [&] { conn_.Execute("select name from user where 0")["name"]; }},
      {"past the end",
       [&] { conn_.Execute("select name from user where 0").MoveNext(); }},
      {"page 0", [&] { unopened.SetAbsolutePage(0); }},
      {"page size 0", [&] { unopened.SetPageSize(0); }},
      {"an order not of plain columns",
       [&] {
         unopened.Open("select * from user order by id + 1", conn_, {}, Order::kTotal);
       }},
  };
  for (const auto& c : cases) EXPECT_THROW(c.act(), Error) << c.why;
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
  const struct {
    std::string_view order;
    Order kind;
  } cases[] = {
      {"infoseekno desc, id desc", Order::kTotal},
      {"infoseekno, liuyan.id", Order::kTotal},
      {"subject desc, infoseekno asc, rowid", Order::kTotal},
      {"infoseekno desc", Order::kAsGiven},
      {"infoseekno + 0, id", Order::kAsGiven},
  };
  for (const auto& c : cases) {
    const std::string sql =
        "select * from liuyan where name = ? order by " + std::string(c.order);
    auto all = conn_.Execute(sql, {Value("abc")});
    const auto want = Ids(all);
    for (int page = 1; page <= 15; ++page) {
      Recordset rs;
      rs.Open(sql, conn_, {Value("abc")}, c.kind);
      rs.SetPageSize(10);
      ASSERT_EQ(rs.PageCount(), 14);
      ASSERT_EQ(rs.RecordCount(), 131);
      rs.SetAbsolutePage(page);
      const auto from = want.begin() + std::min(page * 10 - 10, 131);
      EXPECT_EQ(Ids(rs, 10), std::vector(from, from + std::min(want.end() - from, 10L)))
          << c.order << ", page " << page;
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
  const struct { int rows, deleted; } cases[] = {{3, 3}, {200, 3}, {200, 70}, {200, 200}};
  for (const auto& c : cases) {
    conn_.Execute("delete from liuyan");
    SeedMessages(c.rows);
    Recordset rs;
    rs.Open("select id, infoseekno from liuyan where name = ? order by infoseekno", conn_,
            {Value("abc")});
    for (int i = 0; i < c.deleted; ++i, rs.MoveNext()) rs.Delete("liuyan");
    EXPECT_EQ(rs.RecordCount(), c.rows - c.deleted);
    std::vector<std::int64_t> seen;
    for (; !rs.Eof(); rs.MoveNext()) seen.push_back(*rs["InfoSeekNo"].Whole());
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(c.rows - c.deleted)) << c.deleted;
    if (!seen.empty()) {
      EXPECT_EQ(seen.front(), c.deleted + 1);
    }
    EXPECT_EQ(conn_.Execute("select count(*) as n from liuyan")["n"],
              Value(c.rows - c.deleted));
  }
}

TEST_F(StoreTest, TransactionRollsBackUnlessCommitted) {
  conn_.Execute("insert into user(name) values ('abc')");
  for (const bool commit : {false, true}) {
    Transaction tx(conn_);
    conn_.Execute("update user set infoserial= infoserial + 1 where name ='abc'");
    conn_.Execute("insert into liuyan(name) values ('abc')");
    if (commit) tx.Commit();
  }
  EXPECT_EQ(conn_.Execute("select infoserial from user")["infoserial"], Value(1));
  EXPECT_EQ(conn_.Execute("select count(*) as n from liuyan")["n"], Value(1));
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
    int read = 0;
    for (; read < 10 && !rs.Eof(); rs.MoveNext()) ++read;
    EXPECT_GT(read, 0);
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

// Each guestbook's count of messages and the text index follow every kind of
// change, from a store made before they existed on.
TEST_F(StoreTest, KeptCountsAndTextIndexFollowEveryChange) {
  constexpr const char* kSameCounts =
      "select (select group_concat(k || n) from (select lower(name) k, n from "
      "liuyan_count where n > 0 order by 1)) is (select group_concat(k || n) from "
      "(select lower(name) k, count(*) n from liuyan where name is not null "
      "group by 1 order by 1)) as same";
  for (const char* change : {
           "drop table liuyan_count; drop table liuyan_fts; drop trigger "
           "liuyan_count_insert; drop trigger liuyan_count_delete; drop trigger "
           "liuyan_count_rename; drop trigger liuyan_fts_insert; drop trigger "
           "liuyan_fts_delete; drop trigger liuyan_fts_update; insert into "
           "liuyan(name, subject) values ('abc', 'one')",
           "insert into liuyan(name, subject) values ('ABC', 'two'), ('x', 'three'), "
           "(null, 'four'), ('Abc', null)",
           "update liuyan set name = 'X' where subject = 'one'",
           "update liuyan set subject = 'zwei', message = 'm' where subject = 'two'",
           "update liuyan set name = null where subject = 'three'",
           "update liuyan set name = 'abc' where subject = 'four'",
           "delete from liuyan where subject = 'zwei'",
       }) {
    conn_.Execute(change);
    SqlitePool later;  // a new handle, which makes what the store lacks
    Connection c(later);
    c.Open(dsn_);
    EXPECT_EQ(c.Execute(kSameCounts)["same"], Value(1)) << change;
    EXPECT_NO_THROW(c.Execute(
        "insert into liuyan_fts(liuyan_fts, rank) values ('integrity-check', 1)"))
        << change;
  }
}

TEST_F(StoreTest, PooledHandlesAreReused) {
  conn_.Execute("insert into user(name) values ('abc')");
  for (int i = 0; i < 50; ++i) {
    Connection c(pool_);
    c.Open(dsn_);
    EXPECT_EQ(c.Execute("select name from user")["name"].Text(), "abc");
  }
  EXPECT_EQ(pool_.opened(), 2u) << "the fixture's handle and one lent fifty times";
}

// An operator moving the store away and back: while it is gone the store is
// unavailable, and no empty store is created in its place.
TEST_F(StoreTest, AStoreMovedAwayIsNotCreatedAfresh) {
  conn_.Execute("insert into user(name) values ('abc')");
  conn_.Close();
  const auto path = dir_ / "t.db", away = dir_ / "away.db";
  auto names = [&] {
    Connection c(pool_);
    c.Open(dsn_);
    return c.Execute("select count(*) as n from user")["n"].Whole();
  };
  EXPECT_EQ(names(), 1);
  std::filesystem::rename(path, away);
  EXPECT_THROW(names(), Unavailable);
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::rename(away, path);
  EXPECT_EQ(names(), 1);
}

// Every write but a visit count raises page_version's n, a visit count its
// visits, a read neither, whoever writes: the store's triggers keep them.
TEST_F(StoreTest, PageVersionFollowsEveryWrite) {
  SqlitePool other_process;
  const std::shared_ptr<Engine> here = conn_.engine(),
                                elsewhere = other_process.Acquire(dsn_);
  here->Run("insert into user(name) values ('a')");
  const struct {
    Engine* by;
    std::string_view sql;
    bool n, visits;
  } cases[] = {
      {here.get(), "select count(*) from user", false, false},
      {here.get(), "insert into liuyan(name) values ('a')", true, false},
      {elsewhere.get(), "update liuyan set subject = subject || 'x'", true, false},
      {here.get(), "delete from liuyan", true, false},
      {elsewhere.get(), "update user set titletop = 't'", true, false},
      {here.get(), "update user set counter = coalesce(counter, 0) + 1", false, true},
      {elsewhere.get(), "insert into user(name) values ('b')", true, false},
      {here.get(), "delete from user where name = 'b'", true, false},
  };
  auto versions = [&] { return here->Run("select n, visits from page_version").rows; };
  for (const auto& c : cases) {
    const auto before = versions();
    c.by->Run(c.sql);
    const auto after = versions();
    EXPECT_EQ(after[0][0] != before[0][0], c.n) << c.sql;
    EXPECT_EQ(after[0][1] != before[0][1], c.visits) << c.sql;
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

TEST_F(StoreTest, AStatementPastTheTimeLimitStopsWithTimeout) {
  SqlitePool quick(std::chrono::milliseconds(50));
  Connection slow(quick);
  slow.Open(dsn_);
  struct Case {
    std::string_view sql, why;
  } cases[] = {
      {"with recursive k(i) as (select 1 union all select i + 1 from k where i < 1e8) "
       "select count(*) from k",
       "runs for seconds"},
      {"begin immediate", "waits for the fixture's write lock"},
  };
  Transaction lock(conn_);
  for (const auto& c : cases) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(slow.Execute(c.sql), Timeout) << c.why;
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(1) * testing::kTimeScale)
        << c.why;
  }
  EXPECT_EQ(slow.Execute("select 7 as n")["n"], Value(7)) << "the handle goes on";
}

TEST_F(StoreTest, ConcurrentWritersWaitRatherThanFail) {
  conn_.Execute("insert into user(name) values ('abc')");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        Connection c(pool_);
        c.Open(dsn_);
        Transaction tx(c);
        auto n = c.Execute("select infoserial from user where name='abc'")["infoserial"];
        c.Execute("update user set infoserial = " + std::to_string(*n.Whole() + 1));
        tx.Commit();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(conn_.Execute("select infoserial from user")["infoserial"], Value(200));
}

}  // namespace
}  // namespace tb::data
