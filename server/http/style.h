// File: style.h — the site's one stylesheet, served as "site.css": a centred
// column, type that reads well in Chinese, the component's 761-pixel tables
// centred, tidy form tables and buttons, and the frame's header, footer and
// notices. It styles the component's output only through its elements and
// attributes; the component's HTML stays as it is.
//
// Example:
//   Write(env, "<link rel=\"stylesheet\" href=\"" + StylesheetHref() + "\">\n");
#pragma once

#include <string>

#include "server/http/asset.h"

namespace tb::server::http {

// The stylesheet as an asset: path "site.css", type "text/css".
const Asset& Stylesheet();

// The address the pages link: "site.css?v=" and a hash of the stylesheet, so
// that a browser holding an older copy (assets are cached for a month) loads
// the new one after an upgrade. Example: "site.css?v=1a2b3c4d".
std::string StylesheetHref();

}  // namespace tb::server::http
