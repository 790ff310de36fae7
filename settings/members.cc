// The public members of the component that this folder defines.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    MethodMember<&Guestbook::JieMian1>("JieMian1", 0x60030019),
    MethodMember<&Guestbook::JieMian1_bak>("JieMian1_bak", 0x6003001a),
    MethodMember<&Guestbook::JieMian1Check>("JieMian1Check", 0x6003001b),
    MethodMember<&Guestbook::JieMian2>("JieMian2", 0x6003001c),
    MethodMember<&Guestbook::JieMian2Check>("JieMian2Check", 0x6003001d),
    MethodMember<&Guestbook::JieMian3>("JieMian3", 0x6003001e),
    MethodMember<&Guestbook::JieMian3Check>("JieMian3Check", 0x6003001f),
};

}  // namespace

std::span<const Member> SettingsMembers() { return kMembers; }

}  // namespace tb
