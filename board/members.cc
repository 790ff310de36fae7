// The public members of the component that this folder defines, under the
// file that implements them.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array kMembers = {
    // legacy_form.cc
    MethodMember<&Guestbook::Add_bak>("Add_bak", 0x60030011),
    // message_form.cc
    MethodMember<&Guestbook::Add>("Add", 0x60030012),
    MethodMember<&Guestbook::Image1>("Image1", 0x60030013),
    // add_check.cc
    MethodMember<&Guestbook::AddCheck>("AddCheck", 0x60030014),
    // show_book.cc
    MethodMember<&Guestbook::ShowBook>("ShowBook", 0x60030015),
};

}  // namespace

std::span<const Member> BoardMembers() { return kMembers; }

}  // namespace tb
