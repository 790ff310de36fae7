// The display settings of a guestbook: JieMian2 writes the form of the
// message form's captions and optional parts, filled in from the owner's
// row, and JieMian2Check stores what it posts. Nothing posted is refused.
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "check/convert.h"
#include "check/lengths.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "data/connection.h"
#include "settings/display_html.h"
#include "settings/settings_common.h"

namespace tb {
namespace {

namespace html = settings::display;

// Characters 14 to 20 of the option string, always on.
constexpr std::string_view kFixedOptions = "1111111";
// The fields of the option string's characters 1 to 13. The form's boxes
// "C1" to "C12" post the first twelve; it has no field "c13".
constexpr std::array<std::string_view, 13> kOptionFields = {
    "c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10", "c11", "c12", "c13",
};

// Whether character `n` (from 1) of the option string is "1"; a string too
// short to hold it leaves the option off.
bool OptionOn(std::string_view infostyle, std::size_t n) {
  return n <= infostyle.size() && infostyle[n - 1] == '1';
}

// A posted caption: trimmed, and without single quotes.
std::string PostedCaption(std::string_view posted) {
  return check::ReplaceAll(check::Trim(posted), "'", "");
}

}  // namespace

void Guestbook::JieMian2() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  auto row = FindBook(conn, owner);
  if (row.Eof() && row.Bof()) return Write(settings::kNoSuchOwner);
  const std::string infostyle = row["infostyle"].Text();

  // One row of the form table: its pieces between the row's tags.
  auto write_row = [this](std::initializer_list<std::string_view> pieces) {
    Write(html::kRowOpen);
    for (std::string_view piece : pieces) Write(piece);
    Write(html::kRowClose);
  };

  Write(settings::CurrentUserLine(owner));
  Write(html::kFormOpen);
  Write(html::kTableOpen);
  write_row({html::kWideCellOpen, html::kCaptionsHeading});

  for (const auto& caption : html::kCaptions) {
    Write(html::kRowOpen);
    Write(caption.cell);
    Write(std::string(html::kEntryOpen) + std::string(caption.column) +
          std::string(html::kEntryMiddle) +
          settings::InQuotes(row[caption.column].Text(), '\'') +
          std::string(html::kEntryClose));
    if (caption.column == html::kCaptions.front().column) {
      for (std::string_view piece : html::kNameHelp) Write(piece);
    } else {
      Write(std::string(html::kHelpOpen) + std::string(caption.default_caption) +
            std::string(html::kHelpClose));
    }
    Write(html::kRowClose);
  }

  write_row({html::kSpacerCell});
  write_row({html::kWideCellOpen, html::kOptionsHeading});

  // The option row closes with a tag of its own.
  Write(html::kRowOpen);
  Write(html::kOptionsCaption);
  Write(html::kOptionsCellOpen);
  Write(html::kInnerTableOpen);
  for (std::size_t r = 0; r < html::kInnerRows.size(); ++r) {
    Write(html::kInnerRows[r].first);
    for (std::size_t n = 2 * r + 1; n <= 2 * r + 2; ++n) {
      const auto& box = html::kBoxes[n - 1];
      Write(box.cell);
      Write(std::string(box.indent) + std::string(html::kBoxOpen) + std::to_string(n) +
            std::string(html::kBoxMiddle));
      if (OptionOn(infostyle, n)) Write(html::kBoxChecked);
      Write(html::kBoxClose);
    }
    Write(html::kInnerRows[r].second);
  }
  Write(html::kInnerTableClose);
  Write(html::kOptionsCellClose);
  Write(html::kOptionsRowClose);
  for (std::string_view piece : html::kFormClose) Write(piece);
}

void Guestbook::JieMian2Check() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  const std::string modifytime = Server().Now().ToText();
  const std::string ip = Request().RemoteAddr();

  // The update sets the captions in the table's order, then the options.
  std::string sql = "update user set modifytime = ?, ip = ?";
  std::vector<Value> values = {Value(modifytime), Value(ip)};
  for (const auto& caption : html::kCaptions) {
    const std::string posted = PostedCaption(Request().Form(caption.column));
    if (const std::string refusal = check::TooLong({{posted, check::kCaptionLimit}});
        !refusal.empty()) {
      Write(refusal + "<br>");
      return Write(settings::kBackLink);
    }
    sql += ", " + std::string(caption.column) + " = ?";
    values.emplace_back(posted);
  }
  std::string infostyle;
  for (std::string_view field : kOptionFields) {
    infostyle += check::Trim(Request().Form(field)) == "1" ? '1' : '0';
  }
  infostyle += kFixedOptions;

  // The row is looked for and changed under one lock, so that a guestbook
  // deleted meanwhile is reported rather than confirmed.
  data::Transaction tx(conn);
  if (!settings::OwnerRowExists(conn, owner)) return Write(settings::kNoSuchOwner);
  values.emplace_back(infostyle);
  values.emplace_back(owner);
  conn.Execute(sql + ", infostyle = ? where name = ?", values);
  tx.Commit();
  Write("用户：" + check::EscapeHtml(owner) + "留言板“发表留言”界面设置修改成功！");
}

}  // namespace tb
