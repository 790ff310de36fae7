// The basic settings of a guestbook: JieMian1 copies the owner's current
// values into the session for the settings page's form, and JieMian1Check
// checks the posted form and stores it in the owner's row.
#include <array>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/html_filter.h"
#include "check/lengths.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "data/connection.h"
#include "settings/settings_common.h"

namespace tb {
namespace {

// Messages per page as typed when it is a number from 1 to 20, else "10".
std::string MessagesPerPage(const std::string& typed) {
  const auto n = Value(typed).Number();
  if (!n || *n > 20 || *n < 1) return "10";
  return typed;
}

// Empty, or an address that CheckUrl accepts.
bool IsOptionalUrl(std::string_view text) {
  return text.empty() || check::CheckUrl(text);
}

}  // namespace

void Guestbook::JieMian1() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  auto row = FindBook(conn, owner);
  if (row.Eof() && row.Bof()) return Write(settings::kNoSuchOwner);
  for (std::string_view column : keys::basic_settings::kCopied) {
    Session().Set(keys::basic_settings::BasicKey(owner, column), row[column]);
  }
  outcome_.done = Done::kFormPrepared;
}

void Guestbook::JieMian1Check() {
  if (IsUserLogin() == 0) return;
  const std::string owner = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  settings::ErrorReport errors;

  const std::string homepage(check::Trim(Request().Form("homepage")));
  if (const std::string refusal = check::TooLong({
          {homepage, check::kHomepageLimit},
          {Request().Form("titletop"), check::kTitleLimit},
          {check::Trim(Request().Form("backimage")), check::kBackImageLimit},
          {check::Trim(Request().Form("topimage")), check::kTopImageLimit},
          {check::Trim(Request().Form("nettype")), check::kCategoryLimit},
      });
      !refusal.empty()) {
    Write(refusal + "<br>");
    return Write(settings::kBackLink);
  }
  if (!check::CheckUrl(homepage)) errors.Add(6);
  const std::string modifytime = Server().Now().ToText();
  const std::string ip = Request().RemoteAddr();
  const std::string html = settings::OneOf(Request().Form("html"), {"1", "0", "2"}, "0");
  std::string titletop = Request().Form("titletop");
  check::TrimValue(titletop);
  if (!check::CheckLength2To100(titletop)) errors.Add(7);
  const std::string infolistno =
      MessagesPerPage(std::string(check::Trim(Request().Form("infolistno"))));
  const std::string sendinfo =
      settings::OneOf(Request().Form("sendinfo"), {"0", "1"}, "1");
  const std::string backimage(check::Trim(Request().Form("backimage")));
  if (!IsOptionalUrl(backimage)) errors.Add(13);
  const std::string topimage(check::Trim(Request().Form("topimage")));
  if (!IsOptionalUrl(topimage)) errors.Add(14);
  const std::string topformat =
      settings::OneOf(Request().Form("topformat"), {"0", "1"}, "0");
  const std::string nettype(check::Trim(Request().Form("nettype")));
  if (nettype == "0") errors.Add(12);

  if (errors.failed()) {
    Write(errors.text());
    Write(settings::kBackLink);
    return;
  }

  // The row is looked for and changed under one lock, so that a guestbook
  // deleted meanwhile is reported rather than confirmed.
  data::Transaction tx(conn);
  if (!settings::OwnerRowExists(conn, owner)) return Write(settings::kNoSuchOwner);
  // The paging setting goes as text, as posted: the column stores it as a
  // number.
  conn.Execute(
      "update user set homepage = ?, modifytime = ?, ip = ?, html = ?, titletop = ?, "
      "infolistno = ?, backimage = ?, sendinfo = ?, topimage = ?, nettype = ?, "
      "topformat = ? where name = ?",
      {Value(homepage), Value(modifytime), Value(ip), Value(html), Value(titletop),
       Value(infolistno), Value(backimage), Value(sendinfo), Value(topimage),
       Value(nettype), Value(topformat), Value(owner)});
  tx.Commit();
  Write("<p></p>留言板：<font color=\"#FF0000\">" + check::FilterHtml(titletop) +
        "</font> 修改成功！");
}

}  // namespace tb
