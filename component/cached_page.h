// File: cached_page.h — the key under which the host's page cache
// (host::PageCache) keeps an operation's output: every input the output
// depends on, one part each.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// A key of parts, each written as its length, ":" and its bytes, so that no
// two different lists of parts make the same key.
// Example: PageKey().Add("ab").Add("c").Flag(true).text() == "2:ab1:c1:1"
class PageKey {
 public:
  PageKey& Add(std::string_view part) {
    text_ += std::to_string(part.size());
    text_ += ':';
    text_ += part;
    return *this;
  }
  PageKey& Flag(bool flag) { return Add(flag ? "1" : "0"); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tb
