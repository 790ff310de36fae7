// The pages' side of the limits per client address: refusing a client that
// guesses too often, counting what each member found, and the share of
// posts.
#include <exception>
#include <string>

#include "check/text.h"
#include "server/pages/frame.h"

namespace tb::server::pages {
namespace {

constexpr std::string_view kTooManyGuesses = "尝试次数过多，请15分钟后再试！";

}  // namespace

Guess::Guess(PageEnv& env, std::string_view subtitle, std::string_view name)
    : env_(env),
      address_(env.context().request().RemoteAddr()),
      name_(name),
      taken_(env.limits().TakeGuess(address_, name_)) {
  if (taken_) return;
  WriteHead(env, subtitle);
  Write(env, Notice(kTooManyGuesses));
  WriteFoot(env);
}

Guess::~Guess() {
  if (!taken_) return;
  try {
    env_.limits().ReturnGuess(address_, name_);
  } catch (const std::exception&) {
    // A guess the failing count store keeps stays counted as a wrong one.
  }
}

void Guess::Settle() {
  if (!taken_) return;
  taken_ = false;
  switch (env_.component().outcome().secret) {
    case Guestbook::SecretCheck::kMatched:
      return env_.limits().GuessSucceeded(address_, name_);
    case Guestbook::SecretCheck::kMismatched:
      return;  // counted when taken
    case Guestbook::SecretCheck::kNone:
      return env_.limits().ReturnGuess(address_, name_);
  }
}

void GuessingCall(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)(),
                  std::string_view untrimmed_name) {
  Guess guess(env, subtitle, check::Trim(untrimmed_name));
  if (guess.refused()) return;
  FramedCall(env, subtitle, member);
  guess.Settle();
}

}  // namespace tb::server::pages
