#include "check/convert.h"

#include <optional>

#include "check/text.h"
#include "host/date_time.h"

namespace tb::check {
namespace {

// Stands in for the line breaks while the angle brackets are escaped, so
// that a typed "<br>" keeps working.
constexpr std::string_view kBreakHolder = "$$%%^^&&**mirelatch";

// The address up to (not including) its `n`th ".", if it has that many.
std::optional<std::string_view> BeforeDot(std::string_view address, int n) {
  std::size_t pos = std::string_view::npos;
  for (int i = 0; i < n; ++i) {
    pos = address.find('.', pos + 1);
    if (pos == std::string_view::npos) return std::nullopt;
  }
  return address.substr(0, pos);
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string html = ReplaceAll(text, "\r", "<br>");
  html = ReplaceAll(html, "<br>", kBreakHolder);
  html = ReplaceAll(html, "<", "&lt;");
  html = ReplaceAll(html, ">", "&gt;");
  html = ReplaceAll(html, kBreakHolder, "<br>");
  return ReplaceAll(html, " ", "&nbsp;");
}

std::string ToFullWidthMarks(std::string_view text) {
  std::string out = ReplaceAll(Trim(text), "'", "’");
  out = ReplaceAll(out, "<", "〈");
  out = ReplaceAll(out, ">", "〉");
  return ReplaceAll(out, "\\", "＼");
}

std::string StripMarks(std::string_view text) {
  std::string out = ReplaceAll(Trim(text), "'", "");
  out = ReplaceAll(out, "<", "");
  out = ReplaceAll(out, ">", "");
  return ReplaceAll(out, "\"", "");
}

std::string FormatTime(std::string_view stored_time, int mode) {
  if (mode < 1 || mode > 5) return "";
  std::optional<DateTime> time = DateTime::Parse(stored_time);
  if (!time) return "";
  const std::string date = std::to_string(time->month) + "-" + std::to_string(time->day);
  const std::string hours_minutes =
      std::to_string(time->hour) + ":" + std::to_string(time->minute);
  const std::string clock = hours_minutes + ":" + std::to_string(time->second);
  switch (mode) {
    case 1:
      return std::to_string(time->year) + "-" + date + " " + clock;
    case 2:
      return std::to_string(time->year) + "-" + date;
    case 3:
      return clock;
    case 4:
      return date + " " + clock;
    default:
      return date + " " + hours_minutes;
  }
}

std::string MaskIp(std::string_view address, int level) {
  switch (level) {
    case 0:
    case 4:
      return std::string(address);
    case 1: {
      // Only a first part of one to three characters is kept.
      auto first = BeforeDot(address, 1);
      if (!first || Length(*first) < 1 || Length(*first) > 3) return "";
      return std::string(*first) + ".*.*.*";
    }
    case 2: {
      auto first_two = BeforeDot(address, 2);
      return first_two ? std::string(*first_two) + ".*.*" : "";
    }
    case 3: {
      auto first_three = BeforeDot(address, 3);
      return first_three ? std::string(*first_three) + ".*" : "";
    }
    default:
      return "";
  }
}

}  // namespace tb::check
