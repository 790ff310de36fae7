// The public members of the component that this folder defines.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    TestMember<&Guestbook::IsAdmin>("IsAdmin", 0x60030022),
    TestMember<&Guestbook::IsUserLogin>("IsUserLogin", 0x60030023),
};

}  // namespace

std::span<const Member> AccountsMembers() { return kMembers; }

}  // namespace tb
