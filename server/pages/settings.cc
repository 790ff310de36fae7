// The owner's settings pages. The basic settings form is the page's own,
// filled from the session values the component leaves; the other settings
// pages are the component's output in the site's frame.
#include <string>

#include "component/keys.h"
#include "host/page.h"
#include "server/pages/frame.h"
#include "server/pages/mailing.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

constexpr std::string_view kBasicSettings = "留言板基本资料修改";

constexpr std::string_view kFormEnd = R"html(</table>
<p align="center"><input type="submit" value="修改我的留言板信息" name="B1">&nbsp; <input type="reset" value="全部重写" name="B2"> <font size="3">带<font color="#FF0000"> **</font> 号的必须填写</font></p>
</form>
)html";

constexpr std::string_view kRequired = " <font color=\"#FF0000\">**</font>";

// The owner's current settings as the component copied them to the session.
struct BasicSettings {
  std::string owner, title, title_image, title_format, per_page, mode, background,
      forward, category, homepage;
};

BasicSettings ReadSettings(const host::Session& session) {
  namespace basic = keys::basic_settings;
  BasicSettings s;
  s.owner = session.Get(keys::kName).Text();
  auto value = [&](std::string_view column) {
    return session.Get(basic::BasicKey(s.owner, column)).Text();
  };
  s.title = value(basic::kTitle);
  s.title_image = value(basic::kTitleImage);
  s.title_format = value(basic::kTitleFormat);
  s.per_page = value(basic::kPerPage);
  s.mode = value(basic::kMode);
  s.background = value(basic::kBackground);
  s.forward = value(basic::kForward);
  s.category = value(basic::kCategory);
  s.homepage = value(basic::kHomepage);
  return s;
}

std::string Row(std::string_view caption, std::string_view cell) {
  return "<tr><td width=\"24%\" align=\"right\">" + std::string(caption) +
         "</td><td width=\"76%\">" + std::string(cell) + "</td></tr>\n";
}

std::string Input(std::string_view name, int size, std::string_view value) {
  return "<input type=\"text\" name=\"" + std::string(name) + "\" size=\"" +
         std::to_string(size) + "\" value=\"" + Escaped(value) + "\">";
}

struct Choice {
  std::string_view value, label;
};

// Radio buttons; `current` is checked, or the first when it is none of them.
template <std::size_t N>
std::string Radios(std::string_view name, const std::array<Choice, N>& choices,
                   std::string_view current) {
  bool known = false;
  for (const Choice& c : choices) known = known || c.value == current;
  std::string out;
  for (std::size_t i = 0; i < N; ++i) {
    const bool on = known ? choices[i].value == current : i == 0;
    if (i > 0) out += " ";
    out += "<input type=\"radio\" name=\"" + std::string(name) + "\" value=\"" +
           std::string(choices[i].value) + "\"" + std::string(Checked(on)) + ">" +
           std::string(choices[i].label);
  }
  return out;
}

constexpr std::array<Choice, 2> kTitleFormats = {{{"0", "文字标题"}, {"1", "图象标题"}}};
constexpr std::array<Choice, 3> kModes = {
    {{"0", "文本方式"}, {"1", "Html方式"}, {"2", "UBB方式"}}};
// An unknown forwarding value is saved as "1", so "是" is shown for it.
constexpr std::array<Choice, 2> kForwarding = {{{"1", "是"}, {"0", "否"}}};

std::string BasicForm(const BasicSettings& s) {
  std::string out =
      "<p><font size=\"3\">当前登陆用户：" + Escaped(s.owner) + "</font></p>\n";
  out +=
      "<form method=\"POST\" action=\"admin_jiemian_check.asp\">\n"
      "<table class=\"form\" border=\"1\" width=\"100%\" bordercolorlight=\"#008000\" "
      "bordercolordark=\"#FFFFFF\" bgcolor=\"#F2F2F2\">\n";
  out += Row("留言板(文字)标题：",
             Input("titletop", 69, s.title) + std::string(kRequired) +
                 "<br><font size=\"2\">显示在留言板顶部的文字标题，2到100个字符，"
                 "可以使用html代码。<a href=\"help1.asp\" target=\"_blank\">"
                 "需要帮助请点这里。。。</a></font>");
  out += Row("留言板顶部（图象）标题：",
             Input("topimage", 59, s.title_image) +
                 "（可以不填写）<br><font size=\"2\">必须以 http:// 或 https:// 开头，"
                 "图象只能为jpg和gif图象，大小不要超过468 X 60 像素点</font>");
  out += Row("标题显示方式：", Radios("topformat", kTitleFormats, s.title_format));
  out += Row("每页显示的留言数：", Input("infolistno", 20, s.per_page) +
                                       std::string(kRequired) + "（填写数字 1 到 20）");
  out += Row("留言方式：", Radios("html", kModes, s.mode));
  out += Row(
      "留言板背景图象：",
      Input("backimage", 49, s.background) +
          "（可以不填写）<br><font size=\"2\">必须以 http:// 或 https:// 开头</font>");
  out += Row("是否每个留言都发给版主：", Radios("sendinfo", kForwarding, s.forward));
  out += Row("网站类型：", "<select name=\"nettype\" size=\"1\">" +
                               CategoryOptions(s.category) + "</select>" +
                               std::string(kRequired));
  out +=
      Row("版主网站网址：", Input("homepage", 56, s.homepage) + std::string(kRequired) +
                                "<br><font size=\"2\">网址必须以 http:// 或 https:// "
                                "开头</font>");
  return out + std::string(kFormEnd);
}

}  // namespace

// Without a login the component's notice stands alone. Once JieMian1 has
// copied the settings the page writes the form from them; anything it
// writes instead is shown in the form's place.
void JieMianPage(PageEnv& env) {
  WriteHead(env, kBasicSettings);
  Guestbook& book = env.component();
  if (book.IsUserLogin() == 1) {
    const Captured loaded = Capture(env, &Guestbook::JieMian1);
    Write(env, book.outcome().done == Guestbook::Done::kFormPrepared
                   ? BasicForm(ReadSettings(env.context().session()))
                   : loaded.body);
  }
  WriteFoot(env);
}

void JieMianBakPage(PageEnv& env) {
  FramedCall(env, kBasicSettings, &Guestbook::JieMian1_bak);
}

void JieMianCheckPage(PageEnv& env) {
  FramedCall(env, kBasicSettings, &Guestbook::JieMian1Check);
}

void JieMian2Page(PageEnv& env) {
  FramedCall(env, "留言板显示界面修改", &Guestbook::JieMian2);
}

void JieMianCheck2Page(PageEnv& env) {
  FramedCall(env, "留言板显示界面修改", &Guestbook::JieMian2Check);
}

void JieMian3Page(PageEnv& env) {
  FramedCall(env, "用户密码、电子邮件修改", &Guestbook::JieMian3);
}

// The old password is a secret guessed like the login's.
void JieMian3CheckPage(PageEnv& env) {
  GuessingCall(env, "用户密码、电子邮件修改", &Guestbook::JieMian3Check,
               env.context().session().LoggedInName());
  MailConfirmation(env);
}

}  // namespace tb::server::pages
