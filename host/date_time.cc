#include "host/date_time.h"

#include <cstdio>
#include <ctime>

namespace tb {
namespace {

std::tm ToTm(const DateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return tm;
}

DateTime FromTm(const std::tm& tm) {
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

bool ReadNumber(std::string_view text, std::size_t pos, std::size_t len, int& out) {
  if (pos + len > text.size()) return false;
  int n = 0;
  for (std::size_t i = pos; i < pos + len; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
  }
  out = n;
  return true;
}

}  // namespace

DateTime DateTime::FromTimePoint(std::chrono::system_clock::time_point tp) {
  std::time_t t = std::chrono::system_clock::to_time_t(tp);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromTm(tm);
}

std::optional<DateTime> DateTime::Parse(std::string_view text) {
  DateTime t;
  if (text.size() != 10 && text.size() != 19) return std::nullopt;
  if (!ReadNumber(text, 0, 4, t.year) || text[4] != '-' ||
      !ReadNumber(text, 5, 2, t.month) || text[7] != '-' ||
      !ReadNumber(text, 8, 2, t.day)) {
    return std::nullopt;
  }
  if (text.size() == 19 && (text[10] != ' ' || !ReadNumber(text, 11, 2, t.hour) ||
                            text[13] != ':' || !ReadNumber(text, 14, 2, t.minute) ||
                            text[16] != ':' || !ReadNumber(text, 17, 2, t.second))) {
    return std::nullopt;
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

std::string DateTime::ToText() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                minute, second);
  return buf;
}

std::string DateTime::ToHttpDate() const {
  std::tm local = ToTm(*this);
  std::time_t t = std::mktime(&local);
  std::tm utc{};
  gmtime_r(&t, &utc);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed",
                                          "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                kDays[utc.tm_wday], utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buf;
}

DateTime DateTime::AddDays(int days) const {
  std::tm tm = ToTm(*this);
  tm.tm_mday += days;
  std::mktime(&tm);
  DateTime out = FromTm(tm);
  // mktime may shift the hour across a daylight-saving change; keep the
  // wall-clock time of day.
  out.hour = hour;
  out.minute = minute;
  out.second = second;
  return out;
}

DateTime DateTime::AddYears(int years) const {
  DateTime out = *this;
  out.year += years;
  if (out.month == 2 && out.day == 29) {
    bool leap = (out.year % 4 == 0 && out.year % 100 != 0) || out.year % 400 == 0;
    if (!leap) out.day = 28;
  }
  return out;
}

}  // namespace tb
