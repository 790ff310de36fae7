// File: check_helpers.h — small helpers of the check, settings and account
// tests: a form made from a good one, a refusal report, and a transcript of
// inputs and outputs to keep in a golden file.
//
// Example:
//   Request({}, WithChanges(kGoodForm, {{"email", "x"}, {"html", "-"}}));
//   EXPECT_EQ(page().body, Report({5}, "", kBack));
//   const char* inputs[] = {"[b]x[/b]", "[i]y[/i]"};
//   ExpectGolden("check/ubb.txt", Transcript(inputs, UbbCode));
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "component/messages.h"
#include "tests/support/support.h"

namespace tb::testing {

// `form` with the fields named in `changes` set to their values there; a
// field changed to "-" is left out.
inline Fields WithChanges(Fields form, const Fields& changes) {
  for (const auto& [name, value] : changes) {
    for (auto& field : form) {
      if (field.first == name) field.second = value;
    }
  }
  std::erase_if(form, [](const auto& field) { return field.second == "-"; });
  return form;
}

// The report of a refused form: each numbered message followed by "<br>",
// then `extra` and the back link.
inline std::string Report(std::initializer_list<int> numbers, std::string_view extra,
                          std::string_view back) {
  std::string out;
  for (int n : numbers) out += std::string(Message(n)) + "<br>";
  return out + std::string(extra) + std::string(back);
}

// Each input on a line of its own after "» ", then what `fn` makes of it and
// a blank line: the text a golden file keeps for a table of inputs.
template <typename Inputs, typename Fn>
std::string Transcript(const Inputs& inputs, Fn fn) {
  std::string out;
  for (std::string_view in : inputs) {
    out += "» ";
    out += in;
    out += "\n";
    out += fn(std::string(in));
    out += "\n\n";
  }
  return out;
}

}  // namespace tb::testing
