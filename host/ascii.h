// File: ascii.h — letter-case helpers for names that match without regard to
// case (request fields, session keys, column names): only A to Z fold.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tb::host {

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Example: AsciiLower("Http://X") == "http://x".
inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// Example: EqualsIgnoreCase("Name", "NAME") is true.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// Ordering for maps keyed without regard to case.
struct LessIgnoreCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
  }
};

}  // namespace tb::host
