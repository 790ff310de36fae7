#include "settings/settings_common.h"

#include <algorithm>

#include "check/convert.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/messages.h"

namespace tb::settings {

bool OwnerRowExists(data::Connection& conn, std::string_view owner) {
  auto row = FindBook(conn, owner);
  return !(row.Eof() && row.Bof());
}

std::string CurrentUserLine(std::string_view owner) {
  return "<p><font size=\"3\">当前登陆用户：" + check::EscapeHtml(owner) + "</font></p>";
}

std::string InQuotes(std::string_view value, char quote) {
  return check::ReplaceAll(value, std::string_view(&quote, 1),
                           quote == '"' ? "&quot;" : "&#39;");
}

std::string OneOf(std::string_view value, std::initializer_list<std::string_view> allowed,
                  std::string_view fallback) {
  const bool known = std::find(allowed.begin(), allowed.end(), value) != allowed.end();
  return std::string(known ? value : fallback);
}

void ErrorReport::Add(int number) {
  AddText(Message(number));
  text_ += "<br>";
}

void ErrorReport::AddText(std::string_view text) {
  text_ += text;
  failed_ = true;
}

}  // namespace tb::settings
