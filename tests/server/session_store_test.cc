// The memory session store: loading, merging changes, idle expiry, sweeping,
// erasing, holds and its bounds.
#include "server/http/session_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace tb::server::http {
namespace {

using namespace std::chrono_literals;

class SessionStoreTest : public ::testing::Test {
 protected:
  std::chrono::steady_clock::time_point now_{};
  MemorySessionStore store_{20min, [this] { return now_; }};
};

TEST_F(SessionStoreTest, ValuesKeepTheirKindAndChangesMerge) {
  EXPECT_EQ(store_.Load("nope"), std::nullopt);
  EXPECT_EQ(store_.size(), 0u);
  store_.Save("s1", {{"a", Value("1")}, {"b", Value("2")}, {"n", Value(123456789)}});
  // Two requests of one visitor, each saving only what it changed.
  store_.Save("s1", {{"A", Value("10")}});
  store_.Save("s1", {{"c", Value("3")}});
  EXPECT_EQ(store_.Load("S1"), std::nullopt) << "ids are exact";
  auto values = store_.Load("s1");
  ASSERT_TRUE(values);
  EXPECT_EQ(*values, (SessionValues{{"a", Value("10")},
                                    {"b", Value("2")},
                                    {"c", Value("3")},
                                    {"n", Value(123456789)}}));
  EXPECT_TRUE(values->at("N").IsNumber());
}

TEST_F(SessionStoreTest, EndsAfterTheTimeoutWithoutUseAndSweepForgetsIt) {
  store_.Save("s1", {{"a", Value("1")}});
  store_.Save("s2", {{"a", Value("1")}});
  now_ += 19min;
  store_.Save("s3", {{"a", Value("1")}});
  EXPECT_TRUE(store_.Load("s1")) << "a request keeps it alive";
  now_ += 20min;
  EXPECT_TRUE(store_.Load("s1")) << "exactly the timeout since the last use";
  EXPECT_EQ(store_.Sweep(), 1u) << "only s2 ended";
  EXPECT_EQ(store_.size(), 2u);
  now_ += 20min + 1s;
  EXPECT_EQ(store_.Load("s3"), std::nullopt);
  // Saving into an ended session starts it empty.
  store_.Save("s1", {{"b", Value("2")}});
  EXPECT_EQ(*store_.Load("s1"), (SessionValues{{"b", Value("2")}}));
}

TEST_F(SessionStoreTest, EraseAndEraseLoginsEndSessionsAtOnce) {
  struct Case {
    std::string_view id, log, name;
    bool lives;
  } cases[] = {{"owner", "yes", "abc", false}, {"upper", "yes", "ABC", false},
               {"kept", "yes", "abc", true},   {"other", "yes", "abcd", true},
               {"out", "", "abc", true},       {"erased", "", "x", false}};
  for (const auto& c : cases)
    store_.Save(c.id, {{"ly_log", Value(c.log)}, {"ly_name", Value(c.name)}});
  store_.Erase("erased");
  store_.Erase("erased");
  EXPECT_EQ(store_.EraseLogins("", ""), 0u);
  EXPECT_EQ(store_.EraseLogins("aBc", "kept"), 2u);
  for (const auto& c : cases) EXPECT_EQ(store_.Load(c.id).has_value(), c.lives) << c.id;
}

TEST(SessionIdTest, LongRandomHex) {
  std::set<std::string> ids;
  for (int i = 0; i < 100; ++i) {
    std::string id = NewSessionId();
    EXPECT_EQ(id.size(), 64u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 100u);
}

// A hold on one id keeps every other hold on it waiting until it ends; holds
// on other ids do not wait. Holds no request uses go well before a sweep.
TEST_F(SessionStoreTest, HoldsOfOneSessionWaitForEachOtherAndUnusedOnesGo) {
  std::atomic<int> stage = 0;
  auto first = std::make_unique<SessionHold>(store_.Hold("s1"));
  std::thread other([&] {
    SessionHold second = store_.Hold("s1");
    stage = 2;
  });
  { SessionHold elsewhere = store_.Hold("s2"); }
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(stage, 0) << "the second hold waits for the first";
  first.reset();
  other.join();
  EXPECT_EQ(stage, 2);
  SessionHold kept = store_.Hold("s1");
  for (int i = 0; i < 10'000; ++i)
    SessionHold gone = store_.Hold("x" + std::to_string(i));
  EXPECT_LE(store_.hold_count(), 64u + 2u);
  store_.Sweep();
  EXPECT_EQ(store_.hold_count(), 1u);
}

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
}

}  // namespace
}  // namespace tb::server::http
