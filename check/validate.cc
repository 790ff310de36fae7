#include "check/validate.h"

#include <algorithm>
#include <cmath>

#include "check/text.h"
#include "host/value.h"

namespace tb::check {
namespace {

void TrimInPlace(std::string& text) { text = std::string(Trim(text)); }

bool LengthWithin(std::string_view text, std::size_t low, std::size_t high) {
  std::size_t length = Length(text);
  return length >= low && length <= high;
}

}  // namespace

bool IsNameCharacter(char c) {
  return host::IsAsciiLetter(c) || host::IsDigit(c) || c == '_';
}

bool CheckEmail(std::string& text) {
  TrimInPlace(text);
  if (!LengthWithin(text, 5, 50)) return false;
  std::size_t at = text.find('@');
  if (at == std::string::npos || at == 0) return false;
  if (at + 1 < text.size() && text[at + 1] == '.') return false;
  return std::count(text.begin(), text.end(), '@') == 1;
}

bool CheckPassword(std::string& text) {
  TrimInPlace(text);
  if (!LengthWithin(text, 4, 15)) return false;
  return text.find_first_of("'>\\") == std::string::npos;
}

bool CheckUrl(std::string_view text) {
  return (StartsWith(text, "http://") || StartsWith(text, "https://")) &&
         text.find_first_of(" \"<>") == std::string_view::npos;
}

bool CheckSafeText(std::string& text) {
  text = ReplaceAll(text, ">", "〉");
  text = ReplaceAll(text, "<", "〈");
  text = ReplaceAll(text, "'", "’");
  text = ReplaceAll(text, "|", "Ⅰ");
  text = ReplaceAll(text, "\\", "＼");
  return !Trim(text).empty();
}

bool CheckUserName(std::string_view text) {
  std::string_view name = Trim(text);
  if (!LengthWithin(name, 3, 15)) return false;
  return std::all_of(name.begin(), name.end(), IsNameCharacter);
}

bool CheckDigits(std::string& text) {
  TrimInPlace(text);
  return !text.empty() && std::all_of(text.begin(), text.end(), host::IsDigit);
}

bool CheckLength1To50(std::string& text) {
  TrimInPlace(text);
  return LengthWithin(text, 1, 50);
}

bool CheckLength2To100(std::string& text) {
  TrimInPlace(text);
  return LengthWithin(text, 2, 100);
}

std::string TrimValue(std::string& text) {
  TrimInPlace(text);
  return text;
}

std::optional<double> WholeNumber(std::string_view text) {
  const auto number = ParseNumber(text);
  if (!number || !std::isfinite(*number) || *number != std::trunc(*number)) {
    return std::nullopt;
  }
  return number;
}

}  // namespace tb::check
