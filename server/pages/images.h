// File: images.h — every picture the pages and the component show: the
// avatars, the UBB icons, the message icons and the guestbook page's buttons,
// drawn at first use and kept as GIF files for the life of the process.
//
// Example:
//   for (const Asset& a : Images()) if (a.path == "pic/Boy1.gif") ...;
#pragma once

#include <span>

#include "server/pages/page_env.h"

namespace tb::server::pages {

// Every image, served as "image/gif".
std::span<const Asset> Images();

}  // namespace tb::server::pages
