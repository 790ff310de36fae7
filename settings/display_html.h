// File: display_html.h — the literal pieces of the display settings form:
// the captions of the message form's entry fields and the check boxes of its
// optional parts.
#pragma once

#include <array>
#include <string_view>
#include <utility>

namespace tb::settings::display {

inline constexpr std::string_view kFormOpen =
    "<form method=\"POST\" action = \"admin_jiemian_check2.asp\">";
inline constexpr std::string_view kTableOpen =
    "  <table border=\"1\" width=\"100%\" height=\"235\" bordercolorlight=\"#008000\" "
    "bordercolordark=\"#FFFFFF\" bgcolor=\"#F5F5F5\">";
inline constexpr std::string_view kRowOpen = "    <tr>";
inline constexpr std::string_view kRowClose = "    </tr>";
inline constexpr std::string_view kWideCellOpen =
    "      <td width=\"100%\" height=\"17\" align=\"right\" colspan=\"2\">";

inline constexpr std::string_view kCaptionsHeading =
    "        <p align=\"center\"><font size=\"3\">留言板发表新留言时界面提示信息填写，"
    "<a href=\"help2.asp\" target=\"_blank\">如果需要帮助请点这里。。。</a></font></td>";

// One entry field of the message form: its column (also the form field),
// the caption cell before its entry, and the default caption its help names.
struct Caption {
  std::string_view column;
  std::string_view cell;
  std::string_view default_caption;
};

inline constexpr std::array<Caption, 6> kCaptions = {{
    {"infoname",
     "      <td width=\"24%\" height=\"17\" "
     "align=\"right\">\"姓名\"栏目，显示文字：</td>",
     "姓名"},
    {"infomail",
     "      <td width=\"24%\" height=\"17\" "
     "align=\"right\">\"邮件\"栏目，显示文字：</td>",
     "电子邮件："},
    {"infohomepage",
     "      <td width=\"24%\" height=\"17\" "
     "align=\"right\">\"主页\"栏目，显示文字：</td>",
     "主页："},
    {"infowhere",
     "      <td width=\"24%\" height=\"17\" "
     "align=\"right\">\"来自\"栏目，显示文字：</td>",
     "来自："},
    {"infooicq",
     "      <td width=\"24%\" height=\"17\" align=\"right\">\"QQ\"栏目，显示文字：</td>",
     "QQ号码："},
    {"infosubject",
     "      <td width=\"24%\" height=\"17\" "
     "align=\"right\">\"留言主题\"栏目，显示文字：</"
     "td>",
     "留言主题："},
}};

// The entry cell around the stored caption: open + field name + middle +
// caption + close.
inline constexpr std::string_view kEntryOpen =
    "      <td width=\"76%\" height=\"17\"><input type=\"text\" name=\"";
inline constexpr std::string_view kEntryMiddle = "\" size=\"65\" value='";
inline constexpr std::string_view kEntryClose = "'><br>";

// The help of the first caption, with an example of HTML in a caption.
inline constexpr std::array<std::string_view, 6> kNameHelp = {
    "        "
    "默认显示\"姓名\"，可以将\"姓名\"修改为其他提示字符或修改颜色、大小以及字体等。"
    "支持html代码，最多100个字符。<p><font face=\"宋体\">例如要显示：</font>"
    "<font color=\"#008000\" face=\"楷体_GB2312\" size=\"5\">网名",
    "        </font><font face=\"宋体\">可以输入以下html代码</font>"
    "<font color=\"#008000\" face=\"楷体_GB2312\" size=\"5\"><br>",
    "        </font><font color=\"#008000\" size=\"2\"><font COLOR=\"#0000c0\">&lt;font"
    "</font><font COLOR=\"#800080\">",
    "        color=</font>&quot;#008000&quot;<font COLOR=\"#800080\"> face=</font>"
    "&quot;楷体_GB2312&quot;<font COLOR=\"#800080\">",
    "        size=</font>&quot;３&quot;<font COLOR=\"#0000c0\">&gt;</font></font>"
    "<font color=\"#0000c0\" size=\"2\">网名&lt;</font><font color=\"#008000\" "
    "size=\"2\">/font&gt;</font></p>",
    "      </td>",
};

// The help of every other caption: open + default caption + close.
inline constexpr std::string_view kHelpOpen = "        默认显示\"";
inline constexpr std::string_view kHelpClose = "\"，支持html代码，最多100个字符。</td>";

inline constexpr std::string_view kSpacerCell =
    "      <td width=\"100%\" height=\"17\" align=\"right\" colspan=\"2\">　</td>";

inline constexpr std::string_view kOptionsHeading =
    "        <p align=\"center\"><font "
    "size=\"3\">在留言板中，发表新留言的时候是否出现以下内容，"
    "请选择，<a href=\"help3.asp\" "
    "target=\"_blank\">如果需要帮助请点这里。。。</a></font></td>";
inline constexpr std::string_view kOptionsCaption =
    "      <td width=\"24%\" height=\"17\" "
    "align=\"right\">留言板发表留言的界面配置：</td>";
inline constexpr std::string_view kOptionsCellOpen =
    "      <td width=\"76%\" height=\"17\">";
inline constexpr std::string_view kInnerTableOpen = "<table border=\"1\" width=\"100%\">";
inline constexpr std::string_view kInnerTableClose = "</table>";
inline constexpr std::string_view kOptionsCellClose = "</td>";
inline constexpr std::string_view kOptionsRowClose = "</tr>";

// The check boxes C1 to C12, two to an inner row: the caption cell and the
// blanks that begin the box's own cell.
struct Box {
  std::string_view cell;
  std::string_view indent;
};

inline constexpr std::string_view kTwelveBlanks = "            ";
inline constexpr std::array<Box, 12> kBoxes = {{
    {"            <td width=\"25%\" align=\"right\">电子邮件：　</td>", kTwelveBlanks},
    {"<td width=\"25%\" align=\"right\">主页：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">来自国家和省选择：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">来自地方：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">QQ号码&nbsp;：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">头像选择：　</td>", ""},
    {"            <td width=\"25%\" align=\"right\">字体选择：　</td>", kTwelveBlanks},
    {"<td width=\"25%\" align=\"right\">字体颜色选择：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">字体大小&nbsp;：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">转发邮件：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">悄悄话：　</td>", ""},
    {"<td width=\"25%\" align=\"right\">斑竹确认：　</td>", ""},
}};

// The box's own cell: indent + open + box number + middle, then "checked"
// when the option is on, then the close.
inline constexpr std::string_view kBoxOpen =
    "<td width=\"25%\"><input type=\"checkbox\" name=\"C";
inline constexpr std::string_view kBoxMiddle = "\" value=\"1\" ";
inline constexpr std::string_view kBoxChecked = "checked";
inline constexpr std::string_view kBoxClose = "></td>";

// The tags that open and close each of the six inner rows.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kInnerRows =
    {{
        {"<tr>", "          </tr>"},
        {"          <tr>", "</tr>"},
        {"<tr>", "</tr>"},
        {"<tr>", "</tr>"},
        {"<tr>", "</tr>"},
        {"<tr>", "</tr>"},
    }};

inline constexpr std::array<std::string_view, 5> kFormClose = {
    "</table>",
    "  <p align=\"center\"><input type=\"submit\" value=\"修改我的留言板信息\" "
    "name=\"B1\">&nbsp;&nbsp;",
    "  <input type=\"reset\" value=\"全部重写\" name=\"B2\">",
    "  <font size=\"3\">带<font color=\"#FF0000\"> **</font> 号的必须填写</font></p>",
    "</form>",
};

}  // namespace tb::settings::display
