// File: text.h — small text helpers shared by the checks and the operations.
//
// Text is UTF-8 inside; lengths and cuts count UTF-16 code units, as the
// guestbook's limits ("3 to 15 characters") always have. Trimming removes the
// blank U+0020 only.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "host/ascii.h"

namespace tb::check {

// Number of UTF-16 code units of a UTF-8 text.
// Example: Length("留言ab") == 4; Length("😀") == 2.
std::size_t Length(std::string_view text);

// The first `n` UTF-16 code units of `text` (a character that would be split
// in half is left out). Example: Left("留言本", 2) == "留言".
std::string Left(std::string_view text, std::size_t n);

// `text` without its leading and trailing blanks (U+0020 only, unless
// other blanks are named). Example: Trim("  a b ") == "a b"; Trim("\ta") == "\ta".
using host::Trim;

// Every occurrence of `from` replaced by `to`, scanning left to right; the
// replacement is not scanned again. An empty `from` replaces nothing.
// Example: ReplaceAll("a'b'", "'", "''") == "a''b''".
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// A to Z lowered; every other byte kept. Example: AsciiLower("Http://X") == "http://x".
using host::AsciiLower;

// Comparison and search ignoring the letter case of A to Z.
using host::EqualsIgnoreCase;
bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle);
bool StartsWith(std::string_view text, std::string_view prefix);

// A character and the entity written in its place.
struct CharEntity {
  char c;
  std::string_view entity;
};
// `text` with each character that `entities` names replaced by its entity.
// Example: ReplaceByEntities("a<b", {{'<', "&lt;"}}) == "a&lt;b".
std::string ReplaceByEntities(std::string_view text,
                              std::span<const CharEntity> entities);

// `&` `<` `>` `"` `'` as `&amp;` `&lt;` `&gt;` `&quot;` `&#39;`, for request
// text written back into a page. Example: EscapeHtml("<b>") == "&lt;b&gt;".
std::string EscapeHtml(std::string_view text);

}  // namespace tb::check
