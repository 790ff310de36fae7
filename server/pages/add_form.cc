// The message form page "add.asp": the component prepares the visit (form
// key, posted flag, the guestbook's form settings in the session under
// keys::message_form) and writes the avatar chooser; the page writes the
// form around it.
//
// The owner's option string chooses the optional rows, one character each:
// 1 e-mail, 2 home page, 3 country and province lists, 4 county, 5 QQ,
// 6 avatar, 7 typeface, 8 font colour, 9 font size, 10 reply mail,
// 11 private message, 12 the owner's confirmation. The guestbook's mode
// chooses the formats offered: "1" text or HTML, "2" text or UBB, anything
// else text only. The poster's fields are pre-filled from the cookies the
// acceptance sets when the poster asks to be remembered.
#include <algorithm>
#include <string>

#include "board/legacy_form_html.h"
#include "check/html_filter.h"
#include "check/text.h"
#include "component/keys.h"
#include "host/page.h"
#include "server/pages/frame.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

using enum keys::FormRow;
namespace setting = keys::message_form;
namespace remembered = keys::remembered;

constexpr std::string_view kDefaultFont = "宋体";
constexpr std::string_view kDefaultColour = "#000000";
constexpr std::string_view kDefaultSize = "3";
constexpr std::array<std::string_view, 5> kFontSizes = {"2", "3", "4", "5", "6"};

constexpr std::string_view kRequired = " <font color=\"#FF0000\">**</font>";
constexpr std::string_view kUbbHelp =
    "<br><font size=\"2\" color=\"#666666\">UBB代码：[b]粗体[/b]、[i]斜体[/i]、"
    "[u]下划线[/u]、[color=red]颜色[/color]、[size=4]大小[/size]、"
    "[url]www.example.com[/url]、[email]名字@example.com[/email]、"
    "[img]图片网址[/img]、[center]居中[/center]、[fly]飞行[/fly]、[move]移动[/move]；"
    "直接写出的 http:// 网址自动成为链接。</font>";
constexpr std::string_view kFormEnd =
    "<p align=\"center\"><input type=\"submit\" value=\"留   言\" name=\"B1\">&nbsp; "
    "<input type=\"reset\" value=\"全部重写\" name=\"B2\"> "
    "（带<font color=\"#FF0000\">**</font>号的栏目必须填写）</p>\n</form>\n";

// What the form is built from: the session values Add left, the remembered
// cookies and the reply fields of the query.
struct FormData {
  std::string name, key, style, mode;
  std::string title, title_image, title_format;
  std::string cap_name, cap_mail, cap_homepage, cap_where, cap_oicq, cap_subject;
  std::string poster, email, homepage, country, province, county, oicq;
  bool remember = false;
  bool reply = false;
  std::string reply_id, reply_subject;
};

FormData ReadForm(PageEnv& env) {
  const host::Request& request = env.context().request();
  const host::Session& session = env.context().session();
  FormData f;
  f.name = std::string(check::Trim(request.Query("name")));
  auto stored = [&](std::string_view suffix, std::string_view fallback = {}) {
    std::string value = session.Get(keys::BookKey(f.name, suffix)).Text();
    return value.empty() ? std::string(fallback) : value;
  };
  f.key = session.Get(keys::kFormKey).Text();
  f.style = stored(setting::kRows);
  f.mode = stored(setting::kMode);
  f.title = stored(setting::kTitle);
  f.title_image = stored(setting::kTitleImage);
  f.title_format = stored(setting::kTitleFormat);
  // The owner's captions may hold markup, but none that runs.
  auto caption = [&](std::string_view suffix, std::string_view fallback) {
    return check::FilterHtml(stored(suffix, fallback));
  };
  f.cap_name = caption(setting::kNameCaption, "姓名：");
  f.cap_mail = caption(setting::kMailCaption, "电子邮件：");
  f.cap_homepage = caption(setting::kHomepageCaption, "主页：");
  f.cap_where = caption(setting::kWhereCaption, "来自：");
  f.cap_oicq = caption(setting::kOicqCaption, "QQ号码：");
  f.cap_subject = caption(setting::kSubjectCaption, "留言主题：");

  f.poster = request.Cookie(remembered::kName);
  f.email = request.Cookie(remembered::kEmail);
  f.homepage = request.Cookie(remembered::kHomepage);
  if (check::Length(f.homepage) < remembered::kHomepageMinLength) f.homepage.clear();
  f.country = request.Cookie(remembered::kCountry);
  f.province = request.Cookie(remembered::kProvince);
  f.county = request.Cookie(remembered::kCounty);
  f.oicq = request.Cookie(remembered::kOicq);
  f.remember = request.Cookie(remembered::kAsked) == "1";

  // A reply needs the answered message's number; without one the post is a
  // new message.
  std::string id(check::Trim(request.Query("replyid")));
  f.reply = check::Trim(request.Query("reply")) == "1" && !id.empty() &&
            std::all_of(id.begin(), id.end(), host::IsDigit);
  if (f.reply) {
    f.reply_id = id;
    f.reply_subject = request.Query("replysubject");
  }
  return f;
}

bool Offered(const FormData& f, keys::FormRow row) { return keys::Offers(f.style, row); }

std::string Row(std::string_view caption, std::string_view cell) {
  return "<tr><td width=\"23%\" align=\"right\">" + std::string(caption) +
         "&nbsp;</td><td width=\"77%\">" + std::string(cell) + "</td></tr>\n";
}

std::string TextInput(std::string_view name, int size, std::string_view value) {
  return "<input type=\"text\" name=\"" + std::string(name) + "\" size=\"" +
         std::to_string(size) + "\" value=\"" + Escaped(value) + "\">";
}

// A list with its prompt first; the remembered value is selected, and offered
// after the prompt when the list lacks it. Repeated entries are listed once.
template <std::size_t N>
std::string Select(std::string_view name, std::string_view prompt,
                   const std::array<std::string_view, N>& entries,
                   std::string_view current) {
  std::string out = "<select name=\"" + std::string(name) + "\" size=\"1\"><option>" +
                    std::string(prompt) + "</option>";
  const auto listed = std::find(entries.begin(), entries.end(), current);
  if (listed == entries.end() && !current.empty())
    out += "<option selected>" + Escaped(current) + "</option>";
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (std::find(entries.begin(), it, *it) != it) continue;
    out += "<option" + std::string(Selected(it == listed)) + ">" + std::string(*it) +
           "</option>";
  }
  return out + "</select>";
}

std::string Title(PageEnv& env, const FormData& f) {
  if (f.title_format == "1" && !f.title_image.empty())
    return "<p align=\"center\"><img border=\"0\" src=\"" + Escaped(f.title_image) +
           "\"></p>\n";
  std::string title = f.title;
  env.component().MyDelThisWord(title);
  return "<p align=\"center\"><font color=\"#FF0000\" size=\"6\">" +
         check::FilterHtml(title) + "</font></p>\n";
}

// Everything before the avatar chooser: title, back link, the form's start
// and the poster's fields up to the subject.
std::string FormHead(PageEnv& env, const FormData& f) {
  const host::Server& server = env.context().server();
  const std::string book = server.UrlEncode(f.name);
  std::string out = Title(env, f);
  out += "<p align=\"right\"><a href=\"show.asp?name=" + book + "\">返回留言板</a></p>\n";
  out +=
      "<form name=\"lyadd\" onsubmit=\"return add_check()\" method=\"POST\" "
      "action=\"add_check.asp?name=" +
      book + "&key2=" + server.UrlEncode(f.key) + "&reply=" + (f.reply ? "1" : "0") +
      "&replyid=" + f.reply_id + "\">\n";
  out +=
      "<table border=\"1\" width=\"100%\" bordercolorlight=\"#C0C0C0\" "
      "bordercolordark=\"#FFFFFF\" bgcolor=\"#F7F7F7\">\n";
  out += Row(f.cap_name, TextInput("guestname", 39, f.poster) + std::string(kRequired));
  if (Offered(f, kEmail)) out += Row(f.cap_mail, TextInput("email", 39, f.email));
  if (Offered(f, kHomepage))
    out += Row(f.cap_homepage,
               "<input type=\"text\" name=\"homepage\" size=\"39\" value=\"" +
                   Escaped(f.homepage) + "\" placeholder=\"http://\">");
  if (Offered(f, kLocation) || Offered(f, kCounty)) {
    std::string cell;
    if (Offered(f, kLocation))
      cell +=
          Select("guo", setting::kNoCountry, board::legacy::kCountries, f.country) +
          Select("sheng", setting::kNoProvince, board::legacy::kProvinces, f.province);
    if (Offered(f, kCounty)) cell += " " + TextInput("xian", 11, f.county);
    out += Row(f.cap_where, cell);
  }
  if (Offered(f, kOicq)) out += Row(f.cap_oicq, TextInput("oicq", 39, f.oicq));
  out += Row(f.cap_subject,
             TextInput("subject", 39, f.reply_subject) + std::string(kRequired));
  return out;
}

std::string FormatCell(std::string_view mode) {
  if (mode == "1")
    return "<input type=\"radio\" name=\"html\" value=\"0\" checked>文本方式 "
           "<input type=\"radio\" name=\"html\" value=\"1\">Html方式";
  if (mode == "2")
    return "<input type=\"radio\" name=\"html\" value=\"0\">文本方式 "
           "<input type=\"radio\" name=\"html\" value=\"2\" checked>UBB方式" +
           std::string(kUbbHelp);
  return "<input type=\"hidden\" name=\"html\" value=\"0\">文本方式";
}

std::string FontCell(const FormData& f) {
  std::string out;
  if (Offered(f, kTypeface)) {
    out += "字体<select size=\"1\" name=\"font\"><option selected>" +
           std::string(kDefaultFont) + "</option>";
    for (std::string_view font : board::legacy::kFonts)
      out += "<option>" + std::string(font) + "</option>";
    out += "</select>&nbsp; ";
  }
  if (Offered(f, kFontColour)) {
    out += "颜色<select size=\"1\" name=\"fontcolor\">";
    for (const auto& c : board::legacy::kFontColors)
      out += "<option value=\"" + std::string(c.value) +
             "\" style=\"color:" + std::string(c.value) + "\"" +
             std::string(Selected(c.value == kDefaultColour)) + ">" +
             std::string(c.label) + "</option>";
    out += "</select>&nbsp; ";
  }
  if (Offered(f, kFontSize)) {
    out += "大小<select size=\"1\" name=\"fontsize\">";
    for (std::string_view size : kFontSizes)
      out += "<option" + std::string(Selected(size == kDefaultSize)) + ">" +
             std::string(size) + "</option>";
    out += "</select>";
  }
  return out;
}

std::string OptionsCell(const FormData& f) {
  std::string out;
  if (Offered(f, kReplyMail))
    out +=
        "有人回复时转发到我的邮箱：<input type=\"radio\" name=\"replymail\" value=\"1\" "
        "checked>是 <input type=\"radio\" name=\"replymail\" value=\"0\">否&nbsp;&nbsp; ";
  if (Offered(f, kPrivate))
    out +=
        "<input type=\"checkbox\" name=\"priviteword\" value=\"1\">悄悄话"
        "（只有板主可以看到）&nbsp;&nbsp; ";
  return out + "<input type=\"checkbox\" name=\"savemyinfo\" value=\"1\"" +
         std::string(Checked(f.remember)) + ">记住我的资料";
}

std::string Hidden(std::string_view name, std::string_view value) {
  return "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" +
         std::string(value) + "\">\n";
}

// Everything after the avatar chooser: format, font, message, options, the
// owner's confirmation, and the defaults of the fields not offered.
std::string FormTail(PageEnv& env, const FormData& f) {
  std::string out = Row("留言方式：", FormatCell(f.mode));
  if (Offered(f, kTypeface) || Offered(f, kFontColour) || Offered(f, kFontSize))
    out += Row("字体：", FontCell(f));
  std::string message = "<textarea name=\"message\" rows=\"10\" cols=\"70\"></textarea>";
  if (const auto limit = env.component().LybMsgLen().Whole(); limit && *limit > 0)
    message += "<br><font size=\"2\">最多 " + std::to_string(*limit) + " 个字</font>";
  out += Row("留言内容：", message);
  out += Row("选项：", OptionsCell(f));
  if (Offered(f, kOwner))
    out += Row("板主确认：", "板主（" + Escaped(f.name) +
                                 "）发表或回复时填写密码：<input type=\"password\" "
                                 "name=\"password\" size=\"10\"> "
                                 "<font size=\"2\">（仅板主才填写）</font>");
  out += "</table>\n";
  if (!Offered(f, kTypeface)) out += Hidden("font", kDefaultFont);
  if (!Offered(f, kFontColour)) out += Hidden("fontcolor", kDefaultColour);
  if (!Offered(f, kFontSize)) out += Hidden("fontsize", kDefaultSize);
  if (!Offered(f, kReplyMail)) out += Hidden("replymail", "0");
  return out + std::string(kFormEnd);
}

}  // namespace

void AddPage(PageEnv& env) {
  const Captured prepared = Capture(env, &Guestbook::Add);
  if (prepared.redirected) return;
  WriteHead(env, "发表留言", kAddCheckScript);
  // Anything Add writes instead of preparing the form is shown in its place.
  if (env.component().outcome().done != Guestbook::Done::kFormPrepared) {
    Write(env, prepared.body);
    return WriteFoot(env);
  }
  const FormData form = ReadForm(env);
  Write(env, FormHead(env, form));
  if (Offered(form, kAvatar)) {
    Write(env,
          "<tr><td width=\"23%\" align=\"right\">头像：&nbsp;</td><td width=\"77%\">");
    env.component().Image1();
    Write(env, "</td></tr>\n");
  }
  Write(env, FormTail(env, form));
  WriteFoot(env);
}

}  // namespace tb::server::pages
