// The login tests that owner and superuser operations run first.
#include "component/guestbook.h"
#include "component/keys.h"

namespace tb {
namespace {

constexpr std::string_view kNoPermission = "用户操作超时，请重新登陆，或没有权限！";

}  // namespace

int Guestbook::IsUserLogin() {
  if (Session().Get(keys::kLog).Text() != "yes" ||
      Session().Get(keys::kName).Text().empty()) {
    Write(kNoPermission);
    return 0;
  }
  return 1;
}

int Guestbook::IsAdmin() {
  if (Session().Get(keys::kAdminLog).Text() != "yes") {
    Write(kNoPermission);
    return 0;
  }
  return 1;
}

}  // namespace tb
