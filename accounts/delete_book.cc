// Deleting on the owner's request: a whole guestbook with its messages (proved
// by name, password and e-mail as stored, no login needed; every login to it
// ends), or every message of the logged-in owner's guestbook after a
// confirming link.
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/password_hash.h"
#include "data/connection.h"

namespace tb {
namespace {

// Exact comparison; a stored value that is missing never matches.
bool SameAsStored(const Value& stored, std::string_view given) {
  return !stored.IsEmpty() && stored.Text() == given;
}

}  // namespace

void Guestbook::UserDelMe() {
  const std::string name(check::Trim(Request().Lookup("name")));
  const std::string password(check::Trim(Request().Lookup("password")));
  const std::string email(check::Trim(Request().Lookup("email")));

  if (check::Length(password) < 3 || check::Length(name) < 3) {
    return Write("用户信息填写不完整！请重新填写");
  }
  if (check::AsciiLower(name) == keys::kSuperuser) {
    return Write("admin 为系统帐号，不能删除！");
  }

  auto conn = OpenDatabase();
  // The proof, the row and its messages go together: either the whole
  // guestbook is gone or nothing changed.
  data::Transaction tx(conn);
  auto row = FindBook(conn, name);
  if (!CheckedSecret(!(row.Eof() && row.Bof()))) {
    return Write("用户：" + check::EscapeHtml(name) + "不存在！");
  }
  if (!CheckedSecret(SameAsStored(row["name"], name) && !row["password"].IsEmpty() &&
                     passwords::PasswordMatches(row["password"].Text(), password) &&
                     SameAsStored(row["email"], email))) {
    return Write("你填写的信息不正确，用户注销失败！");
  }
  conn.Execute("delete from user where name = ?", {Value(name)});
  conn.Execute("delete from liuyan where name = ?", {Value(name)});
  tx.Commit();
  // Nobody stays logged in to a guestbook that is gone (a new one of the
  // same name would open to them), this visitor included.
  Session().EndLogins(name, host::Session::Reach::kThisOneToo);
  Write("用户：" + check::EscapeHtml(name) + "注销成功！");
}

void Guestbook::UserDelAllInfo() {
  if (IsUserLogin() == 0) return;
  const std::string name(check::Trim(Request().Query("name")));
  const std::string del(check::Trim(Request().Query("del")));
  const std::string shown = check::EscapeHtml(name);

  if (del != "1") {
    Write("<font color = \"red\" size = \"3\">你确认删除<b>全部</b>留言信息吗？</font>");
    Write("<a href=\"admin_del_all.asp?name=" + shown + "&del=1\">是的</a>");
    return;
  }

  Write("当前用户：" + shown + "<br><br>");
  if (!check::CheckUserName(name)) return Write("用户名发生错误。。。<br>");
  // Names compare without regard to letter case, as the store does: the
  // menu links the name as typed at login, the session holds it as stored.
  if (!check::EqualsIgnoreCase(Session().Get(keys::kName).Text(), name) ||
      Session().Get(keys::kLog).Text() != "yes") {
    return Write("删除失败，请重新登陆、或操作超时！");
  }
  auto conn = OpenDatabase();
  Write("<p></p>删除全部留言开始。。。");
  conn.Execute("delete from liuyan where name = ?", {Value(name)});
  Write("删除成功！");
}

}  // namespace tb
