// File: session_keys.h — the session keys that carry a login and guard the
// message form. Keys bound to one guestbook are the guestbook's name followed
// by a fixed suffix; the operations that write those name their suffixes.
#pragma once

#include <string_view>

namespace tb::keys {

// The logged-in owner's guestbook name, as stored.
inline constexpr std::string_view kName = "ly_name";
// "yes" once an owner has logged in.
inline constexpr std::string_view kLog = "ly_log";
// "yes" once the superuser ("admin") has logged in.
inline constexpr std::string_view kAdminLog = "ly_admin_log";
// The message form's key and the posted flag ("0" fresh form, "1" posted).
inline constexpr std::string_view kFormKey = "ly_fgs";
inline constexpr std::string_view kPosted = "ly_tijiao";

// The superuser's guestbook name.
inline constexpr std::string_view kSuperuser = "admin";

}  // namespace tb::keys
