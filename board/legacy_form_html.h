// File: form_legacy_html.h — the literal pieces of the complete message form
// that Add_bak writes. Values go between the pieces; pieces named *Line are
// followed by a carriage return when written.
#pragma once

#include <array>
#include <string_view>

namespace tb::board::legacy {

// Title and the link back to the guestbook.
inline constexpr std::string_view kTitleOpen = "<p align=\"center\">";
inline constexpr std::string_view kTitleTextOpen =
    "<font color=\"#FF0000\" size = \"6\">";
inline constexpr std::string_view kTitleTextClose = "</font>";
inline constexpr std::string_view kTitleImageOpen = "<img border=\"0\" src=\"";
inline constexpr std::string_view kTitleImageClose = "\">";
inline constexpr std::string_view kTitleClose = "</p>";
inline constexpr std::array<std::string_view, 3> kBackTableOpenLines = {
    "<table border=\"0\" width=\"100%\">", "  <tr>", "<td width=\"100%\">"};
inline constexpr std::string_view kBackLinkOpen =
    "      <p align=\"right\"><a href=\"show.asp?name=";
inline constexpr std::string_view kBackLinkClose =
    "\"><font size=\"3\"><u>返&nbsp;回</u></font></a>"
    "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</td>";
inline constexpr std::array<std::string_view, 2> kBackTableCloseLines = {"  </tr>",
                                                                         "</table>"};

// The form's start; its action carries the query keys the acceptance reads.
inline constexpr std::string_view kFormOpen =
    "<form name=\"lyadd\" onSubmit = \"return add_check()\" method=\"POST\" "
    "action=\"add_check.asp?name=";
inline constexpr std::string_view kFormReplyEmail = "&replyemail=";
inline constexpr std::string_view kFormReply = "&reply=";
inline constexpr std::string_view kFormReplyId = "&replyid=";
inline constexpr std::string_view kFormKey = "&key2=";
inline constexpr std::string_view kFormOpenClose = "\">";
inline constexpr std::string_view kFieldTableLine =
    "<table border=\"1\" width=\"100%\" bordercolorlight=\"#C0C0C0\" "
    "bordercolordark=\"#FFFFFF\" bgcolor=\"#F7F7F7\">";

// A caption cell: the owner's caption, then kCaptionClose.
inline constexpr std::string_view kRowOpen = "    <tr>";
inline constexpr std::string_view kRowClose = "    </tr>";
inline constexpr std::string_view kCaptionOpen =
    "      <td width=\"23%\" align=\"right\">";
inline constexpr std::string_view kCaptionClose = "&nbsp;</td>";
inline constexpr std::string_view kInputStyle = "\" style=\"border: 1 solid #008000\">";

// The poster's name (always offered; its row is written without indent).
inline constexpr std::string_view kNameRowOpenLine = "<tr>";
inline constexpr std::string_view kNameCaptionOpen = "<td width=\"23%\" align=\"right\">";
inline constexpr std::string_view kNameInputOpen =
    "      <td width=\"77%\"><input type=\"text\" name=\"guestname\" size=\"39\" "
    "value=\"";
inline constexpr std::string_view kNameInputClose =
    "\" style=\"border: 1 solid #008000\"> <font color=\"#FF0000\">**</font></td>";
inline constexpr std::string_view kNameRowCloseLine = "</tr>";

// E-mail (item 1).
inline constexpr std::string_view kEmailInputOpen =
    "      <td width=\"77%\"><input type=\"text\" name=\"email\" size=\"39\" value=\"";
inline constexpr std::string_view kInputStyleCellClose =
    "\" style=\"border: 1 solid #008000\"> </td>";

// Home page (item 2); a remembered address too short
// (keys::remembered::kHomepageMinLength) is shown as the bare scheme.
inline constexpr std::string_view kHomepageInputOpen =
    "      <td width=\"77%\"><input type=\"text\" name=\"homepage\" size=\"39\" value=\"";
inline constexpr std::string_view kHomepageScheme = "http://";
inline constexpr std::string_view kCellClose = "</td>";
inline constexpr std::string_view kBareRowClose = "</tr>";

// Location (item 3) with the county field (item 4).
inline constexpr std::string_view kCountrySelectOpen =
    "      <td width=\"77%\"><select name=\"guo\" size=\"1\">";
inline constexpr std::string_view kNoCountryOption = "<option>请选择国家</option>";
inline constexpr std::array<std::string_view, 19> kCountries = {
    "中国",   "美国",   "加拿大",   "新西兰", "英国",     "比利时", "德国",
    "匈牙利", "意大利", "马来西亚", "波兰",   "罗马尼亚", "瑞典",   "新加坡",
    "泰国",   "日本",   "泰国",     "韩国",   "其它国家"};
inline constexpr std::string_view kSelectClose = "</select>";
inline constexpr std::string_view kProvinceSelectOpen =
    "<select name=\"sheng\" size=\"1\">";
inline constexpr std::string_view kNoProvinceOption = "<option>请选择省市</option>";
inline constexpr std::array<std::string_view, 34> kProvinces = {
    "广东", "北京",   "天津", "上海", "重庆", "河北", "河南", "黑龙江", "吉林",
    "辽宁", "内蒙古", "海南", "山西", "陕西", "山东", "江苏", "浙江",   "安徽",
    "江西", "福建",   "甘肃", "宁夏", "青海", "新疆", "湖北", "湖南",   "广西",
    "四川", "贵州",   "云南", "西藏", "香港", "澳门", "台湾"};
inline constexpr std::string_view kCountyInputOpen =
    "<input type=\"text\" name=\"xian\" size=\"11\" value=\"";
inline constexpr std::string_view kLocationCellClose = "  </td>";

// QQ number (item 5).
inline constexpr std::string_view kOicqInputOpen =
    "      <td width=\"77%\"><input type=\"text\" name=\"oicq\" size=\"39\" value=\"";

// Subject (always offered); the field table ends after it.
inline constexpr std::string_view kSubjectCellOpen = "      <td width=\"77%\">";
inline constexpr std::string_view kSubjectInputOpen =
    "      <input type=\"text\" name=\"subject\" size=\"39\" value=\"";
inline constexpr std::string_view kRequiredMark = "<font color=\"#FF0000\">**</font>";
inline constexpr std::string_view kSubjectCellClose = "      </td>";
inline constexpr std::string_view kFieldTableClose = "  </table>";

// Message format: a hidden plain-text field when the guestbook takes text
// only, else a choice of text or HTML.
inline constexpr std::string_view kTextOnlyFormat =
    "留言详细内容（最多8K）：<input type=\"hidden\" value=\"0\" name=\"html\" checked>";
inline constexpr std::array<std::string_view, 2> kFormatChoice = {
    "留言详细内容：<input type=\"radio\" value=\"0\" checked "
    "name=\"html\">文本方式&nbsp;",
    "<input type=\"radio\" name=\"html\" value=\"1\">&nbsp;Html方式<br>"};

// Font size and colour (item 8), typeface (item 7).
inline constexpr std::array<std::string_view, 7> kFontSizeList = {
    "字体大小<select size=\"1\" name=\"fontsize\" style=\"border: 1 solid #008000\">",
    "<option>2</option>",
    "<option selected>3</option>",
    "<option>4</option>",
    "<option>5</option>",
    "<option>6</option>",
    "</select>"};
inline constexpr std::string_view kFontColorSelectOpen =
    "&nbsp;&nbsp; 字体颜色<select size=\"1\" name=\"fontcolor\" "
    "style=\"border: 1 solid #008000\">";
struct ColorOption {
  std::string_view value, label;
};
// Black is the preselected colour and is written by its own piece.
inline constexpr std::string_view kBlack = "#000000";
inline constexpr std::string_view kBlackOption =
    "<option style=\"background-color:#000000;color:#000000\" value=\"#000000\" "
    "selected>黑色</option>";
inline constexpr std::array<ColorOption, 17> kFontColors = {{
    {"#660099", "深紫"},
    {"#000000", "黑色"},
    {"#0088FF", "海蓝"},
    {"#0000FF", "亮蓝"},
    {"#000088", "深蓝"},
    {"#888800", "黄绿"},
    {"#008888", "蓝绿"},
    {"#008800", "橄榄"},
    {"#8888FF", "淡紫"},
    {"#AA00CC", "紫色"},
    {"#8800FF", "蓝紫"},
    {"#888888", "灰色"},
    {"#CCAA00", "土黄"},
    {"#FF8800", "金黄"},
    {"#CC3366", "暗红"},
    {"#FF00FF", "紫红"},
    {"#3366CC", "蓝黑"},
}};
inline constexpr std::string_view kFontSelectOpen =
    "&nbsp;&nbsp; 字体<select size=\"1\" name=\"font\">";
inline constexpr std::string_view kDefaultFontOption = "<option selected>宋体</option>";
inline constexpr std::array<std::string_view, 11> kFonts = {
    "楷体_GB2312", "仿宋_GB2312", "黑体", "华文中宋", "华文彩云", "华文新魏",
    "华文细黑",    "华文行楷",    "幼圆", "新宋体",   "隶书"};

// The message box.
inline constexpr std::array<std::string_view, 2> kMessageBox = {
    "  <textarea rows=\"10\" name=\"message\" cols=\"104\" "
    "style=\"border: 1 solid #008000\"></textarea>",
    "  <p align=\"left\">"};

// Reply by mail (item 10), private message (item 11).
inline constexpr std::array<std::string_view, 2> kReplyMailChoice = {
    "如果有人回复我的留言，请转发到的邮箱里 "
    "<input type=\"radio\" name=\"replymail\" value=\"1\" checked>是&nbsp;",
    "<input type=\"radio\" name=\"replymail\" value=\"0\">否"
    "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;"};
inline constexpr std::string_view kPrivateBox =
    "悄悄话(只有板主可以看到)<input type=\"checkbox\" name=\"priviteword\" value=\"1\">";

// The owner's confirmation (item 12): the guestbook name, then the password.
inline constexpr std::string_view kOwnerBreak = "<br>";
inline constexpr std::string_view kOwnerNameOpen =
    "  板主发表/回复确认： 用户名：<input type=\"text\" name=\"name\" size=\"11\" "
    "value=\"";
inline constexpr std::string_view kOwnerPassword =
    "  密码：<input type=\"password\" name=\"password\" size=\"10\" "
    "style=\"border: 1 solid #008000\"><font color=\"#008080\">(</font>"
    "<font color=\"#FF0000\">仅板主才填写</font><font color=\"#008080\">，"
    "用于确认这条信息是否是板主发表/回复)</font></p>";

// The buttons and the form's end.
inline constexpr std::array<std::string_view, 3> kFormEnd = {
    "  <p align=\"center\"><input type=\"submit\" value=\"留   言\" name=\"B1\">&nbsp; "
    "<input type=\"reset\" value=\"全部重写\" name=\"B2\">（带",
    "  <font color=\"#FF0000\">**</font> 号的栏目必须填写）</p>", "</form>"};

}  // namespace tb::board::legacy
