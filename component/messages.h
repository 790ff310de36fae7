// File: messages.h — the seventeen validation messages. Checked forms append
// them to an error report by number; the texts are fixed.
#pragma once

#include <array>
#include <string_view>

namespace tb {

inline constexpr std::array<std::string_view, 17> kMessages = {
    "错误号码：01，用户名字中含有非法字符。用户名只能由数字0-9，大写字母A-Z，小写字母a-z,"
    "下划线组成",
    "错误号码：02，用户名的字符长度必须在3到15个字符之间",
    "错误号码：03，密码的字符长度必须在4到15个字符之间或者含有非法字符，不能含有有英文方"
    "式的单引号、左右斜线、尖括号等",
    "错误号码：04，两次填写的密码不相同",
    "错误号码：05，电子邮件填写不正确，请填写你自己的电子邮件",
    "错误号码：06，主页填写错误，请填写以http:// 或 https:// 开头的网址",
    "错误号码：07，请填写留言板标题，字符长度应该在2-100个字符之间",
    "错误号码：08，留言板标题太长",
    "错误号码：09，密码提示问题的长度应该在4-50个字符之间",
    "错误号码：10，密码提示回答长度应该在4-50个字符之间",
    "错误号码：11，请填写你的身份证号码，只能为数字",
    "错误号码：12，请选择你的网站分类",
    "错误号码：13，留言板背景图片填写不正确，请填写以http:// 或 https:// 开头的网址",
    "错误号码：14，留言板标题图片填写不正确，请填写以http:// 或 https:// 开头的网址",
    "错误号码：15，请填写你的姓名或网名",
    "错误号码：16，请填写你的留言主题",
    "错误号码：17，QQ号码只能填写数字，没有可以不填写",
};

// Message `number` (1 to 17). Example: Message(4) ==
// "错误号码：04，两次填写的密码不相同".
constexpr std::string_view Message(int number) { return kMessages.at(number - 1); }

}  // namespace tb
