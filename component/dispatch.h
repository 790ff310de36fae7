// File: dispatch.h — the public members of the guestbook component with
// their dispatch identifiers, found by name without regard to case.
//
// Each subsystem lists its own members (accounts/members.cc and so on); the
// component's own members and its properties are listed in dispatch.cc.
//
// Example:
//   const Member* m = FindMember("showbook");
//   std::vector<Value> args;
//   m->invoke(book, args);   // calls book.ShowBook()
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "component/guestbook.h"

namespace tb {

enum class MemberKind { kProperty, kMethod, kFunction };

struct Member {
  std::string_view name;
  std::uint32_t dispid;
  MemberKind kind;
  // Methods and functions: runs the member with its by-reference arguments
  // (changed in place); returns the function's result, empty for a method.
  Value (*invoke)(Guestbook&, std::vector<Value>& args) = nullptr;
  // Properties.
  Value (*get)(const Guestbook&) = nullptr;
  void (*set)(Guestbook&, Value) = nullptr;
};

// A method without arguments or result.
// Example: MethodMember<&Guestbook::ShowBook>("ShowBook", 0x60030015).
template <void (Guestbook::*M)()>
constexpr Member MethodMember(std::string_view name, std::uint32_t dispid) {
  return {name, dispid, MemberKind::kMethod, [](Guestbook& g, std::vector<Value>&) {
            (g.*M)();
            return Value();
          }};
}

// A function without arguments that returns a number (the login tests).
template <int (Guestbook::*F)()>
constexpr Member TestMember(std::string_view name, std::uint32_t dispid) {
  return {name, dispid, MemberKind::kFunction,
          [](Guestbook& g, std::vector<Value>&) { return Value((g.*F)()); }};
}

// The component's own members: its properties and a few small methods. The
// operations' members are listed by their folders (accounts/members.cc and
// so on) and gathered in component/members/members.h.
std::span<const Member> CoreMembers();

}  // namespace tb
