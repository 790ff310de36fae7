// File: lengths.h — the longest text each stored field takes, in characters
// (as Length counts them), and the refusal of a longer one. The message
// itself is cut at LybMsgLen instead.
//
// Example:
//   TooLong({{subject, kSubjectLimit}, {email, kEmailLimit}})
//   == "输入的内容太长：留言主题最多100个字符" for a subject of 101 characters,
//   "" when every text fits.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tb::check {

struct LengthLimit {
  std::string_view caption;  // the field as the refusal names it
  std::size_t max;
};

inline constexpr LengthLimit kGuestNameLimit{"姓名", 50};
inline constexpr LengthLimit kEmailLimit{"电子邮件", 50};
inline constexpr LengthLimit kHomepageLimit{"主页", 200};
inline constexpr LengthLimit kSubjectLimit{"留言主题", 100};
inline constexpr LengthLimit kLocationLimit{"来自", 100};
inline constexpr LengthLimit kQqLimit{"QQ号码", 15};
inline constexpr LengthLimit kTitleLimit{"留言板标题", 250};
inline constexpr LengthLimit kTopImageLimit{"顶部图片", 200};
inline constexpr LengthLimit kBackImageLimit{"背景图片", 200};
inline constexpr LengthLimit kCategoryLimit{"网站分类", 50};
inline constexpr LengthLimit kCaptionLimit{"栏目显示文字", 50};

// "输入的内容太长：" + caption + "最多" + N + "个字符" for the first text longer
// than its limit; empty when every one fits.
std::string TooLong(
    std::initializer_list<std::pair<std::string_view, LengthLimit>> texts);

}  // namespace tb::check
