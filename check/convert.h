// File: convert.h — conversions that make user text safe for HTML, and that
// format stored times and client addresses for display.
//
// Every function is pure: it returns the converted text and the caller
// assigns it back where the old value must be replaced. Replacements are
// exact, left to right, and never rescan what they inserted.
#pragma once

#include <string>
#include <string_view>

namespace tb::check {

// Plain text as HTML: a carriage return becomes "<br>" (line feeds stay), a
// typed "<br>" survives, any other "<" ">" is escaped and each blank becomes
// "&nbsp;".
// Example: HtmlText("a <b>\r\n") == "a&nbsp;&lt;b&gt;<br>\n".
std::string HtmlText(std::string_view text);

// Trimmed, with "'" "<" ">" "\" replaced by "’" "〈" "〉" "＼".
// Example: ToFullWidthMarks(" <it's> ") == "〈it’s〉".
std::string ToFullWidthMarks(std::string_view text);

// Trimmed, with every "'" "<" ">" and '"' removed.
// Example: StripMarks(" <\"a'\"> ") == "a".
std::string StripMarks(std::string_view text);

// A stored time "YYYY-MM-DD HH:MM:SS" (or a date "YYYY-MM-DD", taken as
// midnight) shown without leading zeros: mode 1 date and time, 2 date, 3
// time, 4 month-day and time, 5 month-day and hours:minutes. Another mode or
// a time that does not read gives empty text.
// Example: FormatTime("2024-03-05 14:07:09", 5) == "3-5 14:7".
std::string FormatTime(std::string_view stored_time, int mode);

// A dotted address with its trailing parts hidden: level 1 keeps the first
// part, 2 the first two, 3 the first three; levels 0 and 4 keep it whole.
// Empty text when the address lacks the parts or the level is unknown.
// Example: MaskIp("192.168.1.20", 2) == "192.168.*.*".
std::string MaskIp(std::string_view address, int level);

}  // namespace tb::check
