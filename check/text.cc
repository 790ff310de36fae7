#include "check/text.h"

#include <algorithm>
#include <array>

namespace tb::check {
namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;  // a stray continuation byte counts as one unit
}

}  // namespace

std::size_t Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = SequenceLength(static_cast<unsigned char>(text[i]));
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

std::string Left(std::string_view text, std::size_t n) {
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t len = SequenceLength(static_cast<unsigned char>(text[i]));
    std::size_t need = len == 4 ? 2 : 1;
    if (units + need > n) break;
    units += need;
    i += len;
  }
  if (i > text.size()) i = text.size();
  return std::string(text.substr(0, i));
}

std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text, pos);
  return out;
}

bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle) {
  return AsciiLower(haystack).find(AsciiLower(needle)) != std::string::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string ReplaceByEntities(std::string_view text,
                              std::span<const CharEntity> entities) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto it = std::find_if(entities.begin(), entities.end(),
                           [c](const CharEntity& e) { return e.c == c; });
    if (it == entities.end()) {
      out += c;
    } else {
      out += it->entity;
    }
  }
  return out;
}

std::string EscapeHtml(std::string_view text) {
  static constexpr std::array<CharEntity, 5> kEntities = {{
      {'&', "&amp;"},
      {'<', "&lt;"},
      {'>', "&gt;"},
      {'"', "&quot;"},
      {'\'', "&#39;"},
  }};
  return ReplaceByEntities(text, kEntities);
}

}  // namespace tb::check
