// File: members.h — every public member of the guestbook component, gathered
// from the lists of its parts: the component's own (component/dispatch.cc),
// accounts, board, settings and admin (each folder's members.cc, where each
// member's line names the file that implements it).
//
// Example:
//   const Member* m = FindMember("showbook");  // any letter case
//   m->call(book, args);
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "component/dispatch.h"

namespace tb {

// The members each operations folder offers (its members.cc).
std::span<const Member> AccountsMembers();
std::span<const Member> BoardMembers();
std::span<const Member> SettingsMembers();
std::span<const Member> AdminMembers();

// Every member.
const std::vector<const Member*>& Members();
const Member* FindMember(std::string_view name);
const Member* FindMember(std::uint32_t dispid);

}  // namespace tb
