#include "check/lengths.h"

#include "check/text.h"

namespace tb::check {

std::string TooLong(
    std::initializer_list<std::pair<std::string_view, LengthLimit>> texts) {
  for (const auto& [text, limit] : texts) {
    // Bytes bound characters from above: most texts need no count.
    if (text.size() > limit.max && Length(text) > limit.max) {
      return "输入的内容太长：" + std::string(limit.caption) + "最多" +
             std::to_string(limit.max) + "个字符";
    }
  }
  return {};
}

}  // namespace tb::check
