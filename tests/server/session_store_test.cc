// The memory session store: loading, merging changes, idle expiry, sweeping.
#include "server/http/session_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace tb::server::http {
namespace {

using namespace std::chrono_literals;

class SessionStoreTest : public ::testing::Test {
 protected:
  std::chrono::steady_clock::time_point now_{};
  MemorySessionStore store_{20min, [this] { return now_; }};
};

TEST_F(SessionStoreTest, UnknownIdHasNoSession) {
  EXPECT_EQ(store_.Load("nope"), std::nullopt);
  EXPECT_EQ(store_.size(), 0u);
}

TEST_F(SessionStoreTest, ValuesKeepTheirKindAndKeysIgnoreCase) {
  store_.Save("s1", {{"ly_name", Value("abc")}, {"ly_fgs", Value(123456789)}});
  auto values = store_.Load("s1");
  ASSERT_TRUE(values);
  EXPECT_EQ(values->at("LY_NAME"), Value("abc"));
  EXPECT_TRUE(values->at("ly_fgs").IsNumber());
  EXPECT_EQ(store_.Load("S1"), std::nullopt) << "ids are exact";
}

TEST_F(SessionStoreTest, ChangesMergeIntoTheSession) {
  store_.Save("s1", {{"a", Value("1")}, {"b", Value("2")}});
  // Two requests of one visitor, each saving only what it changed.
  store_.Save("s1", {{"A", Value("10")}});
  store_.Save("s1", {{"c", Value("3")}});
  auto values = store_.Load("s1");
  ASSERT_TRUE(values);
  EXPECT_EQ(values->size(), 3u);
  EXPECT_EQ(values->at("a"), Value("10"));
  EXPECT_EQ(values->at("b"), Value("2"));
  EXPECT_EQ(values->at("c"), Value("3"));
}

TEST_F(SessionStoreTest, EndsAfterTheTimeoutWithoutUse) {
  store_.Save("s1", {{"a", Value("1")}});
  now_ += 19min;
  EXPECT_TRUE(store_.Load("s1")) << "a request keeps it alive";
  now_ += 20min;
  EXPECT_TRUE(store_.Load("s1")) << "exactly the timeout since the last use";
  now_ += 20min + 1s;
  EXPECT_EQ(store_.Load("s1"), std::nullopt);
  // Saving into an ended session starts it empty.
  store_.Save("s2", {{"a", Value("1")}});
  now_ += 21min;
  store_.Save("s2", {{"b", Value("2")}});
  auto values = store_.Load("s2");
  ASSERT_TRUE(values);
  EXPECT_EQ(values->count("a"), 0u);
  EXPECT_EQ(values->at("b"), Value("2"));
}

TEST_F(SessionStoreTest, SweepForgetsOnlyEndedSessions) {
  store_.Save("old", {{"a", Value("1")}});
  now_ += 15min;
  store_.Save("new", {{"a", Value("1")}});
  now_ += 10min;
  EXPECT_EQ(store_.Sweep(), 1u);
  EXPECT_EQ(store_.size(), 1u);
  EXPECT_TRUE(store_.Load("new"));
}

TEST_F(SessionStoreTest, EraseEndsAtOnce) {
  store_.Save("s1", {{"a", Value("1")}});
  store_.Erase("s1");
  store_.Erase("s1");
  EXPECT_EQ(store_.Load("s1"), std::nullopt);
}

TEST_F(SessionStoreTest, EraseLoginsEndsTheOtherLoginsToAName) {
  struct Case {
    std::string_view id, log, name;
    bool lives;
  } cases[] = {{"owner", "yes", "abc", false},
               {"upper", "yes", "ABC", false},
               {"kept", "yes", "abc", true},
               {"other", "yes", "abcd", true},
               {"out", "", "abc", true}};
  for (const auto& c : cases) {
    store_.Save(c.id, {{"ly_log", Value(c.log)}, {"ly_name", Value(c.name)}});
  }
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

// A hold on one id keeps every other hold on it waiting until it ends;
// holds on other ids do not wait.
TEST_F(SessionStoreTest, HoldsOfOneSessionWaitForEachOther) {
  std::atomic<int> stage = 0;
  auto first = std::make_unique<SessionHold>(store_.Hold("s1"));
  std::thread other([&] {
    SessionHold second = store_.Hold("s1");
    stage = 2;
  });
  { SessionHold elsewhere = store_.Hold("s2"); }  // does not wait for s1
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(stage, 0) << "the second hold waits for the first";
  first.reset();
  other.join();
  EXPECT_EQ(stage, 2);
}

// Made-up ids and logins leave ids behind: they go as holds are taken, well
// before a sweep.
TEST_F(SessionStoreTest, HoldsNoRequestUsesAreForgotten) {
  SessionHold kept = store_.Hold("s1");
  for (int i = 0; i < 10'000; ++i) {
    SessionHold gone = store_.Hold("x" + std::to_string(i));
  }
  EXPECT_LE(store_.hold_count(), 64u + 2u);
  store_.Sweep();
  EXPECT_EQ(store_.hold_count(), 1u);
}

// Requests without a cookie each start a session: the sessions, each one's
// bytes and all of them together stay within their limits, the longest idle
// giving way first.
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
