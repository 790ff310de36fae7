// The site's home with the registration form, the login and logout pages, and
// the pages an owner uses without logging in (lost password, self-delete).
#include <string>

#include "check/text.h"
#include "server/pages/frame.h"
#include "server/pages/mailing.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

constexpr std::string_view kIndexIntro =
    R"html(<p class="lead">免费多用户留言本：注册一个用户名，就可以拥有自己的留言板，地址为 show.asp?name=你的用户名。</p>
<p align="center"><a href="admin.asp">登录管理</a> | <a href="userlist.asp">留言板列表</a> | <a href="lostpassword.asp">找回密码</a> | <a href="userdelme.asp">注销留言板</a></p>
<h2>申请新留言板</h2>
)html";

// The registration form; the category options go between its two halves.
constexpr std::string_view kRegisterFormHead =
    R"html(<form method="POST" action="reg_check.asp">
<table class="form" border="1" width="100%" bordercolorlight="#008000" bordercolordark="#FFFFFF" bgcolor="#F7F7F9">
<tr><td width="25%" align="right">用户名：</td><td width="75%"><input type="text" name="name" size="20" maxlength="15"> <font color="#FF0000">**</font> 3到15个字符，只能由字母、数字和下划线组成</td></tr>
<tr><td align="right">密码：</td><td><input type="password" name="password" size="20" maxlength="15"> <font color="#FF0000">**</font> 4到15个字符，不能含有单引号、斜线、尖括号</td></tr>
<tr><td align="right">重复密码：</td><td><input type="password" name="password2" size="20" maxlength="15"> <font color="#FF0000">**</font></td></tr>
<tr><td align="right">电子邮件：</td><td><input type="text" name="email" size="36" maxlength="50"> <font color="#FF0000">**</font></td></tr>
<tr><td align="right">主页：</td><td><input type="text" name="homepage" size="36" value="http://"> <font color="#FF0000">**</font> 以 http:// 或 https:// 开头</td></tr>
<tr><td align="right">留言板标题：</td><td><input type="text" name="titletop" size="36" maxlength="50"> <font color="#FF0000">**</font> 最多50个字符</td></tr>
<tr><td align="right">留言方式：</td><td><input type="radio" name="html" value="0">文本方式 <input type="radio" name="html" value="1">Html方式 <input type="radio" name="html" value="2" checked>UBB方式</td></tr>
<tr><td align="right">密码提示问题：</td><td><input type="text" name="question" size="36" maxlength="50"> <font color="#FF0000">**</font> 4到50个字符，用于找回密码</td></tr>
<tr><td align="right">密码提示回答：</td><td><input type="text" name="answer" size="36" maxlength="50"> <font color="#FF0000">**</font> 4到50个字符</td></tr>
<tr><td align="right">身份证号码：</td><td><input type="text" name="idcard" size="36" maxlength="18"> <font color="#FF0000">**</font> 15或18位数字，用于找回密码</td></tr>
<tr><td align="right">网站分类：</td><td><select name="nettype" size="1">)html";
constexpr std::string_view kRegisterFormTail =
    R"html(</select> <font color="#FF0000">**</font></td></tr>
</table>
<p align="center"><input type="submit" value="注册留言板" name="B1">&nbsp; <input type="reset" value="全部重写" name="B2"> （带<font color="#FF0000">**</font>号的栏目必须填写）</p>
</form>
)html";

constexpr std::string_view kLoginForm = R"html(<h2>留言板管理登录</h2>
<form method="POST" action="admin_login.asp">
<table class="form" border="0" align="center">
<tr><td align="right">用户名：</td><td><input type="text" name="name" size="20" maxlength="15"></td></tr>
<tr><td align="right">密码：</td><td><input type="password" name="password" size="20" maxlength="15"></td></tr>
</table>
<p align="center"><input type="submit" value="登 录" name="B1"></p>
</form>
<p align="center"><a href="lostpassword.asp">忘记密码？</a> | <a href="index.asp">申请新留言板</a></p>
)html";

constexpr std::string_view kLoggedOff =
    R"html(<div class="notice done"><h2>你已经退出管理。</h2><p><a href="admin.asp">重新登录</a> | <a href="index.asp">返回首页</a></p></div>
)html";

constexpr std::string_view kLostPasswordForm = R"html(<h2>找回密码</h2>
<form method="POST" action="lostpassword.asp">
<p align="center">请输入你的留言板用户名：<input type="text" name="name" size="20" maxlength="15"> <input type="submit" value="下一步" name="B1"></p>
</form>
<p align="center">下一步需要回答注册时填写的密码提示问题，并填写身份证号码。</p>
)html";

constexpr std::string_view kUserDelMeScripts = R"html(<script>
function delme_check() {
  return confirm("注销后，留言板和其中的全部留言都将被删除，不能恢复。你确认注销吗？");
}
</script>
)html";

constexpr std::string_view kUserDelMeForm = R"html(<h2>注销留言板</h2>
<form method="POST" action="userdelme.asp" onsubmit="return delme_check()">
<table class="form" border="0" align="center">
<tr><td align="right">用户名：</td><td><input type="text" name="name" size="20" maxlength="15"></td></tr>
<tr><td align="right">密码：</td><td><input type="password" name="password" size="20" maxlength="15"></td></tr>
<tr><td align="right">电子邮件：</td><td><input type="text" name="email" size="30" maxlength="50"></td></tr>
</table>
<p align="center">请填写注册时的用户名、密码和电子邮件，三项都正确才能注销。</p>
<p align="center"><input type="submit" value="注销我的留言板" name="B1"></p>
</form>
)html";

}  // namespace

void RootPage(PageEnv& env) { env.context().response().Redirect("index.asp"); }

void IndexPage(PageEnv& env) {
  WriteHead(env, "");
  Write(env, "<h1>" + Escaped(env.component().PageTitle().Text()) + "</h1>\n");
  Write(env, kIndexIntro);
  if (const auto closed = env.component().RegistrationClosed()) {
    Write(env, Notice(*closed, {}, {}));
  } else {
    Write(env, kRegisterFormHead);
    Write(env, CategoryOptions(""));
    Write(env, kRegisterFormTail);
  }
  WriteFoot(env);
}

void RegCheckPage(PageEnv& env) {
  WriteHead(env, "注册留言板");
  if (const auto closed = env.component().RegistrationClosed()) {
    Write(env, Notice(*closed));
  } else {
    env.component().RegCheck();
    MailConfirmation(env);
  }
  WriteFoot(env);
}

// A logged-in owner finds the management menu here, everyone else the login.
void AdminPage(PageEnv& env) {
  if (!env.context().session().LoggedInName().empty()) {
    return FramedCall(env, "管理菜单", &Guestbook::AdminMenu);
  }
  WriteHead(env, "登录管理");
  Write(env, kLoginForm);
  WriteFoot(env);
}

void AdminLoginPage(PageEnv& env) {
  env.RenewSession();
  GuessingCall(env, "管理菜单", &Guestbook::AdminLogin,
               env.context().request().Form("name"));
}

// Ends the visitor's session whatever the link carries: logging out must
// work also when the session has already timed out.
void AdminLogOffPage(PageEnv& env) {
  env.EndSession();
  WriteHead(env, "退出管理");
  Write(env, kLoggedOff);
  WriteFoot(env);
}

void LostPasswordPage(PageEnv& env) {
  if (IsPost(env)) return FramedCall(env, "找回密码", &Guestbook::LostPass);
  WriteHead(env, "找回密码");
  Write(env, kLostPasswordForm);
  WriteFoot(env);
}

// A new password (drawn when passwords are kept as hashes) is mailed to the
// owner instead of shown, when the site sends mail.
void LostPasswordCheckPage(PageEnv& env) {
  constexpr std::string_view kSubtitle = "找回密码";
  const std::string name(check::Trim(env.context().request().Query("name")));
  Guess guess(env, kSubtitle, name);
  if (guess.refused()) return;
  const Captured out = Capture(env, &Guestbook::LostPassCheck);
  guess.Settle();
  WriteHead(env, kSubtitle);
  Write(env, MailNewPassword(env) ? "新密码已发送到你的电子邮箱。" : out.body);
  WriteFoot(env);
}

// The link mailed to confirm an owner's address; a code is a secret, guessed
// like a password.
void ConfirmPage(PageEnv& env) {
  GuessingCall(env, "认证电子邮件", &Guestbook::ConfirmAddress,
               env.context().request().Query("name"));
}

void UserDelMePage(PageEnv& env) {
  if (IsPost(env)) {
    return GuessingCall(env, "注销留言板", &Guestbook::UserDelMe,
                        env.context().request().Lookup("name"));
  }
  WriteHead(env, "注销留言板", kUserDelMeScripts);
  Write(env, kUserDelMeForm);
  WriteFoot(env);
}

void AdminDelAllPage(PageEnv& env) {
  FramedCall(env, "删除全部留言", &Guestbook::UserDelAllInfo);
}

void TestPage(PageEnv& env) { env.component().test(); }

}  // namespace tb::server::pages
