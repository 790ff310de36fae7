#include "host/page.h"

#include "host/encoding.h"

namespace tb::host {

std::string Request::Lookup(std::string_view name) const {
  if (auto v = FindQuery(name)) return *v;
  if (auto v = FindForm(name)) return *v;
  if (auto v = FindCookie(name)) return *v;
  return ServerVariable(name);
}

std::string Server::UrlEncode(std::string_view text) const {
  return host::UrlEncode(text);
}

}  // namespace tb::host
