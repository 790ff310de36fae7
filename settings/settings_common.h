// File: settings_common.h — what the owner's settings pages share: the query
// of the owner's row, the report of a refused form with its back link, and
// stored values placed between the quotes of a form attribute.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "data/connection.h"

namespace tb::settings {

// Written instead of a form or a save when the logged-in owner's guestbook
// has been deleted since the login.
inline constexpr std::string_view kNoSuchOwner = "没有这个用户";

// Follows the report of a refused form.
inline constexpr std::string_view kBackLink =
    "<p></p><a href=\"javascript:history.go(-1);\">回上一步重新填写</a>";

// Whether the owner's `user` row still exists.
bool OwnerRowExists(data::Connection& conn, std::string_view owner);

// The line above the settings forms that names the logged-in owner.
// Example: CurrentUserLine("abc") ==
//   "<p><font size=\"3\">当前登陆用户：abc</font></p>".
std::string CurrentUserLine(std::string_view owner);

// A stored value written between `quote` marks of a form attribute. The
// value is written as stored (titles and captions hold HTML on purpose),
// except the quote mark itself, written as its character reference so that
// the value cannot end the attribute; the browser shows it as typed.
// Example: InQuotes("it's", '\'') == "it&#39;s"; InQuotes("a\"b", '"') == "a&quot;b".
std::string InQuotes(std::string_view value, char quote);

// `value` when it is one of `allowed`, otherwise `fallback`.
// Example: OneOf("3", {"0", "1", "2"}, "0") == "0".
std::string OneOf(std::string_view value, std::initializer_list<std::string_view> allowed,
                  std::string_view fallback);

// The failing checks of a posted form, in the order they failed: each
// validation message followed by "<br>".
class ErrorReport {
 public:
  // Appends validation message `number` and "<br>".
  void Add(int number);
  // Appends a text of its own and marks the form refused.
  void AddText(std::string_view text);
  bool failed() const { return failed_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  bool failed_ = false;
};

}  // namespace tb::settings
