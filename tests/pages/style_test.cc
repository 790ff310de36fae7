// The site's stylesheet: served by path whatever the letter case, linked
// under a name that changes with its content, and safe for the pages it
// styles.
#include "server/http/style.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "server/pages/page_env.h"

namespace tb {
namespace {

using server::http::Stylesheet;

// The link carries a hash of the content after "?v=": the host finds the
// asset by its path alone, and a browser with a month-old copy asks anew.
TEST(StyleTest, ServedAsCssByPathAndLinkedWithItsHash) {
  for (std::string_view path : {"site.css", "SITE.CSS", "Site.Css"}) {
    EXPECT_EQ(server::FindAsset(path), &Stylesheet()) << path;
  }
  EXPECT_EQ(Stylesheet().content_type, "text/css");
  EXPECT_EQ(server::FindAsset("site.cs"), nullptr);
  EXPECT_EQ(server::FindAsset("css/site.css"), nullptr);
  const std::string href = server::http::StylesheetHref();
  EXPECT_TRUE(std::regex_match(href, std::regex(R"(site\.css\?v=[0-9a-f]{8})"))) << href;
  EXPECT_EQ(server::FindAsset(href.substr(0, href.find('?'))), &Stylesheet());
  EXPECT_EQ(server::http::StylesheetHref(), href);
}

// Served without a charset label, so every byte must be ASCII; a brace out of
// place would drop every rule after it; the guestbook page's body tag carries
// the owner's background image, which a background shorthand or image in the
// body rule would hide.
TEST(StyleTest, AsciiBalancedAndLeavesTheBackgroundImageAlone) {
  const std::string_view css = Stylesheet().bytes;
  ASSERT_FALSE(css.empty());
  EXPECT_TRUE(std::all_of(css.begin(), css.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  int depth = 0;
  for (char c : css) {
    depth += (c == '{') - (c == '}');
    ASSERT_TRUE(depth >= 0 && depth <= 2);  // rules inside one @media block
  }
  EXPECT_EQ(depth, 0);
  const auto start = css.find("\nbody {");
  ASSERT_NE(start, std::string_view::npos);
  const std::string_view rule = css.substr(start, css.find('}', start) - start);
  EXPECT_EQ(rule.find("background:"), std::string_view::npos) << rule;
  EXPECT_EQ(rule.find("background-image"), std::string_view::npos) << rule;
  EXPECT_NE(rule.find("background-color"), std::string_view::npos) << rule;
}

}  // namespace
}  // namespace tb
