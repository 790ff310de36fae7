// File: fields.h — the named values of a request (query, form, cookies).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tb::host {

// Named values in the order given; names match without regard to case, and a
// name given several times reads as its values joined by ", ". Adding and
// finding cost the same however many names there are, so that a request of
// many fields cannot hold a thread.
class FieldMap {
 public:
  void Add(std::string_view name, std::string_view value);
  std::optional<std::string> Find(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& entries() const {
    return entries_;
  }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
  // The index into entries_ by the name in lower case.
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace tb::host
