// File: form_fixture.h — what the message form and acceptance tests share: a
// guestbook "abc" with known settings, messages to prune, and a valid post
// that a case changes field by field.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {

class FormTest : public CaseTest {
 protected:
  static constexpr std::string_view kKey = "123456789";

  FormTest() {
    AddBook("abc", {{"password", "secret"},
                    {"email", "owner@example.cn"},
                    {"titletop", "小明的留言本"},
                    {"html", "2"},
                    {"sendinfo", "1"},
                    {"regtime", "2026-01-01 00:00:00"},
                    {"infostyle", "11111111111101111111"}});
    base_ = kArmed;
    base_.insert(base_.end(), kPost.begin(), kPost.end());
  }

  // A form page visit as Add leaves it: the posted flag clear, kKey issued.
  const std::vector<std::string> kArmed = {"session:ly_tijiao=0",
                                           "session:ly_fgs=" + std::string(kKey)};
  // A valid post to "abc" (tests/cases/board_form/post.txt).
  const std::vector<std::string> kPost = ReadCases("board_form/post.txt").at(0).fields;

  // Runs `member` with the fields of base_ and `fields`, in the session
  // `login` (as a case's second field); gives the case's transcript.
  std::string Call(std::string_view member, const std::vector<std::string>& fields = {},
                   std::string_view login = "-") {
    Case c{"", {std::string(member), std::string(login)}, {}};
    c.fields.insert(c.fields.end(), fields.begin(), fields.end());
    return Run(c);
  }

  // `n` messages of guestbook `name`, the k-th posted k minutes after
  // 2026-01-01 00:00 with the subject "m" followed by k.
  void SeedMessages(std::string_view name, int n) {
    for (int i = 1; i <= n; ++i) {
      char regtime[32];
      std::snprintf(regtime, sizeof regtime, "2026-01-01 %02d:%02d:00", i / 60, i % 60);
      AddMessage(name, {{"subject", "m" + std::to_string(i)}, {"regtime", regtime}});
    }
  }

  std::string Infoserial() {
    return Scalar("select infoserial from user where name = 'abc'");
  }
};

}  // namespace tb::testing
