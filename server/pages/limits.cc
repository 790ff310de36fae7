// The pages' side of the limits per client address: refusing a client that
// guesses too often, counting what each member found, and the share of
// posts.
#include <string>

#include "check/text.h"
#include "server/pages/frame.h"

namespace tb::server::pages {
namespace {

constexpr std::string_view kTooManyGuesses = "尝试次数过多，请15分钟后再试！";

}  // namespace

bool RefusedForGuessing(PageEnv& env, std::string_view subtitle, std::string_view name) {
  if (!env.limits().GuessingRefused(env.context().request().RemoteAddr(), name)) {
    return false;
  }
  WriteHead(env, subtitle);
  Write(env, Notice(kTooManyGuesses));
  WriteFoot(env);
  return true;
}

void CountGuess(PageEnv& env, std::string_view name) {
  const std::string address = env.context().request().RemoteAddr();
  switch (env.component().outcome().secret) {
    case Guestbook::SecretCheck::kMatched:
      return env.limits().GuessSucceeded(address, name);
    case Guestbook::SecretCheck::kMismatched:
      return env.limits().GuessFailed(address, name);
    case Guestbook::SecretCheck::kNone:
      return;
  }
}

void GuessingCall(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)(),
                  std::string_view untrimmed_name) {
  const std::string_view name = check::Trim(untrimmed_name);
  if (RefusedForGuessing(env, subtitle, name)) return;
  FramedCall(env, subtitle, member);
  CountGuess(env, name);
}

}  // namespace tb::server::pages
