// File: date_time.h — a local calendar date and time, and its stored text
// form "YYYY-MM-DD HH:MM:SS" (zero-padded, so that text order is time order).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

struct DateTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;

  // The local time of a clock reading.
  static DateTime FromTimePoint(std::chrono::system_clock::time_point tp);
  // Reads "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD"; nullopt for anything else.
  // Example: Parse("2026-03-05 14:07:09")->minute == 7.
  static std::optional<DateTime> Parse(std::string_view text);

  // Example: DateTime{2026, 3, 5, 14, 7, 9}.ToText() == "2026-03-05 14:07:09".
  std::string ToText() const;
  // The same moment as an HTTP date (for a cookie's Expires attribute).
  // Example: "Thu, 05 Mar 2026 13:07:09 GMT" in a UTC+1 zone.
  std::string ToHttpDate() const;

  // Calendar arithmetic (a day is 24 hours of local wall-clock time).
  DateTime AddDays(int days) const;
  DateTime AddYears(int years) const;

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

}  // namespace tb
