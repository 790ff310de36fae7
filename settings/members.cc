// The public members of the component that this folder defines, under the
// file that implements them.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    // basic.cc
    MethodMember<&Guestbook::JieMian1>("JieMian1", 0x60030019),
    // legacy_basic.cc
    MethodMember<&Guestbook::JieMian1_bak>("JieMian1_bak", 0x6003001a),
    // basic.cc
    MethodMember<&Guestbook::JieMian1Check>("JieMian1Check", 0x6003001b),
    // display.cc
    MethodMember<&Guestbook::JieMian2>("JieMian2", 0x6003001c),
    MethodMember<&Guestbook::JieMian2Check>("JieMian2Check", 0x6003001d),
    // password.cc
    MethodMember<&Guestbook::JieMian3>("JieMian3", 0x6003001e),
    MethodMember<&Guestbook::JieMian3Check>("JieMian3Check", 0x6003001f),
};

}  // namespace

std::span<const Member> SettingsMembers() { return kMembers; }

}  // namespace tb
