// The owner's login: checks name and password, marks the session as that
// owner's (and as the superuser's for the guestbook "admin") and writes the
// management menu. Any earlier login of the session ends first, whatever
// the outcome.
#include <array>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/html_filter.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/messages.h"
#include "component/password_hash.h"
#include "data/connection.h"

namespace tb {
namespace {

constexpr std::string_view kBadPasswordBack =
    "<p></p><a href=\"javascript:history.go(-1);\">返回上一步</a>";
constexpr std::string_view kNoSuchUserBack =
    "<p></p><a href=\"javascript:history.go(-1);\">回上一步</a>";
constexpr std::string_view kWrongPasswordBack =
    "<a href=\"javascript:history.go(-1);\">回上一步</a>";

// The menu, one write per item. `title` is the guestbook's title, filtered;
// `name` is the name as typed, already escaped for HTML; `key` is the logout
// key.
std::array<std::string, 21> MenuItems(std::string_view title, std::string_view name,
                                      std::string_view key) {
  const std::string n(name);
  return {
      "<p align=\"center\">" + std::string(title) + "</p>",
      "用户：<font color=\"#008000\">" + n +
          "</font>登陆成功，请选择你要修改的内容：</p>",
      "<p>1、<a href=\"show.asp?name=" + n +
          "\" target=\"_blank\">留言板留言信息管理</a>&nbsp;",
      "浏览留言板“悄悄话”、有选择的删除留言</p>",
      "<p>2、<a href=\"admin_del_all.asp?name=" + n +
          "\" target=\"_blank\">删除留言板全部留言</a></p>",
      "<p>3、<a href=\"show.asp?name=" + n +
          "&showhtml=0\" target=\"_blank\">安全方式有选择的删除留言</a>&nbsp;</p>",
      "<p>&nbsp;&nbsp; 以文本方式显示用html方式发表的留言,对文本方式发表的留言无效。<br>",
      "&nbsp;&nbsp; 主要用于留言版遭到恶意的html炸弹攻击时，而无法正常删除留言时。"
      "请用这个方式删除留言</p>",
      "<p>4、<a href=\"admin_jiemian.asp\" "
      "target=\"_blank\">留言板基本资料修改</a>&nbsp;</p>",
      "<p>&nbsp;&nbsp; 修改斑竹的网址，留言板标题等</p>",
      "<p>5、<a href=\"admin_jiemian2.asp\" target=\"_blank\">留言板显示界面修改</a></p>",
      "<p>&nbsp;&nbsp; 修改留言板发表留言时的界面</p>",
      "<p>6、<a href=\"admin_jiemian3.asp\" "
      "target=\"_blank\">用户密码、电子邮件修改</a></p>",
      "<p>7、<a href=\"admin_log_off.asp?name=" + n + "&key=" + std::string(key) +
          "\">退出管理</a><font color=\"#FF0000\">",
      "(使用完成后请一定使用“退出”)</font></p>",
      // The superuser's section is shown to every owner; the pages behind it
      // decide what a non-superuser may do.
      "<hr noshade size=\"1\" color=\"#008000\">",
      "<p>超级用户管理（仅供超级用户使用）</p>",
      "<p>1、<a href=\"userlist.asp\" target=\"_blank\">删除留言板中留言/用户</a></p>",
      "<p>2、<a href=\"admin_tools_mail.asp\" target=\"_blank\">邮件管理</a></p>",
      "<p>3、<a href=\"GETPASS.ASP\" target=\"_blank\">找回用户密码</a></p>",
      "<p>4、<a href=\"admin_tools_db.asp\" target=\"_blank\">根据条件管理数据库</a></p>",
  };
}

}  // namespace

void Guestbook::AdminLogin() {
  // A failed attempt leaves the session logged out, and a superuser who logs
  // in as an owner is no longer the superuser in this browser.
  Session().ClearLogin();
  auto conn = OpenDatabase();
  const std::string name(check::Trim(Request().Form("name")));
  std::string password(check::Trim(Request().Form("password")));

  if (!check::CheckPassword(password)) {
    Write(Message(3));
    Write(kBadPasswordBack);
    return;
  }
  auto row = FindBook(conn, name);
  // An unknown name counts as a wrong guess too: names are no cheaper to try.
  if (!CheckedSecret(!(row.Eof() && row.Bof()))) {
    Write("用户：" + check::EscapeHtml(name) + "不存在！");
    Write(kNoSuchUserBack);
    return;
  }
  if (!CheckedSecret(passwords::PasswordMatches(row["password"].Text(), password))) {
    Write("用户：" + check::EscapeHtml(name) + "密码错误！");
    Write(kWrongPasswordBack);
    return;
  }

  // The session holds the name as stored.
  const std::string stored_name = row["name"].Text();
  Session().Set(keys::kName, Value(stored_name));
  Session().Set(keys::kLog, Value("yes"));
  if (stored_name == keys::kSuperuser) Session().Set(keys::kAdminLog, Value("yes"));

  WriteMenu(row["titletop"].Text(), name);
}

void Guestbook::AdminMenu() {
  const std::string name = Session().Get(keys::kName).Text();
  auto conn = OpenDatabase();
  auto row = FindBook(conn, name);
  if (row.Eof() && row.Bof()) {
    Write("用户：" + check::EscapeHtml(name) + "不存在！");
    return Write(kNoSuchUserBack);
  }
  WriteMenu(row["titletop"].Text(), name);
}

void Guestbook::WriteMenu(std::string_view title, std::string_view name) {
  const std::string logout_key = Server().UrlEncode(Server().Now().ToText());
  for (const auto& item :
       MenuItems(check::FilterHtml(title), check::EscapeHtml(name), logout_key)) {
    Write(item);
  }
}

}  // namespace tb
