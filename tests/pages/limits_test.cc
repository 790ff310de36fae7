// The limits per client address: guessing at a guestbook's secrets and
// posting, through the pages that count them, and the counts over time.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using namespace std::chrono_literals;
using testing::Fields;

class LimitsTest : public testing::PagesTest {
 protected:
  // A page run from client address `from`.
  const std::string& RunFrom(std::string_view from, std::string_view path,
                             const Fields& query, const Fields& form) {
    Fresh(query, form);
    page().server_variables = {};
    page().server_variables.Add("remote_addr", from);
    return Run(path, "POST");
  }
  // A fresh form of guestbook "abc" and its post, as add.asp and
  // add_check.asp run for one visitor; `extra` fields added to the post's.
  const std::string& Post(Fields extra = {}, std::string_view from = "10.1.2.3") {
    Fresh({{"name", "abc"}});
    Run("add.asp");
    const std::string key = page().Get("ly_fgs").Text();
    extra.insert(extra.begin(), {{"guestname", "访客"},
                                 {"subject", "你好啊"},
                                 {"message", "大家好"},
                                 {"html", "0"}});
    return RunFrom(from, "add_check.asp", {{"name", "abc"}, {"key2", key}}, extra);
  }
};

// Five wrong tries at one name lock that address out of the name for every
// page that checks a secret, the right one included, without the member
// running; another address is not locked out.
TEST_F(LimitsTest, FiveWrongGuessesAtANameLockTheAddressOut) {
  int address = 0;
  for (const auto& c : testing::ReadCases("pages/guesses.txt")) {
    SCOPED_TRACE(c[0]);
    const std::string attacker = "10.0.0." + std::to_string(++address);
    auto run = [&](bool right, std::string_view from) -> std::string {
      Fields form = testing::FieldsOf(c[2]);
      form.emplace_back(c[3], right ? c[4] : "wrong123");
      if (c[0] == "add_check.asp") return Post(form, from);
      return RunFrom(from, c[0], testing::FieldsOf(c[1]), form);
    };
    for (int i = 0; i < 5; ++i)
      EXPECT_NE(run(false, attacker).find(c[5]), std::string::npos) << i;
    EXPECT_NE(run(true, attacker).find("尝试次数过多，请15分钟后再试！"),
              std::string::npos);
    EXPECT_NE(run(true, "10.9.9.9").find(c[6]), std::string::npos);
  }
  EXPECT_EQ(Count("select * from user where name = 'abc'"), 0) << "deleted last";
}

// A client address stores its share of messages in a minute; the next post
// goes to guanshui.asp with nothing stored, and refused posts do not count.
TEST_F(LimitsTest, PostsBeyondTheShareAreSentAway) {
  Post({{"password", "wrong123"}});
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(Post().find("留言添加成功"), std::string::npos) << i;
  }
  EXPECT_EQ(Post(), "");
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Count("select * from liuyan"), 10);
}

// The counts over time, by the clock the limits are given (what the counts
// share across servers, in memory too, is in tests/server/shared_state_test.cc).
TEST(ClientLimitsTest, CountsOverTime) {
  std::chrono::steady_clock::time_point now{};
  server::ClientLimits limits(2, [&] { return now; });
  const std::string_view a = "10.0.0.1", b = "10.0.0.2";
  for (int i = 0; i < 4; ++i) limits.GuessFailed(a, "n1");
  limits.GuessSucceeded(a, "n1");  // clears the count at n1
  limits.GuessFailed(a, "N1");
  EXPECT_FALSE(limits.GuessingRefused(a, "n1"));
  for (int i = 0; i < 4; ++i) limits.GuessFailed(a, "n1");
  EXPECT_TRUE(limits.GuessingRefused(a, "N1")) << "names ignore case";
  now += 14min;
  EXPECT_TRUE(limits.GuessingRefused(a, "n1"));
  now += 1min + 1s;
  EXPECT_FALSE(limits.GuessingRefused(a, "n1"));
  // 50 wrong guesses at any names lock the address out of every name.
  for (int i = 0; i < 50; ++i) limits.GuessFailed(b, "x" + std::to_string(i % 40));
  EXPECT_TRUE(limits.GuessingRefused(b, "fresh"));
  now += 15min + 1s;
  EXPECT_FALSE(limits.GuessingRefused(b, "fresh"));
  // Posts: two a minute, for each address.
  EXPECT_TRUE(limits.TakePost(a) && limits.TakePost(a));
  EXPECT_FALSE(limits.TakePost(a));
  EXPECT_TRUE(limits.TakePost(b));
  now += 61s;
  EXPECT_TRUE(limits.TakePost(a));
}

}  // namespace
}  // namespace tb
