// File: superuser.h — the guestbook "admin", the site's superuser, created by
// the server when the store has none, so that no visitor can register the
// name and own the site.
//
// Example:
//   auto made = EnsureSuperuser(pool, "sqlite:data/tavobook.db", {"", url, ""}, now);
//   if (made && made->generated) std::cerr << made->password;
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/engine.h"
#include "host/date_time.h"

namespace tb::server {

struct SuperuserDetails {
  std::string password;        // empty: draw a random one
  std::string homepage;        // the site's own address
  std::string email;           // the site's contact address, may be empty
  bool hash_password = false;  // store the password as a hash
};

struct SuperuserCreated {
  std::string password;
  bool generated = false;  // drawn at random, not given
};

// Creates the user row of "admin" (title "超级用户", message mode UBB) when
// no guestbook of that name exists, in one transaction. Returns what it
// created, or nullopt when the guestbook existed. A store that cannot be
// opened raises data::Error.
std::optional<SuperuserCreated> EnsureSuperuser(data::EngineSource& databases,
                                                std::string_view dsn,
                                                const SuperuserDetails& details,
                                                const DateTime& now);

// With `details.hash_password`, hashes every password of the store still kept
// as plain text (passwords::HashPlainPasswords) and returns how many; 0
// without it.
std::size_t HashStoredPasswords(data::EngineSource& databases, std::string_view dsn,
                                const SuperuserDetails& details);

// A random password of 12 letters and digits.
std::string RandomPassword();

}  // namespace tb::server
