// The public members of the component that this folder defines.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    MethodMember<&Guestbook::RegCheck>("RegCheck", 0x6003000e),
    MethodMember<&Guestbook::LostPass>("LostPass", 0x60030016),
    MethodMember<&Guestbook::LostPassCheck>("LostPassCheck", 0x60030017),
    MethodMember<&Guestbook::UserDelMe>("UserDelMe", 0x60030018),
    MethodMember<&Guestbook::AdminLogin>("AdminLogin", 0x60030020),
    MethodMember<&Guestbook::UserDelAllInfo>("UserDelAllInfo", 0x60030021),
    TestMember<&Guestbook::IsAdmin>("IsAdmin", 0x60030022),
    TestMember<&Guestbook::IsUserLogin>("IsUserLogin", 0x60030023),
};

}  // namespace

std::span<const Member> AccountsMembers() { return kMembers; }

}  // namespace tb
