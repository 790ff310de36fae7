// The older basic settings page: JieMian1_bak writes the whole basic
// settings form itself, filled in from the owner's row. It posts to the page
// of JieMian1Check, which checks and stores it.
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "data/connection.h"
#include "settings/legacy_basic_html.h"
#include "settings/settings_common.h"

namespace tb {
namespace {

namespace html = settings::legacy;

// A stored value joined with the literals around it: open + value + close,
// the value between the given quote marks of an attribute.
std::string Entry(std::string_view open, std::string_view value, char quote,
                  std::string_view close) {
  return std::string(open) + settings::InQuotes(value, quote) + std::string(close);
}

// An option of the category list.
std::string Option(std::string_view category, bool selected) {
  return "<option value=\"" + settings::InQuotes(category, '"') + "\"" +
         (selected ? " selected" : "") + ">" + check::EscapeHtml(category) + "</option>";
}

}  // namespace

void Guestbook::JieMian1_bak() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  auto row = FindBook(conn, owner);
  if (row.Eof() && row.Bof()) return Write(settings::kNoSuchOwner);
  auto stored = [&row](std::string_view column) { return row[column].Text(); };
  // Writes a piece, or each piece of a list of pieces.
  auto write = [this](const auto& part) {
    if constexpr (std::is_convertible_v<decltype(part), std::string_view>) {
      Write(part);
    } else {
      for (std::string_view piece : part) Write(piece);
    }
  };
  // Writes one row of the form table: its parts between the row's tags.
  auto write_row = [&write](const auto&... parts) {
    write(html::kRowOpen);
    (write(parts), ...);
    write(html::kRowClose);
  };

  Write(settings::CurrentUserLine(owner));
  Write(html::kFormOpen);
  Write(html::kTableOpen);
  write_row(
      html::kTitleCaption,
      Entry(html::kTitleEntryOpen, stored("titletop"), '\'', html::kTitleEntryClose),
      html::kTitleHelp);
  write_row(
      html::kTopImageCaption,
      Entry(html::kTopImageEntryOpen, stored("topimage"), '"', html::kTopImageEntryClose),
      html::kTopImageHelp);
  write_row(html::kTopFormatCells);
  write_row(html::kSpacerCell);
  write_row(
      html::kListNoCaption,
      Entry(html::kListNoEntryOpen, stored("infolistno"), '"', html::kListNoEntryClose),
      html::kListNoHelp);
  write_row(html::kHtmlCells);
  write_row(html::kBackImageCaption, html::kBackImageCellOpen,
            Entry(html::kBackImageEntryOpen, stored("backimage"), '"',
                  html::kBackImageEntryClose),
            html::kBackImageHelp);
  write_row(html::kSendInfoCells);
  // The stored category comes first and selected; it is offered a second
  // time among the fixed ones.
  std::vector<std::string> options = {Option(stored("nettype"), true)};
  for (std::string_view category : html::kCategories) {
    options.push_back(Option(category, false));
  }
  write_row(html::kNetTypeCaption, html::kNetTypeCellOpen, html::kSelectOpen, options,
            html::kSelectClose, html::kRequiredMark, html::kCellClose);
  write_row(
      html::kHomepageCaption, html::kHomepageCellOpen,
      Entry(html::kHomepageEntryOpen, stored("homepage"), '"', html::kHomepageEntryClose),
      html::kHomepageHelp);
  write(html::kFormClose);
}

}  // namespace tb
