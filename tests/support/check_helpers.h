// File: check_helpers.h — a transcript of inputs and outputs to keep in a
// golden file, for the check tests.
//
// Example:
//   const char* inputs[] = {"[b]x[/b]", "[i]y[/i]"};
//   ExpectGolden("check/ubb.txt", Transcript(inputs, UbbCode));
#pragma once

#include <string>
#include <string_view>

#include "tests/support/support.h"

namespace tb::testing {

// Each input on a line of its own after "» ", then what `fn` makes of it and
// a blank line: the text a golden file keeps for a table of inputs.
template <typename Inputs, typename Fn>
std::string Transcript(const Inputs& inputs, Fn fn) {
  std::string out;
  for (std::string_view view : inputs) {
    const std::string in(view);
    out += "» " + in + "\n" + fn(in) + "\n\n";
  }
  return out;
}

}  // namespace tb::testing
