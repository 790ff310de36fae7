#include "host/page.h"

#include "host/ascii.h"
#include "host/encoding.h"

namespace tb::host {

std::string Request::Lookup(std::string_view name) const {
  if (auto v = FindQuery(name)) return *v;
  if (auto v = FindForm(name)) return *v;
  if (auto v = FindCookie(name)) return *v;
  return ServerVariable(name);
}

bool IsLoginOf(const Value& flag, const Value& login_name, std::string_view name) {
  return !name.empty() && flag.Text() == "yes" &&
         EqualsIgnoreCase(login_name.Text(), name);
}

void Session::ClearLogin() {
  for (std::string_view key : {kLoginName, kLoginFlag, kSuperuserFlag}) {
    if (!Get(key).IsEmpty()) Set(key, Value());
  }
}

std::string Server::UrlEncode(std::string_view text) const {
  return host::UrlEncode(text);
}

}  // namespace tb::host
