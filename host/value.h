// File: value.h — the loosely typed value of properties, session entries and
// database fields: empty, text or number.
//
// Operations compare and concatenate these values as text, test whether a
// text looks numeric and convert it to a whole number; numbers print in plain
// decimal ("12", "2.5"; never "1e+06").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tb {

class Value {
 public:
  Value() = default;
  Value(std::string text) : v_(std::move(text)) {}
  Value(std::string_view text) : v_(std::string(text)) {}
  Value(const char* text) : v_(std::string(text)) {}
  Value(double number) : v_(number) {}
  Value(int number) : v_(static_cast<double>(number)) {}
  Value(std::int64_t number) : v_(static_cast<double>(number)) {}

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }
  bool IsNumber() const { return std::holds_alternative<double>(v_); }

  // The text form: empty text for empty, plain decimal for numbers.
  // Example: Value(12.0).Text() == "12", Value(0.5).Text() == "0.5".
  std::string Text() const;

  // True for a number, or for a text that reads as one after trimming white
  // space: optional sign, digits with an optional point, optional exponent.
  // Empty and blank texts are not numeric.
  bool IsNumeric() const;

  // The numeric value, when IsNumeric().
  std::optional<double> Number() const;

  // The value as a whole number, when it is numeric and has no fraction.
  // Example: Value("42").Whole() == 42, Value("2.5").Whole() == nullopt.
  std::optional<std::int64_t> Whole() const;

  // Values are equal when both are empty, or both numbers and equal, or both
  // texts and equal. A number and a text are compared as text.
  friend bool operator==(const Value& a, const Value& b);

 private:
  std::variant<std::monostate, std::string, double> v_;
};

// Plain decimal text of a number, without exponent; integral values have no
// point. Example: FormatNumber(1e6) == "1000000".
std::string FormatNumber(double number);

// Parses a numeric text (see Value::IsNumeric).
std::optional<double> ParseNumber(std::string_view text);

}  // namespace tb
