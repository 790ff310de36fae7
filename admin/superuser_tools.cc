// The superuser's tools: delete a guestbook's messages or the whole
// guestbook (ending every login to it), delete messages site-wide by one
// column's value, list every owner's e-mail address, and look up one account.
//
// Each tool tests the superuser login itself: they delete and disclose data
// of every guestbook, so no page may open them by forgetting the test. Text
// from the request or from an owner's account is escaped where it is echoed
// into the page.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/password_hash.h"
#include "data/connection.h"
#include "data/schema.h"

namespace tb {
namespace {

constexpr std::string_view kNoName = "name error! expect name to delete";
constexpr std::string_view kSystemAccount = "admin为系统帐号，不能删除！";
constexpr std::string_view kDeleting = "正在删除：";
constexpr std::string_view kDeletingEnd = " 。。。<br>";
constexpr std::string_view kDeleted = "已经删除：";

constexpr std::string_view kMailHead = "所有注册用户的电子邮件如下：<br>";
constexpr std::string_view kMailEnd = "读取完成！";

constexpr std::string_view kNoSuchUser = "没有这个用户：";
struct AccountRow {
  std::string_view label;
  std::string_view column;
};
constexpr std::array kAccountRows = {
    AccountRow{"    <td width=\"26%\" align=\"right\">用户名：</td>", "name"},
    AccountRow{"    <td width=\"26%\" align=\"right\">密码：</td>", "password"},
    AccountRow{"    <td width=\"26%\" align=\"right\">电子邮件：</td>", "email"},
    AccountRow{"    <td width=\"26%\" align=\"right\">注册时间：</td>", "regtime"},
};

constexpr std::string_view kHashed = "（已加密保存）";

constexpr std::string_view kNothingToDelete = "请输入要删除的内容！";
constexpr std::string_view kBadColumn = "r1:参数错误！";

// The message table's own name for `column`, matched without regard to case:
// the only names that may stand for the column of a site-wide deletion.
std::optional<std::string_view> MessageColumn(std::string_view column) {
  for (const auto& c : data::kMessageColumns) {
    if (check::EqualsIgnoreCase(c.name, column)) return c.name;
  }
  return std::nullopt;
}

}  // namespace

void Guestbook::AdminDelUserInfo() {
  if (!IsAdmin()) return;
  const std::string name = Request().Query("name");
  if (name.empty()) return Write(kNoName);

  auto conn = OpenDatabase();
  const std::string shown = check::EscapeHtml(name);
  Write(std::string(kDeleting) + shown + std::string(kDeletingEnd));
  conn.Execute("delete from liuyan where name = ?", {Value(name)});
  Write(std::string(kDeleted) + shown + "留言。");
  conn.Close();
}

void Guestbook::AdminDelUser() {
  if (!IsAdmin()) return;
  const std::string name(check::Trim(Request().Query("name")));
  if (name.empty()) return Write(kNoName);
  if (check::AsciiLower(name) == keys::kSuperuser) return Write(kSystemAccount);

  auto conn = OpenDatabase();
  // The guestbook and its messages go together or not at all. A store may
  // take other spellings for a name (MariaDB's collation ignores accents),
  // so the stored name is the one judged, deleted and logged out.
  data::Transaction transaction(conn);
  auto book = FindBook(conn, name);
  const bool existed = !book.Eof();
  const std::string stored = existed ? book["name"].Text() : name;
  book.Close();
  if (check::AsciiLower(stored) == keys::kSuperuser) return Write(kSystemAccount);
  const std::string shown = check::EscapeHtml(name);
  Write(std::string(kDeleting) + shown + std::string(kDeletingEnd));
  conn.Execute("delete from user where name = ?", {Value(stored)});
  conn.Execute("delete from liuyan where name = ?", {Value(stored)});
  transaction.Commit();
  // Whoever was logged in to the guestbook is no longer.
  if (existed) Session().EndLogins(stored, host::Session::Reach::kThisOneToo);
  Write(std::string(kDeleted) + shown + "用户和留言内容。");
  conn.Close();
}

void Guestbook::GetAllMail() {
  if (!IsAdmin()) return;
  auto conn = OpenDatabase();
  auto rs = conn.Execute("select distinct email from user order by email");
  Write(kMailHead);
  for (; !rs.Eof(); rs.MoveNext()) Write(check::EscapeHtml(rs["email"].Text()) + "<br>");
  Write(kMailEnd);
  rs.Close();
  conn.Close();
}

void Guestbook::GetPassWord() {
  if (!IsAdmin()) return;
  const std::string name(check::Trim(Request().Form("name")));

  auto conn = OpenDatabase();
  auto rs = FindBook(conn, name);
  if (rs.Eof() && rs.Bof()) {
    Write(std::string(kNoSuchUser) + check::EscapeHtml(name));
  } else {
    Write("<table border=\"0\" width=\"100%\">");
    for (const auto& row : kAccountRows) {
      Write("  <tr>");
      Write(row.label);
      std::string shown = rs[row.column].Text();
      // A hash tells the superuser nothing and stays in the store.
      if (row.column == "password" && passwords::IsPasswordHash(shown)) shown = kHashed;
      Write("    <td width=\"74%\">" + check::EscapeHtml(shown) + "</td>");
      Write("  </tr>");
    }
    Write("</table>");
  }
  rs.Close();
  conn.Close();
}

void Guestbook::DataAdmin() {
  if (!IsAdmin()) return;
  const std::string r1 = Request().Form("r1");
  const std::string what(check::Trim(Request().Form("what")));
  if (what.empty() || r1.empty()) return Write(kNothingToDelete);
  const auto column = MessageColumn(r1);
  if (!column) return Write(kBadColumn);

  auto conn = OpenDatabase();
  Write("如果：" + check::EscapeHtml(r1) + " = " + check::EscapeHtml(what) +
        "那么将他无条件删除。。。");
  // The text is compared as the column's own values are: a number column
  // takes a numeric text as that number.
  conn.Execute("delete from liuyan where " + std::string(*column) + " = ?",
               {Value(what)});
  Write("<br>删除完成！");
  conn.Close();
}

}  // namespace tb
