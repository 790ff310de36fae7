// File: show_book_html.h — the literal pieces of the guestbook page, in the
// order the page writes them, and the helper that writes a run of pieces.
//
// The page has no line breaks: pieces are joined exactly as they stand, so
// a long piece is wrapped here by adjacent literals, which adds nothing.
#pragma once

#include <array>
#include <initializer_list>
#include <string_view>

#include "host/page.h"

namespace tb::board {

// Writes pieces one after another.
// Example: WriteAll(out, {"<tr>", "</tr>"}) writes "<tr></tr>".
inline void WriteAll(host::Response& out,
                     std::initializer_list<std::string_view> pieces) {
  for (auto piece : pieces) out.Write(piece);
}
template <std::size_t N>
void WriteAll(host::Response& out, const std::array<std::string_view, N>& pieces) {
  for (auto piece : pieces) out.Write(piece);
}

namespace show {

// Refusals; each ends the page.
inline constexpr std::string_view kBadName = "用户名错误！";
inline constexpr std::string_view kBadJsfs = "jsfs:参数错误！";
inline constexpr std::string_view kBadShowHtml = "showhtml:参数错误！";
inline constexpr std::string_view kBadPage = "page:参数错误！";
inline constexpr std::string_view kBadSearch = "search:参数错误！";
inline constexpr std::string_view kNoSuchBook = "没有这个用户";
inline constexpr std::string_view kNoDeleteIds =
    "<br>lydelno:参数错误,没有给出帖子的编号";
inline constexpr std::string_view kBadDeleteIds = "<br>lydelno:参数错误！";
inline constexpr std::string_view kDeleteIdNotFound =
    "<br>将要删除的帖子编号在留言板中没有找到";
inline constexpr std::string_view kDeleteRefused =
    "删除留言时发生错误，可那是超时或没有权限，请重新登陆！";

// The head: title, home page, site, post, manage and mail buttons.
inline constexpr auto kHeadOpen = std::to_array<std::string_view>({
    "<table border=\"0\" width=\"761\">",
    "  <tr>",
    "    <td width=\"74%\">",
    "      <p align=\"center\"><font color=\"#008080\" size=\"6\">",
});
inline constexpr auto kHomepageCell = std::to_array<std::string_view>({
    "</td>",
    "    <td width=\"7%\">",
});
inline constexpr std::string_view kHomepageIcon =
    "<img border=\"0\" src=\"hpghomepage2.gif\">";
inline constexpr auto kSiteCell = std::to_array<std::string_view>({
    "    </td>",
    "    <td width=\"7%\"><a href=\"index.asp\" target=\"_blank\">"
    "<img border=\"0\" src=\"mfsq.GIF\" width=\"64\" height=\"75\"></a></td>",
});
inline constexpr std::string_view kManageCell =
    "    <td width=\"7%\"><a href=\"admin.asp\" target=\"_blank\">"
    "<img border=\"0\" height=\"54\" src=\"hpgtumanage.gif\"></a></td>";
inline constexpr auto kHeadClose =
    std::to_array<std::string_view>({"  </tr>", "</table>"});

// The search form; its action (the guestbook's page) goes between the parts.
inline constexpr auto kSearchOpen = std::to_array<std::string_view>({
    "  <table border=\"0\" width=\"761\" height=\"1\">",
    "    <tr>",
    "      <td width=\"81%\" height=\"1\">",
});
inline constexpr auto kSearchClose = std::to_array<std::string_view>({
    "  <p align=\"right\">检索：<select size=\"1\" name=\"jsfs\">",
    "    <option selected value=\"1\">主&nbsp;&nbsp; 题</option>",
    "    <option value=\"2\">留言内容</option>",
    "    <option value=\"3\">作&nbsp;&nbsp; 者</option>",
    "<option value=\"4\">电子邮件</option>",
    "  </select><input type=\"text\" name=\"search\" size=\"20\">",
    "<input type=\"submit\" value=\"检索\" name=\"B1\"></p>  </form>",
    "      </td>",
    "    </tr>",
    "  </table>",
    "<p align=\"center\">",
});

// A guestbook without messages (or without matches).
inline constexpr std::string_view kNothing = "<img border=\"0\" src=\"nothing.gif\">";

// The paging bar.
inline constexpr auto kBarOpen = std::to_array<std::string_view>({
    "<table border=\"1\" width=\"761\" bordercolorlight=\"#008000\" "
    "bordercolordark=\"#F7F7F7\">",
    "  <tr>",
    "    <td width=\"25%\" align=\"center\">",
    "    <font size=\"3\">",
});
inline constexpr std::string_view kBarCell = "    <td width=\"12%\" align=\"center\">";
inline constexpr std::string_view kBarLastCell =
    "    <td width=\"13%\" align=\"center\">";
inline constexpr std::string_view kBarFont = "    <font size=\"3\">";
inline constexpr std::string_view kPrevText = "上一页";
inline constexpr auto kPrevClose =
    std::to_array<std::string_view>({"</font>", "    </td>"});
inline constexpr auto kNextOpen = std::to_array<std::string_view>(
    {"    <td width=\"12%\" align=\"center\">", "<font size=\"3\">"});
inline constexpr auto kNextClose = std::to_array<std::string_view>({"</font>", "</td>"});
inline constexpr auto kBarClose =
    std::to_array<std::string_view>({"  </tr>", "</table>"});

// The messages' form (its action ends with the guestbook name and
// "&del=1") and the owner's delete button.
inline constexpr std::string_view kMessagesOpen =
    "<form method=\"POST\"  onsubmit = \"return del_check()\" name = \"myform\" "
    "action=\"show.asp?name=";
inline constexpr std::string_view kDeleteButton =
    "  <p><input type=\"submit\" value=\"删除所选择的留言\" name=\"myform\"></p>";
inline constexpr auto kMessagesClose =
    std::to_array<std::string_view>({"</form>", " <p>　</p>"});

// The list of every page.
inline constexpr std::string_view kPageLinksCaption =
    "<font color=\"#008080\">留言板其他页面：</font>";

}  // namespace show
}  // namespace tb::board
