// The public members of the component that this folder defines, under the
// file that implements them.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    // user_list.cc
    MethodMember<&Guestbook::UserList>("UserList", 0x6003000f),
    // superuser_tools.cc
    MethodMember<&Guestbook::AdminDelUserInfo>("AdminDelUserInfo", 0x60030026),
    MethodMember<&Guestbook::AdminDelUser>("AdminDelUser", 0x60030027),
    MethodMember<&Guestbook::GetAllMail>("GetAllMail", 0x60030028),
    MethodMember<&Guestbook::GetPassWord>("GetPassWord", 0x60030029),
    MethodMember<&Guestbook::DataAdmin>("DataAdmin", 0x6003002a),
};

}  // namespace

std::span<const Member> AdminMembers() { return kMembers; }

}  // namespace tb
