// The site's assets: the images the pages show (GIF files drawn by the site,
// read back here by a decoder of their own) and the stylesheet, served by
// path whatever the letter case, linked under a name that changes with its
// content, and safe for the pages it styles.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "server/http/style.h"
#include "server/pages/gif.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using server::pages::Canvas;
using server::pages::Rgb;

// A GIF read back by giflib: screen size, colour count and the first
// image's pixels; `error` is empty when the file read cleanly to its trailer.
struct Decoded {
  int width = 0, height = 0, colours = 0;
  std::vector<std::uint8_t> pixels;
  std::string error;
};

Decoded Decode(std::string_view b) {
  Decoded d;
  std::string_view rest = b;
  const auto read = [](GifFileType* gif, GifByteType* to, int n) {
    auto& from = *static_cast<std::string_view*>(gif->UserData);
    n = static_cast<int>(std::min<std::size_t>(n, from.size()));
    std::copy_n(from.data(), n, to);
    from.remove_prefix(n);
    return n;
  };
  int error = 0;
  const std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
      DGifOpen(&rest, read, &error), [](GifFileType* g) { DGifCloseFile(g, nullptr); });
  if (!b.starts_with("GIF89a") || !gif) return d.error = "no GIF89a header", d;
  if (DGifSlurp(gif.get()) != GIF_OK) return d.error = GifErrorString(gif->Error), d;
  d.width = gif->SWidth;
  d.height = gif->SHeight;
  d.colours = gif->SColorMap ? gif->SColorMap->ColorCount : 0;
  const SavedImage& image = gif->SavedImages[0];
  if (!rest.empty()) return d.error = "bytes after the trailer", d;
  if (gif->ImageCount != 1 || image.ImageDesc.ColorMap)
    return d.error = "not one image", d;
  d.pixels.assign(image.RasterBits,
                  image.RasterBits + image.ImageDesc.Width * image.ImageDesc.Height);
  if (d.pixels.size() != std::size_t(d.width * d.height)) d.error = "pixel count";
  for (std::uint8_t p : d.pixels)
    if (p >= d.colours) d.error = "pixel outside the palette";
  return d;
}

TEST(GifTest, EncodedPicturesDecodeToTheirPixels) {
  auto greys = [](int n) {
    std::vector<Rgb> palette;
    for (int i = 0; i < n; ++i) {
      const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
      palette.push_back({v, v, v});
    }
    return palette;
  };
  for (const auto& c : testing::ReadCases("pages/gif_sizes.txt")) {
    SCOPED_TRACE(c.line);
    const int width = std::stoi(c[0]), height = std::stoi(c[1]),
              colours = std::stoi(c[2]);
    Canvas canvas(width, height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        canvas.Set(x, y, static_cast<std::uint8_t>((x * 7 + y * 13) % colours));
    const Decoded d = Decode(server::pages::EncodeGif(canvas, greys(colours)));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(std::tie(d.width, d.height, d.colours), std::tie(width, height, colours));
    EXPECT_EQ(d.pixels, canvas.pixels());
  }
  EXPECT_ANY_THROW(server::pages::EncodeGif(Canvas(1, 1, 0), greys(3)));
}

TEST(GifTest, ShapesClipAtTheEdges) {
  Canvas c(5, 4, 0);
  c.Rect(-3, -3, 1, 1, 1);
  c.Line(4, 0, 0, 4, 2);
  c.Disk(10, 10, 2, 3);
  EXPECT_EQ(c.pixels(), (std::vector<std::uint8_t>{1, 1, 0, 0, 2,  //
                                                   1, 1, 0, 2, 0,  //
                                                   0, 0, 2, 0, 0,  //
                                                   0, 2, 0, 0, 0}));
}

// Every image the pages refer to is a GIF of its size, a picture rather than
// a blank (the spacer white.GIF excepted); the avatars are twenty different
// pictures, numbered alike as pic/N.gif, and drawn once.
TEST(ImagesTest, EveryReferencedImageIsAValidGif) {
  std::set<std::string_view> avatars;
  for (const auto& c : testing::ReadCases("pages/images.txt")) {
    SCOPED_TRACE(c[0]);
    const server::Asset* asset = server::FindAsset(c[0]);
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(asset->content_type, "image/gif");
    const Decoded d = Decode(asset->bytes);
    EXPECT_EQ(d.error, "");
    EXPECT_TRUE(c[1] == "0" || std::to_string(d.width) + "x" + std::to_string(d.height) ==
                                   c[1] + "x" + c[2])
        << d.width << "x" << d.height;
    EXPECT_TRUE(d.width > 0 && d.width <= 200 && d.height > 0 && d.height <= 200);
    const std::set<std::uint8_t> used(d.pixels.begin(), d.pixels.end());
    EXPECT_EQ(used.size() > 1, c[0] != "white.GIF");
    if (c.size() > 3)
      EXPECT_EQ(asset->bytes, server::FindAsset(c[3])->bytes);
    else if (c[0].starts_with("pic/Boy") || c[0].starts_with("pic/Girl"))
      avatars.insert(asset->bytes);
  }
  EXPECT_EQ(avatars.size(), 20u);
  EXPECT_EQ(server::FindAsset("pic/Boy1.gif")->bytes.data(),
            server::FindAsset("PIC/BOY1.GIF")->bytes.data());
}

// Every image a rendered page points to is served.
class ImagesInPagesTest : public testing::PagesTest {};

TEST_F(ImagesInPagesTest, EveryImageAPageShowsExists) {
  AddBook("empty");
  AddMessage("abc", {{"subject", "附件"},
                     {"email", "a@b.cn"},
                     {"homepage", "http://a.cn/"},
                     {"oicq", "12345"},
                     {"touxiang", 7},
                     {"html", "2"},
                     {"message",
                      "[zip]f.zip[/zip] [rar]f.rar[/rar] [email]a@b.cn[/email] "
                      "[upload=jpg]http://x.cn/p.jpg[/upload] "
                      "[upload=gif]http://x.cn/p.gif[/upload] see http://x.cn/ "
                      "[url]x.cn[/url]"}});
  AddMessage("abc", {{"subject", "回复"}, {"newinfo", "1"}});
  std::set<std::string> seen;
  const std::regex src(R"re(src=["']?([^"' >]+))re", std::regex::icase);
  for (auto [path, name] : {std::pair{"show.asp", "abc"},
                            {"show.asp", "empty"},
                            {"add.asp", "abc"},
                            {"index.asp", ""}}) {
    Fresh();
    page().query.Add("name", name);
    const std::string body = Run(path);
    for (auto it = std::sregex_iterator(body.begin(), body.end(), src);
         it != std::sregex_iterator(); ++it) {
      if ((*it)[1].str().starts_with("http")) continue;
      seen.insert((*it)[1]);
      EXPECT_NE(server::FindAsset((*it)[1].str()), nullptr) << (*it)[1] << " in " << path;
    }
  }
  for (const std::string& expected : testing::CaseInputs("pages/images_shown.txt"))
    EXPECT_TRUE(seen.contains(expected)) << expected;
}

using server::http::Stylesheet;

// The link carries a hash of the content after "?v=": the host finds the
// asset by its path alone, and a browser with a month-old copy asks anew.
TEST(StyleTest, ServedAsCssByPathAndLinkedWithItsHash) {
  for (std::string_view path : {"site.css", "SITE.CSS", "Site.Css"})
    EXPECT_EQ(server::FindAsset(path), &Stylesheet()) << path;
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
