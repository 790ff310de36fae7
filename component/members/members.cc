#include "component/members/members.h"

#include "host/ascii.h"

namespace tb {

const std::vector<const Member*>& Members() {
  static const std::vector<const Member*> all = [] {
    std::vector<const Member*> out;
    for (auto part : {CoreMembers(), AccountsMembers(), BoardMembers(), SettingsMembers(),
                      AdminMembers()}) {
      for (const Member& m : part) out.push_back(&m);
    }
    return out;
  }();
  return all;
}

const Member* FindMember(std::string_view name) {
  for (const Member* m : Members()) {
    if (host::EqualsIgnoreCase(m->name, name)) return m;
  }
  return nullptr;
}

const Member* FindMember(std::uint32_t dispid) {
  for (const Member* m : Members()) {
    if (m->dispid == dispid) return m;
  }
  return nullptr;
}

}  // namespace tb
