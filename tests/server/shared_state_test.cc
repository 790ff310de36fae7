// What several servers share: the SessionStore contract in memory and in the
// store (SQLite, and MariaDB when TB_TEST_MARIADB names one), two database
// stores on one store standing in for two servers, and the counts per client
// address kept by two ClientLimits on one store; then the memory store's
// own bounds (the session ids' form is in http_page_test.cc).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "data/connection.h"
#include "data/error.h"
#include "data/store_pool.h"
#include "server/http/db_session_store.h"
#include "server/limits/store_limit_counts.h"
#include "tests/support/support.h"

namespace tb::server::http {
namespace {

using namespace std::chrono_literals;
namespace support = tb::testing;
using support::Rows;

class SharedStateTest : public ::testing::TestWithParam<std::string_view> {
 protected:
  void SetUp() override {
    if (GetParam() == "mariadb") {
      if (!std::getenv("TB_TEST_MARIADB")) GTEST_SKIP() << "TB_TEST_MARIADB is not set";
      store_.emplace(pool_);
      dsn_ = store_->dsn();
    }
    const SessionLimits limits{.max_session_bytes = 400};
    if (memory()) {  // one process: both "servers" use the same store
      sessions_[0] = std::make_unique<MemorySessionStore>(20min, steady_, limits);
      return;
    }
    for (auto& store : sessions_)
      store =
          std::make_unique<DatabaseSessionStore>(pool_, dsn_, 20min, wall_, limits, 1s);
  }
  bool memory() const { return GetParam() == "memory"; }
  SessionStore& one() { return *sessions_[0]; }
  SessionStore& two() { return *sessions_[memory() ? 0 : 1]; }
  // Two servers' counts, each with a share of 2 posts a minute.
  std::shared_ptr<ClientLimits> Limits() {
    if (!memory())
      return std::make_shared<ClientLimits>(
          2, std::make_unique<StoreLimitCounts>(pool_, dsn_, wall_));
    // One process: both "servers" count in the same one.
    if (!memory_limits_) memory_limits_ = std::make_shared<ClientLimits>(2, steady_);
    return memory_limits_;
  }
  Rows Stored(std::string_view sql) { return support::StoreRows(pool_, dsn_, sql); }

  std::chrono::milliseconds now_ = 1'772'700'000'000ms;  // 2026-03-05
  std::function<std::chrono::system_clock::time_point()> wall_ = [this] {
    return std::chrono::system_clock::time_point(now_);
  };
  std::function<std::chrono::steady_clock::time_point()> steady_ = [this] {
    return std::chrono::steady_clock::time_point(now_);
  };
  data::StorePool pool_;
  support::TempDir dir_;
  std::optional<support::TestStore> store_;
  std::string dsn_ = "sqlite:" + (dir_.path() / "shared.db").string();
  std::unique_ptr<SessionStore> sessions_[2];
  std::shared_ptr<ClientLimits> memory_limits_;
};

TEST_P(SharedStateTest, ValuesSavedByOneServerLoadOnTheOtherUntilTheTimeout) {
  EXPECT_EQ(two().Load("made-up"), std::nullopt);
  { SessionHold hold = two().Hold("made-up"); }
  one().Save(
      "s1",
      {{"ly_name", Value("ABC")}, {"n", Value(0.1)}, {"e", Value()}, {"x", Value("1")}});
  two().Save("s1", {{"ly_log", Value("yes")},
                    {"X", Value("2")},
                    {"big", Value(std::string(150, 'x'))}});
  const SessionValues want = {{"e", Value()},
                              {"ly_log", Value("yes")},
                              {"ly_name", Value("ABC")},
                              {"n", Value(0.1)},
                              {"x", Value("2")}};
  EXPECT_EQ(two().Load("s1"), want)
      << "kinds kept, a key in any case replaced, the value past 400 bytes dropped";
  EXPECT_TRUE(two().Load("s1")->at("N").IsNumber());
  EXPECT_EQ(one().Load("S1"), std::nullopt) << "ids are exact";
  if (!memory()) {
    EXPECT_EQ(
        Stored("select id, vals, login from session"),
        (Rows{{"s1", "e1:e0:s6:ly_log3:yess7:ly_name3:ABCn1:n3:0.1s1:x1:2", "abc"}}));
  }
  now_ += 20min;  // used at the last Load: live to the millisecond
  EXPECT_EQ(one().Load("s1"), want);
  now_ += 20min;
  EXPECT_EQ(two().Load("s1"), want) << "each Load starts the timeout again";
  one().Save("s2", {{"a", Value("1")}});
  one().Save("s3", {{"a", Value("1")}});
  now_ += 20min + 1ms;
  EXPECT_EQ(two().Load("s2"), std::nullopt);
  one().Save("s1", {{"a", Value("1")}});
  EXPECT_EQ(two().Load("s1"), (SessionValues{{"a", Value("1")}})) << "starts afresh";
  // A Load of an ended session forgets it at once only in memory.
  EXPECT_EQ(two().Sweep(), memory() ? 1u : 2u);
  EXPECT_EQ(one().Load("s3"), std::nullopt);
}

TEST_P(SharedStateTest, EraseLoginsOnOneServerEndsTheLoginsOnTheOther) {
  const auto cases = support::ReadCases("server/erase_logins.txt");
  for (const auto& c : cases)
    one().Save(c[0], {{"ly_log", Value(c[1])}, {"ly_name", Value(c[2])}});
  EXPECT_EQ(two().EraseLogins("", ""), 0u);
  EXPECT_EQ(two().EraseLogins("Abc", "keep"), 2u);
  for (const auto& c : cases) EXPECT_EQ(!one().Load(c[0]), c[3] == "ends") << c[0];
  two().Erase("keep");
  two().Erase("keep");
  EXPECT_EQ(one().Load("keep"), std::nullopt);
}

TEST_P(SharedStateTest, HoldsOfOneSessionExcludeEachOtherAcrossServers) {
  auto first = std::make_unique<SessionHold>(one().Hold("s1"));
  std::atomic<bool> got{false};
  // SQLite's holds are the process's own: one store instance serves both.
  SessionStore& other = GetParam() == "sqlite" ? one() : two();
  std::thread waiter([&] {
    SessionHold second = other.Hold("s1");
    got = true;
  });
  { SessionHold elsewhere = other.Hold("s2"); }
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(got);
  first.reset();
  waiter.join();
  EXPECT_TRUE(got);
  if (!memory()) {
    EXPECT_TRUE(Stored("select id from session").empty());
    return;
  }
  // Holds no request uses go well before a sweep.
  auto& memory_store = static_cast<MemorySessionStore&>(one());
  SessionHold kept = one().Hold("s1");
  for (int i = 0; i < 10'000; ++i) SessionHold gone = one().Hold("x" + std::to_string(i));
  EXPECT_LE(memory_store.hold_count(), 64u + 2u);
  one().Sweep();
  EXPECT_EQ(memory_store.hold_count(), 1u);
}

// In the store, the sweep ends the sessions idle longest past max_sessions,
// then past max_total_bytes (a row: its encoded values and kEntryBytes).
TEST_P(SharedStateTest, TheSweepEndsTheLongestIdlePastTheLimits) {
  if (memory()) GTEST_SKIP() << "see SessionLimitsTest";
  DatabaseSessionStore store(pool_, dsn_, 20min, wall_,
                             {.max_sessions = 3, .max_total_bytes = 250}, 1s);
  for (std::string id : {"a", "b", "c", "d"}) {
    now_ += 1s;
    store.Save(id, {{"k", Value("x")}});  // "s1:k1:x": 71 bytes
  }
  EXPECT_EQ(store.Sweep(), 1u);
  now_ += 1s;
  store.Save("c", {{"k", Value(std::string(100, 'x'))}});  // 170 bytes, used last
  EXPECT_EQ(store.Sweep(), 1u);
  EXPECT_EQ(Stored("select id from session order by id"), (Rows{{"c"}, {"d"}}));
  // A session with a login gives way after every one without.
  now_ += 1s;
  store.Save("e", {{"ly_log", Value("yes")}, {"ly_name", Value("abc")}});
  for (std::string id : {"f", "g", "h"}) now_ += 1s, store.Save(id, {{"k", Value("x")}});
  EXPECT_EQ(store.Sweep(), 3u);
  EXPECT_EQ(Stored("select id from session order by id"), (Rows{{"e"}, {"g"}, {"h"}}));
}

TEST_P(SharedStateTest, LimitsCountTogetherAcrossServers) {
  auto a = Limits(), b = Limits();
  for (int i = 0; i < 5; ++i) EXPECT_TRUE((i % 2 ? a : b)->TakeGuess("10.0.0.1", "abc"));
  EXPECT_FALSE(b->TakeGuess("10.0.0.1", "ABC"));
  EXPECT_TRUE(b->TakeGuess("10.0.0.1", "abd") && b->TakeGuess("10.0.0.2", "abc"));
  EXPECT_TRUE(a->TakePost("10.0.0.1"));
  EXPECT_TRUE(b->TakePost("10.0.0.1"));
  EXPECT_FALSE(a->TakePost("10.0.0.1"));
  b->ReturnPost("10.0.0.1");
  EXPECT_TRUE(a->TakePost("10.0.0.1"));
  EXPECT_FALSE(b->TakePost("10.0.0.1"));
  now_ += 15min + 1ms;
  EXPECT_TRUE(a->TakeGuess("10.0.0.1", "abc"));
  EXPECT_TRUE(b->TakePost("10.0.0.1"));
  b->GuessSucceeded("10.0.0.1", "ABC");
  now_ += 16min;
  if (!memory()) {
    EXPECT_EQ(a->Sweep(), 5u);  // the post, and the guesses of both addresses
    EXPECT_TRUE(Stored("select limit_key from client_limit").empty());
  }
  // Posts and guesses sent to both at the same moment take exactly the share.
  std::atomic<int> posts{0}, guesses{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        posts += (t % 2 ? a : b)->TakePost("10.9.9.9") ? 1 : 0;
        guesses += (t % 2 ? a : b)->TakeGuess("10.9.9.9", "abc") ? 1 : 0;
      }
    });
  for (auto& t : posters) t.join();
  EXPECT_EQ(posts, 2);
  EXPECT_EQ(guesses, 5);
}

// The store's write lock, held by one server's transaction from its first
// statement to its commit: the other's waits up to its time limit, then
// stops with Timeout; the commit stores the writes held back for it.
TEST_P(SharedStateTest, AWriterWaitsForTheOtherServersWriterUpToItsTimeLimit) {
  if (memory()) GTEST_SKIP() << "a store's own lock";
  data::StorePool quick(100ms);
  data::Connection holder(pool_), waiter(quick);
  holder.Open(dsn_);
  waiter.Open(dsn_);
  auto held = std::make_unique<data::Transaction>(holder);
  holder.Execute("select n from page_version");
  holder.ExecuteLater("insert into user(name) values (?)", {Value("it's? \\ ok")});
  // Two that are too long to be held back together.
  for (const char* id : {"a", "b"})
    holder.ExecuteLater("insert into session values (?, ?, null, 0, 0)",
                        {Value(id), Value(std::string(600'000, 'x'))});
  EXPECT_THROW(
      {
        data::Transaction tx(waiter);
        waiter.Execute("select n from page_version");
      },
      data::Timeout);
  held->Commit();
  data::Transaction tx(waiter);
  EXPECT_EQ(waiter.Execute("select name from user")["name"], Value("it's? \\ ok"));
  tx.Commit();
  EXPECT_EQ(Stored("select id, length(vals) from session order by id"),
            (Rows{{"a", "600000"}, {"b", "600000"}}));
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedStateTest,
                         ::testing::Values("memory", "sqlite", "mariadb"),
                         [](const auto& info) { return std::string(info.param); });

// Sessions, each one's bytes and all of them together stay within their
// limits, the longest idle giving way first.
TEST(SessionLimitsTest, OldestGiveWayAndNoSessionOutgrowsItsShare) {
  std::chrono::steady_clock::time_point now{};
  const std::size_t kValue = 100 + MemorySessionStore::kEntryBytes + 1;  // key "k"
  MemorySessionStore store(20min, [&] { return now; },
                           {.max_sessions = 3,
                            .max_session_bytes = 2 * kValue + 1,
                            .max_total_bytes = 5 * kValue});
  const Value hundred(std::string(100, 'x'));
  for (std::string id : {"a", "b", "c", "d"}) {
    now += 1s;
    store.Save(id, {{"k", hundred}});
  }
  EXPECT_EQ(store.size(), 3u);
  EXPECT_FALSE(store.Load("a")) << "the longest idle ended";
  now += 1s;
  ASSERT_TRUE(store.Load("b"));  // now used last
  // A value that would take "c" past its share is not kept; others are.
  store.Save("c", {{"k2", hundred}, {"k3", hundred}});
  EXPECT_EQ(store.Load("c")->size(), 2u);
  EXPECT_EQ(store.total_bytes(), 4 * kValue + 1);
  // Past the total, the longest idle ("d") gives way, never the one saved.
  store.Save("b", {{"k2", hundred}});
  EXPECT_FALSE(store.Load("d"));
  EXPECT_EQ(store.size(), 2u);
  EXPECT_EQ(store.Sweep(), 0u);
  now += 21min;
  EXPECT_EQ(store.Sweep(), 2u);
  EXPECT_EQ(store.total_bytes(), 0u);
  // A session with a login gives way after every one without.
  store.Save("e", {{"ly_log", Value("yes")}, {"ly_name", Value("abc")}});
  for (std::string id : {"f", "g", "h"}) now += 1s, store.Save(id, {{"k", hundred}});
  EXPECT_TRUE(store.Load("e"));
  EXPECT_FALSE(store.Load("f"));
}

}  // namespace
}  // namespace tb::server::http
