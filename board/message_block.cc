#include "board/message_block.h"

#include <array>

#include "board/show_book_html.h"
#include "check/convert.h"
#include "check/html_filter.h"
#include "check/text.h"
#include "check/ubb.h"
#include "check/word_filter.h"
#include "component/keys.h"

namespace tb::board {
namespace {

constexpr std::string_view kBlockOpen =
    "<table border=\"0\" width=\"761\" cellspacing=\"0\" cellpadding=\"0\">";
constexpr std::string_view kReplyIndent =
    "<td width=\"3%\" rowspan=\"3\" align=\"center\">"
    "<img border=\"0\" src=\"white.GIF\" width=\"30\" height=\"6\"></td>";
constexpr std::string_view kAvatarCell =
    "<td width=\"6%\" rowspan=\"2\" align=\"center\" valign=\"top\" bgcolor=\"#F7F7F7\">";
constexpr std::string_view kTitleCell = "    <td width=\"59%\" bgcolor=\"#F8F7F9\">";
constexpr std::string_view kDeleteCaption = "    <font size=\"3\">删除这个留言</font>";
constexpr std::string_view kOwnerMark =
    "<font size= \"3\" color=\"#FF0000\">★斑竹发表★</font>&nbsp;&nbsp;";
constexpr std::string_view kSubjectOpen = "<font size=\"3\" color=\"#FF0000\">";
constexpr std::string_view kReplyIcon =
    "\"><font size=\"3\"><img border=\"0\" src=\"pic2/replay.gif\">回复</font></a>";
constexpr std::string_view kContactCell = "<td width=\"59%\" bgcolor=\"#F8F7F9\">";
constexpr auto kTextRowOpen = std::to_array<std::string_view>({
    "    </td>",
    "</tr>",
    "<tr>",
    "    <td width=\"6%\" align=\"center\" valign=\"top\" bgcolor=\"#FEFEFC\"></td>",
    "    <td width=\"59%\" bgcolor=\"#FEFEFC\">",
    "    <hr noshade size=\"1\" color=\"#008000\">",
});
constexpr auto kBlockClose = std::to_array<std::string_view>({
    "    </td>",
    "  </tr>",
    "<tr>",
    "  </tr>",
    "</table>",
    "<p>　</p>",
});
constexpr std::string_view kPrivate = "悄悄话。。。";

// The contact details are shown only when they hold more than a token.
constexpr std::size_t kContactMinLength = 4;
// The subject in the title line is cut; the reply link carries it whole.
constexpr std::size_t kSubjectShown = 20;

// Display modes of a message body.
constexpr std::string_view kPlainText = "0";
constexpr std::string_view kHtml = "1";
constexpr std::string_view kUbb = "2";

bool Shown(std::string_view contact) {
  return check::Length(contact) >= kContactMinLength;
}

// The body as the reader sees it, by display mode; an unknown mode shows
// nothing. Markup the poster wrote or the mark-up produced is kept, but none
// that runs.
std::string Body(std::string_view mode, std::string_view text,
                 std::string_view show_html) {
  if (mode == kPlainText) return check::HtmlText(text);
  if (mode == kHtml) return show_html == "0" ? HtmlAsText(text) : check::FilterHtml(text);
  if (mode == kUbb) return check::FilterHtml(check::UbbCode(text));
  return {};
}

}  // namespace

Viewer ViewerOf(const host::Session& session, std::string_view book_name) {
  Viewer viewer;
  viewer.logged_in = session.Get(keys::kLog).Text() == "yes";
  viewer.owner = viewer.logged_in &&
                 check::EqualsIgnoreCase(session.Get(keys::kName).Text(), book_name);
  viewer.superuser = session.Get(keys::kAdminLog).Text() == "yes";
  return viewer;
}

std::string HtmlAsText(std::string_view text) {
  std::string out = check::ReplaceAll(text, "<", "&lt;");
  out = check::ReplaceAll(out, ">", "&gt;");
  return check::ReplaceAll(out, "\r", "<br>");
}

void WriteMessageBlock(const host::Server& server, host::Response& out,
                       data::Recordset& row, const BlockPage& page) {
  const std::string id = row["id"].Text();
  const std::string mode = row["html"].Text();
  const std::string email = row["email"].Text();
  const std::string subject = check::MaskWords(row["subject"].Text(), page.masked_words);

  WriteAll(out, {kBlockOpen, "<tr>"});
  if (row["newinfo"].Text() == "1") out.Write(kReplyIndent);
  out.Write(kAvatarCell);
  if (const Value avatar = row["touxiang"]; avatar.Number().value_or(0) >= 1)
    out.Write("<img border=\"0\" src=\"pic/" + avatar.Text() + ".gif\">");
  WriteAll(out, {"</td>", kTitleCell});

  // Title line: delete box, number, owner's mark, subject, reply link.
  if (page.viewer.logged_in) {
    out.Write(kDeleteCaption);
    out.Write("<input type=\"checkbox\" name=\"lydelno\" value=\"" + id +
              "\">&nbsp;&nbsp;");
  }
  out.Write("<font size = \"3\">第" + row["infono"].Text() + "条留言</font>&nbsp;&nbsp;");
  if (row["whoinfo"].Text() == "1") out.Write(kOwnerMark);
  WriteAll(out, {kSubjectOpen, check::Left(subject, kSubjectShown), "</font>"});
  out.Write("&nbsp;&nbsp;<a href=\"add.asp?replysubject=" +
            server.UrlEncode("回复：" + subject) +
            "&name=" + std::string(page.book_name) +
            "&replyemail=" + server.UrlEncode(email) + "&reply=" + "1" +
            "&replyid=" + id + "&replywithemail=" + row["replymail"].Text());
  out.Write(kReplyIcon);
  WriteAll(out, {"</td>", "</tr>", "<tr>", kContactCell});

  // Contact line and origin line.
  if (Shown(email)) {
    out.Write("<img border=\"0\" src=\"pic2/mail.gif\">邮件：<a href=\"mailto:" +
              check::EscapeHtml(email) + "\">" + check::EscapeHtml(email) + "</a>");
  }
  if (const std::string homepage = row["homepage"].Text(); Shown(homepage)) {
    out.Write("&nbsp; <img border=\"0\" src=\"pic2/home.gif\">主页：<a href=\"" +
              check::EscapeHtml(homepage) + "\" target=\"_blank\">" +
              check::EscapeHtml(homepage) + "</a>");
  }
  if (const std::string oicq = row["oicq"].Text(); Shown(oicq))
    out.Write("&nbsp;<img border=\"0\" src=\"pic2/qq.gif\">ＱＱ：" + oicq);
  out.Write("    <br>");
  out.Write("来自" + row["hailfrom"].Text() + "(" + check::MaskIp(row["ip"].Text(), 2) +
            ")的" + row["guestname"].Text() + "在" +
            check::FormatTime(row["regtime"].Text(), 1) + "留言道：");

  // The text, in its own font when it is plain text.
  WriteAll(out, kTextRowOpen);
  if (mode == kPlainText) {
    out.Write("<font face=" + row["font"].Text() + " size=" + row["fontsize"].Text() +
              " color=" + row["fontcolor"].Text() + ">");
  }
  if (row["priviteword"].Text() == "0" || page.viewer.SeesPrivate()) {
    out.Write(Body(mode, check::MaskWords(row["message"].Text(), page.masked_words),
                   page.show_html));
  } else {
    out.Write(kPrivate);
  }
  if (mode == kPlainText) out.Write("</font>");
  WriteAll(out, kBlockClose);
}

}  // namespace tb::board
