// File: session_keys.h — the session keys that carry a login and guard the
// message form. Keys bound to one guestbook are the guestbook's name followed
// by a fixed suffix; the operations that write those name their suffixes.
#pragma once

#include <string_view>

#include "host/page.h"

namespace tb::keys {

// The login keys belong to the host's session, which ends logins by them.
// The logged-in owner's guestbook name, as stored.
inline constexpr std::string_view kName = host::kLoginName;
// "yes" once an owner has logged in.
inline constexpr std::string_view kLog = host::kLoginFlag;
// "yes" once the superuser ("admin") has logged in.
inline constexpr std::string_view kAdminLog = host::kSuperuserFlag;
// The message form's key and the posted flag ("0" fresh form, "1" posted).
inline constexpr std::string_view kFormKey = "ly_fgs";
inline constexpr std::string_view kPosted = "ly_tijiao";

// The superuser's guestbook name.
inline constexpr std::string_view kSuperuser = "admin";

}  // namespace tb::keys
