// The site's assets: the images the pages show (GIF files drawn by the site,
// read back here by a decoder of their own) and the stylesheet, served by
// path whatever the letter case, linked under a name that changes with its
// content, and safe for the pages it styles.
#include <gtest/gtest.h>

#include <algorithm>
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

// A GIF read back: screen size, colour count and the first image's pixels;
// `error` is empty when the file read cleanly to its trailer.
struct Decoded {
  int width = 0, height = 0, colours = 0;
  std::vector<std::uint8_t> pixels;
  std::string error;
};

std::uint8_t At(std::string_view b, std::size_t at) { return b[at]; }
int Word(std::string_view b, std::size_t at) { return At(b, at) | At(b, at + 1) << 8; }

// The data sub-blocks from `at` on, joined; `at` ends after the terminator.
std::optional<std::string> SubBlocks(std::string_view b, std::size_t& at) {
  std::string data;
  while (at < b.size()) {
    const std::size_t n = At(b, at++);
    if (n == 0) return data;
    if (at + n > b.size()) return std::nullopt;
    data.append(b.substr(at, n));
    at += n;
  }
  return std::nullopt;
}

// A plain LZW decoder as the format describes it: variable code width from
// min + 1 up to 12 bits, clear and end codes; nullopt without an end code.
std::optional<std::vector<std::uint8_t>> Lzw(std::string_view data, int min) {
  using Entry = std::basic_string<std::uint8_t>;
  const std::size_t clear = 1u << min;
  std::vector<Entry> table;
  int width = 0, prev = -1;
  auto reset = [&] {
    table.clear();
    for (std::size_t i = 0; i < clear; ++i) table.push_back(Entry(1, std::uint8_t(i)));
    table.resize(clear + 2);
    width = min + 1;
    prev = -1;
  };
  reset();
  std::vector<std::uint8_t> out;
  for (std::size_t bit = 0; bit + width <= data.size() * 8;) {
    std::size_t code = 0;
    for (int i = 0; i < width; ++i, ++bit)
      code |= ((At(data, bit / 8) >> (bit % 8)) & 1) << i;
    if (code == clear) {
      reset();
      continue;
    }
    if (code == clear + 1) return out;
    if (code > table.size() || (code == table.size() && prev < 0)) return std::nullopt;
    const Entry entry = code < table.size() ? table[code] : table[prev] + table[prev][0];
    if (entry.empty()) return std::nullopt;
    out.insert(out.end(), entry.begin(), entry.end());
    if (prev >= 0 && table.size() < 4096) {
      table.push_back(table[prev] + entry[0]);
      if (table.size() == (1u << width) && width < 12) ++width;
    }
    prev = static_cast<int>(code);
  }
  return std::nullopt;
}

Decoded Decode(std::string_view b) {
  Decoded d;
  auto fail = [&d](std::string_view why) {
    d.error = why;
    return d;
  };
  if (!b.starts_with("GIF89a") || b.size() < 13) return fail("no GIF89a header");
  d.width = Word(b, 6);
  d.height = Word(b, 8);
  d.colours = At(b, 10) & 0x80 ? 2 << (At(b, 10) & 7) : 0;
  for (std::size_t at = 13 + 3 * d.colours; at < b.size();) {
    const char block = b[at++];
    if (block == ';') {
      if (at != b.size()) return fail("bytes after the trailer");
      if (d.pixels.size() != std::size_t(d.width * d.height)) return fail("pixel count");
      return d;
    }
    if (block == '!') {
      if (++at, !SubBlocks(b, at)) return fail("broken extension");
      continue;
    }
    if (block != ',') return fail("unknown block");
    if (at + 10 > b.size()) return fail("short image descriptor");
    if (At(b, at + 8) & 0x80) return fail("unexpected local table");
    const std::size_t size = Word(b, at + 4) * Word(b, at + 6);
    const int min = At(b, at + 9);
    at += 10;
    const auto data = SubBlocks(b, at);
    const auto pixels = data ? Lzw(*data, min) : std::nullopt;
    if (!pixels || pixels->size() != size) return fail("broken image data");
    for (std::uint8_t p : *pixels)
      if (p >= d.colours) return fail("pixel outside the palette");
    d.pixels = *pixels;
  }
  return fail("no trailer");
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
