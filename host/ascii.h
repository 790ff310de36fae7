// File: ascii.h — the ASCII character tests, the one trim, the hex digits, and
// the letter-case helpers for names that match without regard to case
// (request fields, session keys, column names): only A to Z fold.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tb::host {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The value of a hex digit (either case); -1 for any other character.
constexpr int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr bool IsHexDigit(char c) { return HexValue(c) >= 0; }

// Appends `byte` as two hex digits, upper or lower case.
enum class HexCase { kUpper, kLower };
inline void AppendHex(std::string& out, unsigned char byte, HexCase letters) {
  const char* digits =
      letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

// `text` without the characters of `blanks` at its ends. The guestbook's
// fields trim the blank U+0020 only; HTTP headers trim blanks and tabs.
// Example: Trim("  a b ") == "a b"; Trim("\ta") == "\ta";
//   Trim("\t a\t", kHeaderBlanks) == "a".
inline constexpr std::string_view kHeaderBlanks = " \t";
constexpr std::string_view Trim(std::string_view text, std::string_view blanks = " ") {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

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

// Example: StartsWithIgnoreCase("MariaDB://h/db", "mariadb:") is true.
inline bool StartsWithIgnoreCase(std::string_view text, std::string_view head) {
  return EqualsIgnoreCase(text.substr(0, head.size()), head);
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
