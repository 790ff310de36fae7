// File: asset.h — a file the site serves as it is: the stylesheet, the
// images of the pages and of the component.
#pragma once

#include <string_view>

namespace tb::server {

struct Asset {
  std::string_view path;  // "pic/Boy1.gif"; matched without regard to case
  std::string_view content_type;
  std::string_view bytes;
};

}  // namespace tb::server
