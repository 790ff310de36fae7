// The public members of the component that this folder defines, under the
// file that implements them.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    // register.cc
    MethodMember<&Guestbook::RegCheck>("RegCheck", 0x6003000e),
    // lost_password.cc
    MethodMember<&Guestbook::LostPass>("LostPass", 0x60030016),
    MethodMember<&Guestbook::LostPassCheck>("LostPassCheck", 0x60030017),
    // delete_book.cc
    MethodMember<&Guestbook::UserDelMe>("UserDelMe", 0x60030018),
    // login.cc
    MethodMember<&Guestbook::AdminLogin>("AdminLogin", 0x60030020),
    // delete_book.cc
    MethodMember<&Guestbook::UserDelAllInfo>("UserDelAllInfo", 0x60030021),
    // component/login_check.cc
    TestMember<&Guestbook::IsAdmin>("IsAdmin", 0x60030022),
    TestMember<&Guestbook::IsUserLogin>("IsUserLogin", 0x60030023),
};

}  // namespace

std::span<const Member> AccountsMembers() { return kMembers; }

}  // namespace tb
