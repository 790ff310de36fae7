#include "host/value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "host/ascii.h"

namespace tb {

std::string FormatNumber(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-Infinity" : "Infinity";
  if (number == std::trunc(number) && std::fabs(number) < 1e18) {
    return std::to_string(static_cast<std::int64_t>(number));
  }
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::fixed);
  if (ec != std::errc()) return std::to_string(number);
  return std::string(buf, end);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = host::Trim(text, " \t\r\n");
  if (text.empty()) return std::nullopt;
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < text.size() && host::IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && host::IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t exp_digits = 0;
    while (j < text.size() && host::IsDigit(text[j])) ++j, ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  std::string copy(text);
  if (copy[0] == '+') copy.erase(0, 1);
  return std::strtod(copy.c_str(), nullptr);
}

std::string Value::Text() const {
  if (const auto* s = std::get_if<std::string>(&v_)) return *s;
  if (const auto* d = std::get_if<double>(&v_)) return FormatNumber(*d);
  return {};
}

bool Value::IsNumeric() const { return Number().has_value(); }

std::optional<double> Value::Number() const {
  if (const auto* d = std::get_if<double>(&v_)) return *d;
  if (const auto* s = std::get_if<std::string>(&v_)) return ParseNumber(*s);
  return std::nullopt;
}

std::optional<std::int64_t> Value::Whole() const {
  auto n = Number();
  if (!n || *n != std::trunc(*n) || std::fabs(*n) > 9.2e18) return std::nullopt;
  return static_cast<std::int64_t>(*n);
}

bool operator==(const Value& a, const Value& b) {
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
  if (a.IsNumber() && b.IsNumber())
    return std::get<double>(a.v_) == std::get<double>(b.v_);
  return a.Text() == b.Text();
}

}  // namespace tb
