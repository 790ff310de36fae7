// File: legacy_basic_html.h — the literal pieces of the basic settings form
// that JieMian1_bak writes itself, and the site categories it offers.
#pragma once

#include <array>
#include <string_view>

namespace tb::settings::legacy {

inline constexpr std::string_view kFormOpen =
    "<form method=\"POST\" action = \"admin_jiemian_check.asp\">";
inline constexpr std::string_view kTableOpen =
    "  <table border=\"1\" width=\"100%\" bordercolorlight=\"#008000\" "
    "bordercolordark=\"#FFFFFF\" bgcolor=\"#F2F2F2\">";
inline constexpr std::string_view kRowOpen = "    <tr>";
inline constexpr std::string_view kRowClose = "    </tr>";

// Title text row: caption; the entry around the stored title (in single
// quotes); the help.
inline constexpr std::string_view kTitleCaption =
    "      <td width=\"24%\" height=\"40\" align=\"right\">留言板(文字)标题：</td>";
inline constexpr std::string_view kTitleEntryOpen =
    "      <td width=\"76%\" height=\"40\"><input type=\"text\" name=\"titletop\" "
    "size=\"69\" "
    "value='";
inline constexpr std::string_view kTitleEntryClose =
    "'><font color=\"#FF0000\">**</font><br>";
inline constexpr std::array<std::string_view, 8> kTitleHelp = {
    "        <font size=\"3\">显示在留言板顶部的文字标题，最多可以有250字符。"
    "<a href=\"help1.asp\" target=\"_blank\">需要帮助请点这里。。。</a></font><br>",
    "        "
    "可以为以下html代码，（建议从FrontPage里编辑好后，再将代码复制到上面的文本输入框中）"
    "注意：不支持java代码。",
    "        <p><font face=\"宋体\">例如要显示：</font><font color=\"#008000\" "
    "face=\"宋体\" "
    "size=\"3\">DIY动态网页",
    "        </font><font face=\"宋体\">可以输入以下html代码</font><font "
    "color=\"#008000\" "
    "face=\"宋体\" size=\"3\"><br>",
    "        </font><font color=\"#008000\"><font COLOR=\"#0000c0\">&lt;font</font>"
    "<font COLOR=\"#800080\">",
    "        color=</font>&quot;#008000&quot;<font COLOR=\"#800080\"> face=</font>"
    "&quot;楷体_GB2312&quot;<font COLOR=\"#800080\">",
    "        size=</font>&quot;5&quot;<font COLOR=\"#0000c0\">&gt;</font>DIY动态网页"
    "<font COLOR=\"#0000c0\">&lt;/font&gt;</font></font></p>",
    "      </td>",
};

// Title image row.
inline constexpr std::string_view kTopImageCaption =
    "      <td width=\"24%\" height=\"23\" align=\"right\">留言板顶部（图象）标题：</td>";
inline constexpr std::string_view kTopImageEntryOpen =
    "      <td width=\"76%\" height=\"23\"><input type=\"text\" name=\"topimage\" "
    "size=\"59\" "
    "value=\"";
inline constexpr std::string_view kTopImageEntryClose = "\">";
inline constexpr std::array<std::string_view, 5> kTopImageHelp = {
    "        （可以不填写）<br>",
    "        注意：必须以&nbsp;<font color=\"#FF0000\"> http://&nbsp;</font>",
    "        开头&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; "
    "图象只能为：jpg和gif图象<br>",
    "        图象大小不要超过468 X 60 像素点<br>",
    "        例如： <font "
    "color=\"#0000FF\">http://www.example.com/images/title.jpg</font></td>",
};

// Choice of the heading: the text title is always selected.
inline constexpr std::array<std::string_view, 5> kTopFormatCells = {
    "      <td width=\"100%\" height=\"23\" align=\"right\" colspan=\"2\">",
    "        <p "
    "align=\"center\">以上提供了二种在留言板顶部显示标题的方式，&nbsp;我选择:<br>",
    "        &nbsp; <input type=\"radio\" name=\"topformat\" value=\"0\" "
    "checked>留言板(文字)标题",
    "        <input type=\"radio\" name=\"topformat\" "
    "value=\"1\">留言板顶部（图象）标题&nbsp;"
    "<font color=\"#FF0000\">",
    "        </font>&nbsp;&nbsp; <font color=\"#FF0000\">**</font></td>",
};

inline constexpr std::string_view kSpacerCell =
    "      <td width=\"100%\" height=\"23\" align=\"right\" colspan=\"2\">　</td>";

// Messages-per-page row.
inline constexpr std::string_view kListNoCaption =
    "      <td width=\"24%\" height=\"23\" align=\"right\">每页显示的留言数：</td>";
inline constexpr std::string_view kListNoEntryOpen =
    "      <td width=\"76%\" height=\"23\"><input type=\"text\" name=\"infolistno\" "
    "size=\"20\" value=\"";
inline constexpr std::string_view kListNoEntryClose = "\"> <font color=\"#FF0000\">**";
inline constexpr std::string_view kListNoHelp =
    "        </font>（填写数字 1 到 20）&nbsp; 默认为：10个留言。</td>";

// HTML row: "no" is always selected, and only "no" and "yes" are offered.
inline constexpr std::array<std::string_view, 4> kHtmlCells = {
    "      <td width=\"24%\" height=\"18\" align=\"right\">是否支持html：</td>",
    "      <td width=\"76%\" height=\"18\"><input type=\"radio\" value=\"0\" checked "
    "name=\"html\">否&nbsp;",
    "        <input type=\"radio\" name=\"html\" value=\"1\">是&nbsp;&nbsp;&nbsp;&nbsp;"
    "&nbsp;&nbsp;",
    "        默认：不支持html语言。</td>",
};

// Background row.
inline constexpr std::string_view kBackImageCaption =
    "      <td width=\"24%\" height=\"38\" align=\"right\">留言板背景图象：</td>";
inline constexpr std::string_view kBackImageCellOpen =
    "      <td width=\"76%\" height=\"38\">";
inline constexpr std::string_view kBackImageEntryOpen =
    "<input type=\"text\" name=\"backimage\" size=\"49\" value=\"";
inline constexpr std::string_view kBackImageEntryClose = "\">(可以不填写)";
inline constexpr std::array<std::string_view, 5> kBackImageHelp = {
    "<br>例如：<font color=\"#0000FF\">http://www.example.com/images/back.gif</font>",
    "        <br>",
    "        注意：必须以&nbsp;<font color=\"#FF0000\"> http://&nbsp;</font>",
    "        开头&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;",
    "        图象只能为：jpg和gif图象</td>",
};

// Forwarding row: "yes" is always selected.
inline constexpr std::array<std::string_view, 3> kSendInfoCells = {
    "      <td width=\"24%\" height=\"17\" align=\"right\">是否每个留言都发给版主：</td>",
    "      <td width=\"76%\" height=\"17\"><input type=\"radio\" name=\"sendinfo\" "
    "value=\"1\" "
    "checked>是&nbsp;",
    "        <input type=\"radio\" name=\"sendinfo\" value=\"0\">否&nbsp;</td>",
};

// Category row: the stored category first and selected, then every category.
inline constexpr std::string_view kNetTypeCaption =
    "      <td width=\"24%\" height=\"17\" align=\"right\">网站类型：</td>";
inline constexpr std::string_view kNetTypeCellOpen =
    "      <td width=\"76%\" height=\"17\">";
inline constexpr std::string_view kSelectOpen = "<select name=\"nettype\" size=\"1\">";
inline constexpr std::string_view kSelectClose = "</select>";
inline constexpr std::string_view kRequiredMark = "<font color=\"#FF0000\">**</font>";
inline constexpr std::string_view kCellClose = "</td>";

// The site categories, in the order offered.
inline constexpr std::array<std::string_view, 18> kCategories = {
    "综合门户", "电脑网络", "电信港湾", "工商经济", "国家地区", "金融投资",
    "科学教育", "女性天地", "情感交流", "生活资讯", "体育健身", "卫生保健",
    "文化艺术", "新闻媒体", "休闲娱乐", "游戏世界", "政府机关", "其他类别",
};

// Home page row.
inline constexpr std::string_view kHomepageCaption =
    "      <td width=\"24%\" height=\"17\" align=\"right\">版主网站网址：</td>";
inline constexpr std::string_view kHomepageCellOpen =
    "      <td width=\"76%\" height=\"17\">";
inline constexpr std::string_view kHomepageEntryOpen =
    "<input type=\"text\" name=\"homepage\" size=\"56\" value=\"";
inline constexpr std::string_view kHomepageEntryClose = "\"><br>";
inline constexpr std::string_view kHomepageHelp =
    "注意：网址必须以　<font color=\"#FF0000\"> http://　</font>开头，如果不是"
    "<font color=\"#FF0000\">　http://</font><font "
    "color=\"#FF0000\">　</font>开头，请添加上</td>";

inline constexpr std::array<std::string_view, 4> kFormClose = {
    "  </table>",
    "  <p align=\"center\"><input type=\"submit\" value=\"修改我的留言板信息\" "
    "name=\"B1\">"
    "<input type=\"reset\" value=\"全部重写\" name=\"B2\">",
    "  <font size=\"3\">带<font color=\"#FF0000\"> **</font> 号的必须填写</font></p>",
    "</form>",
};

}  // namespace tb::settings::legacy
