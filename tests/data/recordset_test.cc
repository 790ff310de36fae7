#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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

TEST_F(StoreTest, ExecuteReadsForwardAndFieldsIgnoreCase) {
  conn_.Execute("insert into user(name, titletop) values ('abc', 'T1')");
  auto rs = conn_.Execute("select * from user where name ='ABC'");
  ASSERT_FALSE(rs.Eof());
  EXPECT_FALSE(rs.Bof());
  EXPECT_EQ(rs["NAME"].Text(), "abc");
  EXPECT_EQ(rs["TitleTop"].Text(), "T1");
  EXPECT_EQ(rs.RecordCount(), -1);
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.MoveNext(), Error);
}

TEST_F(StoreTest, EmptyResultIsEofAndBof) {
  auto rs = conn_.Execute("select * from user where name ='nobody'");
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_THROW(rs["name"], Error);
}

TEST_F(StoreTest, NewUserRowHasItsDefaults) {
  conn_.Execute("insert into user(name, regtime) values ('abc', '2026-01-02 03:04:05')");
  auto rs = conn_.Execute("select * from user");
  struct Case {
    const char* column;
    const char* want;
  } cases[] = {
      {"counter", "0"},
      {"infoserial", "0"},
      {"infolistno", "10"},
      {"topformat", "0"},
      {"topimage", ""},
      {"backimage", ""},
      {"sendinfo", "0"},
      {"infostyle", "11111111111101111111"},
      {"infoname", "姓名"},
      {"infomail", "电子邮件："},
      {"infohomepage", "主页："},
      {"infowhere", "来自："},
      {"infooicq", "QQ号码："},
      {"infosubject", "留言主题："},
      {"hascrc", "0"},
      {"modifytime", "2026-01-02 03:04:05"},
      {"readonly", "0"},
      {"maxinfo", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(rs[c.column].Text(), c.want) << c.column;
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

TEST_F(StoreTest, NamesAreUniqueWithoutRegardToCase) {
  conn_.Execute("insert into user(name) values ('Abc')");
  EXPECT_THROW(conn_.Execute("insert into user(name) values ('aBC')"), Error);
  EXPECT_EQ(conn_.Execute("select count(*) as n from user where name='ABC'")["n"].Text(),
            "1");
}

TEST_F(StoreTest, QuotedNumbersAreStoredAsNumbers) {
  conn_.Execute("insert into user(name, counter) values ('abc', '5')");
  conn_.Execute("update user set counter = '6' where name='abc'");
  conn_.Execute("update user set infoserial= infoserial + 1 where name ='abc'");
  auto rs = conn_.Execute("select counter, infoserial from user");
  EXPECT_EQ(rs["counter"], Value(6));
  EXPECT_EQ(rs["infoserial"], Value(1));
}

TEST_F(StoreTest, Failures) {
  EXPECT_THROW(conn_.Execute("select * from nowhere"), Error);
  EXPECT_THROW(conn_.Execute("selec 1"), Error);
  auto rs = conn_.Execute("select name from user");
  Connection other(pool_);
  EXPECT_THROW(other.Open("sqlite:/no/such/folder/x.db"), Error);
  EXPECT_THROW(other.Open("odbc:whatever"), Error);
  EXPECT_THROW(other.Execute("select 1"), Error);  // not open
  conn_.Execute("insert into user(name) values ('abc')");
  auto row = conn_.Execute("select name from user");
  EXPECT_THROW(row["password"], Error);
}

TEST_F(StoreTest, StaticRecordsetPagesAndCounts) {
  SeedMessages(25);
  Recordset rs;
  rs.Open("select * from liuyan where name='abc' order by infoseekno desc", conn_,
          kStaticCursor, kOptimisticLock);
  EXPECT_EQ(rs.RecordCount(), 25);
  rs.SetPageSize(10);
  EXPECT_EQ(rs.PageCount(), 3);
  struct Case {
    int page;
    std::vector<int> want;
  } cases[] = {
      {1, {25, 24, 23, 22, 21, 20, 19, 18, 17, 16}},
      {3, {5, 4, 3, 2, 1}},
      {2, {15, 14, 13, 12, 11, 10, 9, 8, 7, 6}},
  };
  for (const auto& c : cases) {
    rs.SetAbsolutePage(c.page);
    EXPECT_EQ(rs.AbsolutePage(), c.page);
    std::vector<int> got;
    for (int i = 0; i < rs.PageSize() && !rs.Eof(); ++i, rs.MoveNext()) {
      got.push_back(static_cast<int>(*rs["infoseekno"].Whole()));
    }
    EXPECT_EQ(got, c.want) << "page " << c.page;
  }
  rs.SetAbsolutePage(4);
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.SetAbsolutePage(0), Error);
}

TEST_F(StoreTest, EmptyStaticRecordset) {
  Recordset rs;
  rs.Open("select * from liuyan where name='abc' order by infoseekno desc", conn_);
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(rs.RecordCount(), 0);
  rs.SetPageSize(10);
  EXPECT_EQ(rs.PageCount(), 0);
  rs.Close();
  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  rs.Open("select name from user", conn_, kStaticCursor);
  EXPECT_TRUE(rs.Eof());
}

TEST_F(StoreTest, WalkBackwardsDeletingFromTheEnd) {
  SeedMessages(130);
  Recordset rs;
  rs.Open("select * from liuyan where name ='abc' order by infoseekno desc", conn_,
          kStaticCursor, kOptimisticLock);
  ASSERT_EQ(rs.RecordCount(), 130);
  rs.MoveLast();
  for (int i = 0; i < 100 && !rs.Bof(); ++i) {
    rs.Delete();
    rs.MovePrevious();
  }
  rs.Update();
  ASSERT_FALSE(rs.Bof());
  EXPECT_EQ(rs["infoseekno"], Value(101));
  EXPECT_EQ(conn_.Execute("select count(*) as n from liuyan")["n"], Value(30));
  EXPECT_EQ(conn_.Execute("select min(infoseekno) as n from liuyan")["n"], Value(101));
}

TEST_F(StoreTest, DeletingEveryRowReachesBof) {
  SeedMessages(3);
  Recordset rs;
  rs.Open("select * from liuyan order by infoseekno desc", conn_, kStaticCursor,
          kOptimisticLock);
  rs.MoveLast();
  int deleted = 0;
  while (!rs.Bof()) {
    rs.Delete();
    ++deleted;
    rs.MovePrevious();
  }
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(conn_.Execute("select count(*) as n from liuyan")["n"], Value(0));
}

TEST_F(StoreTest, DeletedRowsKeepTheirPlaceForLaterWindows) {
  SeedMessages(200);
  Recordset rs;
  rs.Open("select * from liuyan order by infoseekno", conn_, kStaticCursor,
          kOptimisticLock);
  // Delete rows 1..3 at the start, then walk on past the first window.
  for (int i = 0; i < 3; ++i) {
    rs.Delete();
    rs.MoveNext();
  }
  std::vector<int> seen;
  while (!rs.Eof()) {
    seen.push_back(static_cast<int>(*rs["infoseekno"].Whole()));
    rs.MoveNext();
  }
  ASSERT_EQ(seen.size(), 197u);
  EXPECT_EQ(seen.front(), 4);
  EXPECT_EQ(seen[100], 104);
  EXPECT_EQ(seen.back(), 200);
}

TEST_F(StoreTest, UpdateStoresChangedFields) {
  SeedMessages(2);
  Recordset rs;
  rs.Open("select * from liuyan where name='abc' order by infoseekno", conn_,
          kStaticCursor, kOptimisticLock);
  rs.SetField("Subject", Value("changed"));
  rs.Update();
  EXPECT_EQ(rs["subject"].Text(), "changed");
  EXPECT_EQ(
      conn_.Execute("select subject from liuyan where infoseekno=1")["subject"].Text(),
      "changed");
  EXPECT_EQ(
      conn_.Execute("select subject from liuyan where infoseekno=2")["subject"].Text(),
      "m2");
  Recordset read_only;
  read_only.Open("select * from liuyan", conn_, kStaticCursor);
  EXPECT_THROW(read_only.Delete(), Error);
  EXPECT_THROW(read_only.SetField("subject", Value("x")), Error);
}

TEST_F(StoreTest, TransactionRollsBackUnlessCommitted) {
  conn_.Execute("insert into user(name) values ('abc')");
  {
    Transaction tx(conn_);
    conn_.Execute("update user set infoserial= infoserial + 1 where name ='abc'");
    conn_.Execute("insert into liuyan(name) values ('abc')");
  }
  EXPECT_EQ(conn_.Execute("select infoserial from user")["infoserial"], Value(0));
  EXPECT_EQ(conn_.Execute("select count(*) as n from liuyan")["n"], Value(0));
  {
    Transaction tx(conn_);
    conn_.Execute("update user set infoserial= infoserial + 1 where name ='abc'");
    tx.Commit();
  }
  EXPECT_EQ(conn_.Execute("select infoserial from user")["infoserial"], Value(1));
}

// A page of a guestbook with 100,000 messages is counted and fetched in SQL:
// it must cost about what a page of a small one costs.
TEST_F(StoreTest, LargeTablePagesWithoutLoadingIt) {
  SeedMessages(100000);
  conn_.Execute("insert into liuyan(name, infoseekno) values ('small', 1)");
  auto time_page = [&](const char* name, std::int64_t page) {
    auto start = std::chrono::steady_clock::now();
    Recordset rs;
    rs.Open(std::string("select * from liuyan where name='") + name +
                "' order by infoseekno desc",
            conn_, kStaticCursor, kOptimisticLock);
    rs.SetPageSize(10);
    std::int64_t pages = rs.PageCount();
    rs.SetAbsolutePage(std::min(page, pages));
    int read = 0;
    for (; read < 10 && !rs.Eof(); rs.MoveNext()) ++read;
    EXPECT_GT(read, 0);
    return std::chrono::steady_clock::now() - start;
  };
  // The best of three, so that a busy machine's pauses do not count.
  auto best = [&](const char* name) {
    return std::min({time_page(name, 1), time_page(name, 1), time_page(name, 1)});
  };
  auto large = best("abc");
  auto small = best("small");
  EXPECT_LT(large, std::chrono::milliseconds(50) * testing::kTimeScale);
  EXPECT_LT(large, small * 50 + std::chrono::milliseconds(20) * testing::kTimeScale);

  Recordset rs;
  rs.Open("select * from liuyan where name='abc' order by infoseekno desc", conn_);
  rs.SetPageSize(10);
  EXPECT_EQ(rs.RecordCount(), 100000);
  EXPECT_EQ(rs.PageCount(), 10000);
  rs.SetAbsolutePage(5000);
  EXPECT_EQ(rs["infoseekno"], Value(100000 - 49990));
}

// The ids a select gives, in order.
std::vector<std::string> Ids(Recordset rs, std::size_t most = SIZE_MAX) {
  std::vector<std::string> ids;
  for (; !rs.Eof() && ids.size() < most; rs.MoveNext()) ids.push_back(rs["id"].Text());
  return ids;
}

// A page past the middle is read from the far end when the order allows it;
// either way it holds the rows the whole select has in those places.
TEST_F(StoreTest, EveryPageHoldsTheSameRowsFromEitherEnd) {
  SeedMessages(131);
  conn_.Execute(  // ties and NULLs
      "update liuyan set infoseekno = case when id % 9 = 0 then null else id % 7 end");
  for (const char* order :
       {"infoseekno desc, id desc", "infoseekno, liuyan.id",
        "subject desc, infoseekno asc, rowid", "infoseekno desc", "infoseekno + 0, id"}) {
    const std::string sql = std::string("select * from liuyan order by ") + order;
    for (int page = 1; page <= 14; ++page) {
      Recordset rs;
      rs.Open(sql, conn_, kStaticCursor, kOptimisticLock);
      rs.SetPageSize(10);
      ASSERT_EQ(rs.PageCount(), 14);
      rs.SetAbsolutePage(page);
      const std::string forward = " limit 10 offset " + std::to_string(page * 10 - 10);
      EXPECT_EQ(Ids(std::move(rs), 10), Ids(conn_.Execute(sql + forward)))
          << order << ", page " << page;
    }
  }
  // Deleted rows keep their places, also in windows read from the end.
  const std::string sql = "select * from liuyan order by infoseekno desc, id desc";
  const auto all = Ids(conn_.Execute(sql));
  Recordset rs;
  rs.Open(sql, conn_, kStaticCursor, kOptimisticLock);
  rs.SetRecordCount(131);
  for (int i = 0; i < 3; ++i, rs.MoveNext()) rs.Delete();
  rs.SetPageSize(10);
  rs.SetAbsolutePage(12);
  EXPECT_EQ(rs["id"].Text(), all[110]);
  rs.MoveLast();
  EXPECT_EQ(rs["id"].Text(), all[130]);
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
