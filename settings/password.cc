// The account data of a guestbook: JieMian3 writes the form, JieMian3Check
// checks it and stores the new password (a new one ends the owner's other
// logins), and optionally the password hint, the identity card number and
// the e-mail address.
#include <initializer_list>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/lengths.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/password_hash.h"
#include "data/connection.h"
#include "settings/password_html.h"
#include "settings/settings_common.h"

namespace tb {
namespace {

namespace html = settings::password;

constexpr std::string_view kWrongOldPassword = "原始密码错误！<br>";

// A hint question or answer: trimmed; when given, with its marks made
// full-width and 1 to 50 characters long (else message `number`).
std::string HintText(std::string_view posted, int number, settings::ErrorReport& errors) {
  std::string text(check::Trim(posted));
  if (text.empty()) return text;
  text = check::ToFullWidthMarks(text);
  if (!check::CheckLength1To50(text)) errors.Add(number);
  return text;
}

// An identity card number, when given: 15 or 18 characters (message 11),
// all digits (message 11 again).
void CheckIdCard(std::string& idcard, settings::ErrorReport& errors) {
  if (idcard.empty()) return;
  const std::size_t length = check::Length(idcard);
  if (length != 15 && length != 18) errors.Add(11);
  if (!check::CheckDigits(idcard)) errors.Add(11);
}

}  // namespace

void Guestbook::JieMian3() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  // One row of the form table: its pieces between the row's tags.
  auto write_row = [this](std::initializer_list<std::string_view> pieces) {
    Write(html::kRowOpen);
    for (std::string_view piece : pieces) Write(piece);
    Write(html::kRowClose);
  };

  Write(html::kFormOpen);
  Write(html::kTableOpen);
  write_row({html::kNameCaption, std::string(html::kNameCellOpen) +
                                     check::EscapeHtml(owner) +
                                     std::string(html::kNameCellClose)});
  for (const auto& row : html::kPasswordRows) write_row({row.caption, row.entry});
  write_row({html::kSpacerCellOpen, html::kSpacerBlank});
  for (const auto& row : html::kOptionalRows) {
    write_row({row.caption, row.entry, html::kKeepNote});
  }
  write_row({html::kSpacerCellOpen, html::kSpacerIdeographic});
  write_row(
      {html::kEmailRow[0], html::kEmailRow[1], html::kEmailRow[2], html::kEmailRow[3]});
  for (std::string_view piece : html::kFormClose) Write(piece);
}

void Guestbook::JieMian3Check() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  settings::ErrorReport errors;
  auto conn = OpenDatabase();
  // The old password is compared and the row changed under one lock: all of
  // the statements below take effect, or none.
  data::Transaction tx(conn);

  auto row = FindBook(conn, owner);
  const bool found = !(row.Eof() && row.Bof());
  if (!found) errors.AddText("<br>");
  const std::string stored_password = found ? row["password"].Text() : "";
  const std::string stored_email = found ? row["email"].Text() : "";
  row.Close();

  std::string password = Request().Form("PassWord");
  if (!check::CheckPassword(password)) errors.Add(3);
  if (password != Request().Form("PassWord2")) errors.Add(4);
  std::string old_password = Request().Form("oldPassWord");
  if (!check::CheckPassword(old_password)) errors.Add(3);
  const std::string question = HintText(Request().Form("question"), 9, errors);
  const std::string answer = HintText(Request().Form("answer"), 10, errors);
  std::string idcard(check::Trim(Request().Form("idcard")));
  CheckIdCard(idcard, errors);
  std::string email(check::Trim(Request().Form("email")));
  if (const std::string refusal = check::TooLong({{email, check::kEmailLimit}});
      !refusal.empty()) {
    Write(refusal + "<br>");
    return Write(settings::kBackLink);
  }
  if (!email.empty() && !check::CheckEmail(email)) errors.Add(5);
  // Whoever finds the session open must still know the password.
  if (found && !CheckedSecret(passwords::PasswordMatches(stored_password, old_password)))
    errors.AddText(kWrongOldPassword);

  if (errors.failed()) {
    Write(errors.text());
    Write(settings::kBackLink);
    return;
  }

  if (!answer.empty() && !idcard.empty()) {
    // A question left empty keeps the stored one.
    conn.Execute(
        "update user set question = coalesce(?, question), answer = ?, idcard = ? "
        "where name = ?",
        {question.empty() ? Value() : Value(question), Value(answer), Value(idcard),
         Value(owner)});
  }
  // Typing the stored address again keeps its confirmation; a new address
  // gets a new code, which the page mails to it.
  if (!email.empty() && email != stored_email) {
    const std::string code = std::to_string(Server().Random(111111, 999999));
    conn.Execute("update user set hascrc='0', email = ?, crccode = ? where name = ?",
                 {Value(email), Value(code), Value(owner)});
    outcome_.confirm = AddressToConfirm{owner, email, code};
  }
  const bool changed = !passwords::PasswordMatches(stored_password, password);
  conn.Execute(
      "update user set password = ?, ip = ?, modifytime = ? where name = ?",
      {Value(passwords::StoredPassword(password, PasswordHashing())),
       Value(Request().RemoteAddr()), Value(Server().Now().ToText()), Value(owner)});
  tx.Commit();
  // Whoever else had logged in with the old password is logged out; this
  // visitor, who just proved the old one, stays.
  if (changed) {
    Session().EndLogins(owner, host::Session::Reach::kOthers);
  }
  Write("<p align=\"center\">用户：" + check::EscapeHtml(owner) +
        "&nbsp;&nbsp;修改信息成功！</p>");
}

}  // namespace tb
