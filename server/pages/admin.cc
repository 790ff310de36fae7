// The guestbook list and the superuser's tools.
#include <array>
#include <string>

#include "data/schema.h"
#include "server/pages/frame.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

// The list's delete links call these: each asks first, then opens the
// superuser's delete page for that guestbook in a new window.
constexpr std::string_view kUserListScripts = R"html(<script>
function deluser(name) {
  if (confirm("你确认删除留言板“" + name + "”和它的全部留言吗？")) {
    window.open("admin_deluser.asp?name=" + encodeURIComponent(name));
  }
}
function delinfo(name) {
  if (confirm("你确认删除留言板“" + name + "”的全部留言吗？")) {
    window.open("admin_delinfo.asp?name=" + encodeURIComponent(name));
  }
}
</script>
)html";

// After a deletion the list that opened the page shows the new state.
constexpr std::string_view kBackToList = R"html(
<p align="center"><a href="userlist.asp">返回留言板列表</a></p>
<script>
if (window.opener && !window.opener.closed) window.opener.location.reload();
</script>
)html";

constexpr std::string_view kGetPassForm = R"html(<h2>找回用户密码</h2>
<form method="POST" action="GETPASS.ASP">
<p align="center">留言板用户名：<input type="text" name="name" size="20" maxlength="15"> <input type="submit" value="查询" name="B1"></p>
</form>
)html";

constexpr std::string_view kDataAdminScripts = R"html(<script>
function db_check() {
  var f = document.dbform;
  if (f.what.value.replace(/^ +| +$/g, "") == "") {
    alert("请输入要删除的内容！");
    f.what.focus();
    return false;
  }
  return confirm("全站所有留言板中符合条件的留言都将被删除，不能恢复。你确认删除吗？");
}
</script>
)html";

std::string DataAdminForm() {
  std::string out =
      "<h2>根据条件管理数据库</h2>\n"
      "<form name=\"dbform\" method=\"POST\" action=\"admin_tools_db.asp\" "
      "onsubmit=\"return db_check()\">\n"
      "<p align=\"center\">删除全站留言中 <select name=\"r1\" size=\"1\">";
  for (const auto& c : data::kMessageColumns) {
    out += "<option value=\"" + std::string(c.name) + "\"" +
           std::string(Selected(c.name == data::kMessageColumns[0].name)) + ">" +
           std::string(c.label) + "（" + std::string(c.name) + "）</option>";
  }
  return out +
         "</select> 等于 <input type=\"text\" name=\"what\" size=\"30\"> 的留言</p>\n"
         "<p align=\"center\"><input type=\"submit\" value=\"删除\" name=\"B1\"></p>\n"
         "<p align=\"center\"><font color=\"#FF0000\">注意：删除作用于全站所有留言板，"
         "不能恢复！</font></p>\n"
         "</form>\n";
}

// A superuser tool's form, shown only after the superuser login; otherwise
// the component's notice.
void ToolForm(PageEnv& env, std::string_view subtitle, std::string_view scripts,
              std::string_view form) {
  WriteHead(env, subtitle, scripts);
  if (env.component().IsAdmin() == 1) Write(env, form);
  WriteFoot(env);
}

void DeletePage(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)()) {
  WriteHead(env, subtitle);
  (env.component().*member)();
  Write(env, kBackToList);
  WriteFoot(env);
}

}  // namespace

void UserListPage(PageEnv& env) {
  WriteHead(env, "留言板列表", kUserListScripts);
  env.component().UserList();
  WriteFoot(env);
}

void AdminDelUserPage(PageEnv& env) {
  DeletePage(env, "删除留言板", &Guestbook::AdminDelUser);
}

void AdminDelInfoPage(PageEnv& env) {
  DeletePage(env, "删除留言", &Guestbook::AdminDelUserInfo);
}

void ToolsMailPage(PageEnv& env) { FramedCall(env, "邮件管理", &Guestbook::GetAllMail); }

void GetPassPage(PageEnv& env) {
  if (IsPost(env)) return FramedCall(env, "找回用户密码", &Guestbook::GetPassWord);
  ToolForm(env, "找回用户密码", {}, kGetPassForm);
}

void ToolsDbPage(PageEnv& env) {
  if (IsPost(env)) return FramedCall(env, "根据条件管理数据库", &Guestbook::DataAdmin);
  ToolForm(env, "根据条件管理数据库", kDataAdminScripts, DataAdminForm());
}

}  // namespace tb::server::pages
