#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "server/pages/gif.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using server::pages::Canvas;
using server::pages::EncodeGif;
using server::pages::Rgb;

// A GIF read back: screen size, colour count and the first image's pixels.
struct Decoded {
  int width = 0, height = 0, colours = 0;
  std::vector<std::uint8_t> pixels;
  std::string error;  // empty when the file read cleanly to its trailer
};

int Word(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}

// The data sub-blocks from `at` on, joined; `at` ends after the terminator.
std::optional<std::string> SubBlocks(std::string_view b, std::size_t& at) {
  std::string data;
  while (at < b.size()) {
    const std::size_t n = static_cast<std::uint8_t>(b[at++]);
    if (n == 0) return data;
    if (at + n > b.size()) return std::nullopt;
    data.append(b.substr(at, n));
    at += n;
  }
  return std::nullopt;
}

// A plain LZW decoder as the format describes it: variable code width from
// min + 1 up to 12 bits, clear and end codes.
std::optional<std::vector<std::uint8_t>> Lzw(std::string_view data, int min) {
  using Entry = std::basic_string<std::uint8_t>;
  const int clear = 1 << min, end = clear + 1;
  std::vector<Entry> table;
  int width = min + 1, prev = -1;
  auto reset = [&] {
    table.clear();
    for (int i = 0; i < clear; ++i)
      table.push_back(Entry(1, static_cast<std::uint8_t>(i)));
    table.resize(clear + 2);
    width = min + 1;
    prev = -1;
  };
  reset();
  std::vector<std::uint8_t> out;
  std::size_t bit = 0;
  while (bit + width <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit)
      code |= ((static_cast<std::uint8_t>(data[bit / 8]) >> (bit % 8)) & 1) << i;
    if (code == clear) {
      reset();
      continue;
    }
    if (code == end) return out;
    Entry entry;
    if (code < static_cast<int>(table.size())) {
      entry = table[code];
    } else if (code == static_cast<int>(table.size()) && prev >= 0) {
      entry = table[prev] + table[prev][0];
    } else {
      return std::nullopt;
    }
    if (entry.empty()) return std::nullopt;
    out.insert(out.end(), entry.begin(), entry.end());
    if (prev >= 0 && table.size() < 4096) {
      table.push_back(table[prev] + entry[0]);
      if (static_cast<int>(table.size()) == (1 << width) && width < 12) ++width;
    }
    prev = code;
  }
  return std::nullopt;  // no end code
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
  const int packed = static_cast<std::uint8_t>(b[10]);
  std::size_t at = 13;
  if (packed & 0x80) {
    d.colours = 2 << (packed & 7);
    at += 3 * d.colours;
  }
  while (at < b.size()) {
    const char block = b[at++];
    if (block == ';') {
      if (at != b.size())
        d.error = "bytes after the trailer";
      else if (d.pixels.size() != static_cast<std::size_t>(d.width * d.height))
        d.error = "pixel count differs from the screen";
      return d;
    }
    if (block == '!') {
      ++at;  // label
      if (!SubBlocks(b, at)) return fail("broken extension");
    } else if (block == ',') {
      if (at + 10 > b.size()) return fail("short image descriptor");
      const int w = Word(b, at + 4), h = Word(b, at + 6),
                flags = static_cast<std::uint8_t>(b[at + 8]);
      at += 9;
      if (flags & 0x80) return fail("unexpected local table");
      const int min = static_cast<std::uint8_t>(b[at++]);
      const auto data = SubBlocks(b, at);
      if (!data) return fail("broken image data");
      const auto pixels = Lzw(*data, min);
      if (!pixels) return fail("broken LZW stream");
      if (pixels->size() != static_cast<std::size_t>(w * h)) return fail("short image");
      for (std::uint8_t p : *pixels)
        if (p >= d.colours) return fail("pixel outside the palette");
      d.pixels = *pixels;
    } else {
      return fail("unknown block");
    }
  }
  d.error = "no trailer";
  return d;
}

std::vector<Rgb> Greys(int n) {
  std::vector<Rgb> palette;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
    palette.push_back({v, v, v});
  }
  return palette;
}

TEST(GifTest, EncodedPicturesDecodeToTheirPixels) {
  struct Case {
    int width, height, colours;
  } cases[] = {{1, 1, 4},    {17, 3, 4},    {16, 16, 16},
               {64, 75, 16}, {300, 7, 256}, {5, 9, 2 * 2 * 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Canvas canvas(c.width, c.height, 0);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        canvas.Set(x, y, static_cast<std::uint8_t>((x * 7 + y * 13) % c.colours));
    const std::string gif = EncodeGif(canvas, Greys(c.colours));
    const Decoded d = Decode(gif);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    EXPECT_EQ(d.colours, c.colours);
    EXPECT_EQ(d.pixels, canvas.pixels());
  }
  EXPECT_ANY_THROW(EncodeGif(Canvas(1, 1, 0), Greys(3)));
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

struct ImageCase {
  std::string path;
  int width, height;  // 0: any sane size
};

std::vector<ImageCase> ReferencedImages() {
  std::vector<ImageCase> all;
  for (int k = 1; k <= 10; ++k) {
    all.push_back({"pic/Boy" + std::to_string(k) + ".gif", 32, 32});
    all.push_back({"pic/Girl" + std::to_string(k) + ".gif", 32, 32});
  }
  for (int k = 1; k <= 20; ++k)
    all.push_back({"pic/" + std::to_string(k) + ".gif", 32, 32});
  for (std::string_view icon :
       {"pic/zip.gif", "pic/rar.gif", "pic/email1.gif", "pic/url.gif", "pic/gif.gif",
        "pic/jpg.gif", "pic2/replay.gif", "pic2/mail.gif", "pic2/home.gif", "pic2/qq.gif",
        "favicon.ico"})
    all.push_back({std::string(icon), 16, 16});
  all.push_back({"hpghomepage2.gif", 64, 54});
  all.push_back({"mfsq.GIF", 64, 75});
  all.push_back({"hpgtumassage.gif", 64, 54});
  all.push_back({"hpgtumanage.gif", 64, 54});
  all.push_back({"hpgtuemail.gif", 64, 54});
  all.push_back({"nothing.gif", 0, 0});
  all.push_back({"white.GIF", 30, 6});
  return all;
}

TEST(ImagesTest, EveryReferencedImageIsAValidGif) {
  for (const ImageCase& c : ReferencedImages()) {
    SCOPED_TRACE(c.path);
    const server::Asset* asset = server::FindAsset(c.path);
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(asset->content_type, "image/gif");
    EXPECT_EQ(asset->bytes.back(), 0x3B);
    const Decoded d = Decode(asset->bytes);
    EXPECT_EQ(d.error, "");
    if (c.width) {
      EXPECT_EQ(d.width, c.width);
      EXPECT_EQ(d.height, c.height);
    }
    EXPECT_GT(d.width, 0);
    EXPECT_LE(d.width, 200);
    EXPECT_GT(d.height, 0);
    EXPECT_LE(d.height, 200);
    // A picture, not a blank: at least two colours (the spacer excepted).
    const std::set<std::uint8_t> used(d.pixels.begin(), d.pixels.end());
    EXPECT_EQ(used.size() > 1, c.path != "white.GIF");
  }
}

TEST(ImagesTest, AvatarsAreDistinctAndNumberedAlike) {
  std::set<std::string_view> pictures;
  for (int k = 1; k <= 10; ++k) {
    const std::string n = std::to_string(k);
    const auto* boy = server::FindAsset("pic/Boy" + n + ".gif");
    const auto* girl = server::FindAsset("pic/Girl" + n + ".gif");
    ASSERT_TRUE(boy && girl);
    pictures.insert(boy->bytes);
    pictures.insert(girl->bytes);
    EXPECT_EQ(server::FindAsset("pic/" + n + ".gif")->bytes, boy->bytes);
    EXPECT_EQ(server::FindAsset("pic/" + std::to_string(k + 10) + ".gif")->bytes,
              girl->bytes);
  }
  EXPECT_EQ(pictures.size(), 20u);
  // Drawn once: the same bytes on every lookup.
  EXPECT_EQ(server::FindAsset("pic/Boy1.gif")->bytes.data(),
            server::FindAsset("PIC/BOY1.GIF")->bytes.data());
}

// Every image a rendered page points to is served.
class ImagesInPagesTest : public testing::PagesTest {};

TEST_F(ImagesInPagesTest, EveryImageAPageShowsExists) {
  AddBook("abc");
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
  struct Case {
    std::string_view path, name;
  } pages[] = {
      {"show.asp", "abc"}, {"show.asp", "empty"}, {"add.asp", "abc"}, {"index.asp", ""}};
  std::set<std::string> seen;
  const std::regex src(R"re(src=["']?([^"' >]+))re", std::regex::icase);
  for (const Case& c : pages) {
    Fresh();
    page().query.Add("name", c.name);
    const std::string body = Run(c.path);
    for (auto it = std::sregex_iterator(body.begin(), body.end(), src);
         it != std::sregex_iterator(); ++it) {
      const std::string target = (*it)[1];
      if (target.starts_with("http")) continue;
      seen.insert(target);
      EXPECT_NE(server::FindAsset(target), nullptr) << target << " in " << c.path;
    }
  }
  for (std::string_view expected :
       {"pic/7.gif", "pic/zip.gif", "pic/rar.gif", "pic/email1.gif", "pic/url.gif",
        "pic/jpg.gif", "pic2/replay.gif", "pic2/mail.gif", "pic2/home.gif", "pic2/qq.gif",
        "white.GIF", "hpghomepage2.gif", "mfsq.GIF", "hpgtumassage.gif",
        "hpgtumanage.gif", "hpgtuemail.gif", "nothing.gif", "pic/Boy1.gif",
        "pic/Girl10.gif"})
    EXPECT_TRUE(seen.contains(std::string(expected))) << expected;
}

}  // namespace
}  // namespace tb
