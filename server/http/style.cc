// The site's stylesheet. It is plain ASCII, so it needs no charset label.
#include "server/http/style.h"

#include <cstdint>
#include <string_view>

#include "host/ascii.h"

namespace tb::server::http {
namespace {

constexpr std::string_view kCss = R"css(html { background: #eef3f1; }
body {
  max-width: 800px; min-height: 100vh; box-sizing: border-box;
  margin: 0 auto; padding: 0 20px 16px;
  background-color: #fff; box-shadow: 0 0 10px rgba(0, 0, 0, .08);
  color: #222; font-size: 14px; line-height: 1.6;
  font-family: "Microsoft YaHei", "PingFang SC", "Hiragino Sans GB",
    "Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei", sans-serif;
}
a { color: #0b6a8a; text-decoration: none; }
a:hover { color: #c0392b; text-decoration: underline; }
h1, h2 { color: #0b7a6f; text-align: center; }
h1 { font-size: 28px; font-weight: normal; margin: 20px 0 8px; }
h2 { font-size: 20px; margin: 20px 0 12px; }
code { background: #f3f5f4; padding: 1px 4px; }

.nav {
  display: flex; flex-wrap: wrap; justify-content: space-between;
  align-items: baseline; margin: 0 -20px 16px; padding: 10px 20px;
  background: #0b7a6f;
}
.nav a, .nav a:hover { color: #fff; }
.nav span { color: #7fbdb5; }
.nav span a { margin: 0 6px; }
.nav .brand { font-size: 18px; font-weight: bold; }
.foot {
  margin-top: 32px; padding-top: 10px; border-top: 1px solid #d3e0dc;
  text-align: center; font-size: 12px; color: #777;
}
.foot a { color: #555; }
.lead { text-align: center; color: #555; }

.notice {
  max-width: 560px; margin: 40px auto; padding: 16px 24px;
  border: 1px solid #f0cfc8; border-radius: 6px; background: #fff8f6;
  text-align: center;
}
.notice h2 { color: #c0392b; margin: 4px 0 12px; }
.notice p { margin: 8px 0; }
.notice.done { border-color: #bfdcd3; background: #f3faf7; }
.notice.done h2 { color: #0b7a6f; }

table[width="761"] { margin-left: auto; margin-right: auto; }
body > table:first-child { margin-top: 12px; }
table[border="1"] { border-collapse: collapse; border: 1px solid #c5d8d2; }
table[border="1"] > * > tr > td { border: 1px solid #c5d8d2; padding: 4px 6px; }
table[border="1"] > * > tr > td[align="right"] { background-color: #f1f6f4; }
table.form { margin: 0 auto; }

input[type="text"], input[type="password"], textarea, select {
  font: inherit; font-size: 14px; line-height: 1.4; max-width: 100%;
  box-sizing: border-box; padding: 3px 6px; border: 1px solid #b6c8c2;
  border-radius: 3px;
}
textarea { line-height: 1.5; }
input[type="text"]:focus, input[type="password"]:focus, textarea:focus, select:focus {
  outline: none; border-color: #0b7a6f; box-shadow: 0 0 0 2px rgba(11, 122, 111, .25);
}
input[type="submit"], input[type="reset"], input[type="button"] {
  font: inherit; font-size: 14px; line-height: 1.4; padding: 3px 14px; cursor: pointer;
  border: 1px solid #0b7a6f; border-radius: 3px; background: #0b7a6f; color: #fff;
}
input[type="reset"] { background: #fff; color: #0b7a6f; }

/* Long words and addresses break rather than widen the page. */
body, td { overflow-wrap: anywhere; }
img { max-width: 100%; height: auto; }

/* Phones: the component's fixed-width tables become fluid, their cells wrap,
   the rows of forms stack, and the guestbook header's icons wrap. */
@media (max-width: 800px) {
  body { padding: 0 8px 12px; font-size: 15px; }
  .nav { margin: 0 -8px 12px; padding: 8px; }
  table { max-width: 100%; }
  table[width] { width: 100% !important; }
  td[width] { width: auto !important; }
  td { white-space: normal !important; }
  form > table > tbody > tr > td, table.form > tbody > tr > td {
    display: block; text-align: left !important;
  }
  body > table:first-child > * > tr > td { display: inline-block; }
  table[height], td[height] { height: auto !important; }
  input[type="text"], input[type="password"], textarea, select { width: 100%; }
  marquee { max-width: 100%; }
}
)css";

// FNV-1a, 32 bits: enough to tell one version of the stylesheet from another.
constexpr std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

constexpr Asset kStylesheet{"site.css", "text/css", kCss};

}  // namespace

const Asset& Stylesheet() { return kStylesheet; }

std::string StylesheetHref() {
  constexpr std::uint32_t hash = Fnv1a(kCss);
  std::string href = "site.css?v=";
  for (int shift = 24; shift >= 0; shift -= 8) {
    host::AppendHex(href, static_cast<unsigned char>(hash >> shift),
                    host::HexCase::kLower);
  }
  return href;
}

}  // namespace tb::server::http
