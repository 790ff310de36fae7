#include "tests/support/board_helpers.h"

#include "data/connection.h"

namespace tb::testing {

std::string Shown(const Value& value) {
  if (value.IsEmpty()) return "-";
  return value.IsText() ? "\"" + value.Text() + "\"" : value.Text();
}

std::string Outcome(const host::MapPage& page) {
  std::string out = "body: " + page.body + "\n";
  if (page.redirect) out += "redirect: " + *page.redirect + "\n";
  for (const auto& [name, cookie] : page.response_cookies)
    out += "cookie " + name + "=" + cookie.value + " until " +
           cookie.expires.value_or("-") + "\n";
  for (const auto& [key, value] : page.session_values)
    out += "session " + key + "=" + Shown(value) + "\n";
  return out;
}

std::string RowsText(data::EngineSource& pool, std::string_view dsn,
                     std::string_view sql) {
  data::Connection conn(pool);
  conn.Open(dsn);
  const data::Result result = conn.engine()->Run(sql);
  std::string out;
  for (const data::Row& row : result.rows) {
    for (std::size_t i = 0; i < row.size(); ++i)
      out += result.columns[i] + "=" + Shown(row[i]) + "\n";
    out += "\n";
  }
  return out;
}

void RunPage(host::MapPage& page, std::string_view dsn, void (Guestbook::*member)()) {
  Guestbook book;
  book.SetDSNtemp(std::string(dsn));
  book.OnStartPage(page);
  (book.*member)();
  book.OnEndPage();
}

}  // namespace tb::testing
