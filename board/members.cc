// The public members of the component that this folder defines.
#include <array>

#include "component/dispatch.h"

namespace tb {
namespace {

const std::array<Member, 0> kMembers = {};

}  // namespace

std::span<const Member> BoardMembers() { return kMembers; }

}  // namespace tb
