// File: validate.h — checks applied to form input before it is stored.
//
// Each check answers true when the text is acceptable. A check that takes a
// `std::string&` trims the caller's text in place (blanks U+0020 only), so the
// caller goes on with the trimmed value. Lengths count UTF-16 code units and
// every character comparison is exact.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tb::check {

// Trims; then 5 to 50 characters, exactly one "@", not the first character and
// not followed by ".". Nothing else of the address is examined.
// Example: s = " ab@cd "; CheckEmail(s) == true and s == "ab@cd".
bool CheckEmail(std::string& text);

// Trims; then 4 to 15 characters, none of them "'", ">" or "\".
// Example: s = "a<b/c"; CheckPassword(s) == true.
bool CheckPassword(std::string& text);

// Begins with "http://" or "https://", in lower case, and holds no blank,
// '"', "<" or ">", so that it stays one address inside any attribute.
// Example: CheckUrl("HTTP://a.cn") == false; CheckUrl("http://a b") == false.
bool CheckUrl(std::string_view text);

// Replaces ">" "<" "'" "|" "\" by "〉" "〈" "’" "Ⅰ" "＼" in place (no trimming);
// true when something other than blanks remains.
// Example: s = "<a>"; CheckSafeText(s) == true and s == "〈a〉".
bool CheckSafeText(std::string& text);

// A character a user name may hold: A-Z, a-z, 0-9 or "_".
bool IsNameCharacter(char c);

// A user name: after trimming (a copy), 3 to 15 of A-Z, a-z, 0-9 and "_".
// Example: CheckUserName(" tom_1 ") == true; CheckUserName("to-m") == false.
bool CheckUserName(std::string_view text);

// Trims; then at least one character, all of them "0" to "9".
// Example: s = " 0123 "; CheckDigits(s) == true and s == "0123".
bool CheckDigits(std::string& text);

// Trims; then 1 to 50 characters.
// Example: s = "   "; CheckLength1To50(s) == false and s == "".
bool CheckLength1To50(std::string& text);

// Trims; then 2 to 100 characters.
// Example: s = " 留言 "; CheckLength2To100(s) == true and s == "留言".
bool CheckLength2To100(std::string& text);

// Trims in place and returns the trimmed text.
// Example: s = " a "; TrimValue(s) == "a" and s == "a".
std::string TrimValue(std::string& text);

// A page number as typed: its value when it reads as a whole, finite number
// (blanks around it allowed), else nullopt.
// Example: WholeNumber("3") == 3, WholeNumber("2.5") == nullopt.
std::optional<double> WholeNumber(std::string_view text);

}  // namespace tb::check
