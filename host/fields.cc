#include "host/fields.h"

#include "host/ascii.h"

namespace tb::host {

void FieldMap::Add(std::string_view name, std::string_view value) {
  auto [it, added] = index_.try_emplace(AsciiLower(name), entries_.size());
  if (added) {
    entries_.emplace_back(name, value);
  } else {
    std::string& joined = entries_[it->second].second;
    joined += ", ";
    joined += value;
  }
}

std::optional<std::string> FieldMap::Find(std::string_view name) const {
  auto it = index_.find(AsciiLower(name));
  if (it == index_.end()) return std::nullopt;
  return entries_[it->second].second;
}

}  // namespace tb::host
