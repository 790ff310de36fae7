// File: password_html.h — the literal pieces of the password and e-mail
// settings form.
#pragma once

#include <array>
#include <string_view>

namespace tb::settings::password {

inline constexpr std::string_view kFormOpen =
    "      <form method=\"POST\" action=\"admin_jiemian3_check.asp\">";
inline constexpr std::string_view kTableOpen =
    "        <table border=\"1\" width=\"100%\" bordercolorlight=\"#008000\" "
    "bordercolordark=\"#FFFFFF\" bgcolor=\"#F7F7F9\">";
inline constexpr std::string_view kRowOpen = "          <tr>";
inline constexpr std::string_view kRowClose = "          </tr>";

// The name row: caption, then open + the owner's name + close as one cell.
inline constexpr std::string_view kNameCaption =
    "            <td width=\"25%\" align=\"right\">当前修改用户名：</td>";
inline constexpr std::string_view kNameCellOpen = "            <td width=\"75%\">";
inline constexpr std::string_view kNameCellClose = "&nbsp;</td>";

// A row of the form: its caption cell and its entry cell.
struct Row {
  std::string_view caption;
  std::string_view entry;
};

inline constexpr std::array<Row, 3> kPasswordRows = {{
    {"            <td width=\"25%\" align=\"right\">原始密码：</td>",
     "            <td width=\"75%\"><input type=\"password\" name=\"oldpassword\" "
     "size=\"20\"> **</td>"},
    {"            <td width=\"25%\" align=\"right\">新密码：</td>",
     "            <td width=\"75%\"><input type=\"password\" name=\"password\" "
     "size=\"20\"> ** (4-15个字符)</td>"},
    {"            <td width=\"25%\" align=\"right\">重复新密码：</td>",
     "            <td width=\"75%\"><input type=\"password\" name=\"password2\" "
     "size=\"20\"> ** (4-15个字符)</td>"},
}};

// A spacer row's cell: open, then one of the two contents.
inline constexpr std::string_view kSpacerCellOpen =
    "            <td width=\"101%\" colspan=\"2\" align=\"right\">";
inline constexpr std::string_view kSpacerBlank =
    "              <p align=\"left\">&nbsp;</td>";
inline constexpr std::string_view kSpacerIdeographic =
    "              <p align=\"left\">　</td>";

// The rows whose fields may be left empty; each ends with this note.
inline constexpr std::array<Row, 3> kOptionalRows = {{
    {"            <td width=\"25%\" align=\"right\">密码提示问题：</td>",
     "            <td width=\"75%\"><input type=\"text\" name=\"question\" "
     "size=\"36\">(4-20个字符)<br>"},
    {"            <td width=\"25%\" align=\"right\">密码提示回答：</td>",
     "            <td width=\"75%\"><input type=\"text\" name=\"answer\" "
     "size=\"36\">(4-20个字符)<br>"},
    {"            <td width=\"25%\" align=\"right\">身份证号码：</td>",
     "            <td width=\"75%\"><input type=\"text\" name=\"idcard\" "
     "size=\"36\">(15或18位数字)<br>"},
}};
inline constexpr std::string_view kKeepNote =
    "              如果你不需要修改，则请不要填写</td>";

inline constexpr std::array<std::string_view, 4> kEmailRow = {
    "            <td width=\"25%\" align=\"right\">邮件地址：</td>",
    "            <td width=\"75%\"><input type=\"text\" name=\"email\" size=\"36\"><br>",
    "              如果你不需要修改，则请不要填写<br>",
    "              <b><font size=\"2\">注意：如果你修改了电子邮件地址，修改完成后，"
    "系统会发送一个认证号码到你的新电子邮件地址里，你必须进行确认。</font></b></td>",
};

inline constexpr std::array<std::string_view, 4> kFormClose = {
    "        </table>",
    "        <p align=\"center\"><input type=\"submit\" value=\"修改我的信息\" "
    "name=\"B1\">",
    "        <input type=\"reset\" value=\"全部重写\" name=\"B2\"></p>",
    "      </form>",
};

}  // namespace tb::settings::password
