#include "data/engine.h"

#include <algorithm>

#include "host/ascii.h"

namespace tb::data {

int Result::Find(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (host::EqualsIgnoreCase(columns[i], column)) return static_cast<int>(i);
  }
  return -1;
}

Engine::Condition Engine::Contains(std::string_view column,
                                   std::string_view keyword) const {
  std::string pattern = "%";
  for (char c : keyword) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return {std::string(column) + " like ? escape '\\'", {Value(pattern + "%")}};
}

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace tb::data
