// The message form page's two members: Add prepares the visit (form key,
// posted flag, the guestbook's form settings in the session, the prune) and
// Image1 writes the avatar chooser that the page places in its form.
#include <array>
#include <string>
#include <utility>

#include "board/form_setup.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"

namespace tb {
namespace {

constexpr std::string_view kAvatarTableOpen = "  <table border=\"1\" width=\"100%\">";
constexpr std::string_view kAvatarTableClose = "  </table>";
constexpr std::string_view kRowOpen = "    <tr>";
constexpr std::string_view kRowClose = "    </tr>";
constexpr int kAvatarsPerRow = 10;

// One cell of the avatar table; the last cell of a row is a little wider.
std::string AvatarCell(int k, std::string_view content) {
  return "      <td width=\"" + std::string(k == kAvatarsPerRow ? "11%" : "10%") +
         "\" align=\"center\">" + std::string(content) + "</td>";
}

std::string Picture(std::string_view kind, int k) {
  return "<img border=\"0\" src=\"pic/" + std::string(kind) + std::to_string(k) +
         ".gif\">";
}

std::string Radio(int number) {
  return "<input type=\"radio\" name=\"tx\" value=\"" + std::to_string(number) + "\">";
}

}  // namespace

void Guestbook::Add() {
  const std::string name(check::Trim(Request().Query("name")));
  const std::size_t length = check::Length(name);
  if (length < 3 || length > 15)
    return Response().Redirect(board::form::kUserNameErrorPage);

  const std::string key = std::to_string(board::form::NewFormKey(Server()));
  Session().Set(keys::BookKey(name, keys::kBookFormKeySuffix), Value(key));
  Session().Set(keys::kFormKey, Value(key));
  Session().Set(keys::kPosted, Value("0"));

  auto db = OpenDatabase();
  auto book = FindBookCounted(db, name);
  if (book.Eof() && book.Bof())
    return Response().Redirect(board::form::kUserNameErrorPage);
  for (const auto& [suffix, column] : keys::message_form::kCopied) {
    Session().Set(keys::BookKey(name, suffix), book[column]);
  }
  const Value messages = book["kept_messages"];
  book.Close();

  board::form::PruneOverLimit(db, name, MaxNum(), messages);
  db.Close();
  outcome_.done = Done::kFormPrepared;
}

// Boys 1 to 10 above their radio buttons, then girls 11 to 20 above theirs.
void Guestbook::Image1() {
  Write(kAvatarTableOpen);
  for (const auto& [kind, first] : {std::pair{"Boy", 1}, std::pair{"Girl", 11}}) {
    Write(kRowOpen);
    for (int k = 1; k <= kAvatarsPerRow; ++k) Write(AvatarCell(k, Picture(kind, k)));
    Write(kRowClose);
    Write(kRowOpen);
    for (int k = 1; k <= kAvatarsPerRow; ++k) Write(AvatarCell(k, Radio(first + k - 1)));
    Write(kRowClose);
  }
  Write(kAvatarTableClose);
}

}  // namespace tb
