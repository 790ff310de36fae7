// The site's pictures, drawn with a few shapes in one sixteen-colour palette.
#include "server/pages/images.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "server/pages/gif.h"

namespace tb::server::pages {
namespace {

enum Colour : std::uint8_t {
  kWhite,
  kBlack,
  kSkin,
  kBrown,
  kGold,
  kRed,
  kGreen,
  kBlue,
  kSky,
  kPink,
  kOrange,
  kPurple,
  kGrey,
  kLightGrey,
  kTeal,
  kPageGrey,  // the background of the avatar cells
};

constexpr std::array<Rgb, 16> kPalette = {{
    {0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0x00},
    {0xFF, 0xDD, 0xB0},
    {0x80, 0x40, 0x20},
    {0xE0, 0xB0, 0x30},
    {0xD0, 0x20, 0x20},
    {0x30, 0xA0, 0x40},
    {0x20, 0x50, 0xC0},
    {0xA0, 0xC8, 0xF0},
    {0xF4, 0xA0, 0xC0},
    {0xF0, 0x80, 0x20},
    {0x80, 0x40, 0xB0},
    {0x80, 0x80, 0x80},
    {0xE0, 0xE0, 0xE0},
    {0x00, 0x80, 0x80},
    {0xF7, 0xF7, 0xF7},
}};

// ---- Shapes drawn into a box (corners inclusive) --------------------------

void Envelope(Canvas& c, int x0, int y0, int x1, int y1, std::uint8_t ink) {
  const int cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  c.Rect(x0, y0, x1, y1, kWhite);
  c.Frame(x0, y0, x1, y1, ink);
  c.Line(x0, y0, cx, cy, ink);
  c.Line(x1, y0, cx, cy, ink);
}

void House(Canvas& c, int x0, int y0, int x1, int y1) {
  const int w = x1 - x0, h = y1 - y0, cx = (x0 + x1) / 2, eaves = y0 + h * 2 / 5;
  c.Rect(x0 + w / 6, eaves, x1 - w / 6, y1, kOrange);
  c.Peak(cx, y0, eaves, w / 2, kRed);
  c.Rect(cx - w / 10, y1 - h / 3, cx + w / 10, y1, kBrown);
}

void Globe(Canvas& c, int cx, int cy, int r) {
  c.Disk(cx, cy, r, kBlue);
  c.Disk(cx - r / 3, cy - r / 3, r / 3, kGreen);
  c.Disk(cx + r / 3, cy + r / 3, r / 4, kGreen);
  c.Line(cx - r, cy, cx + r, cy, kSky);
  c.Line(cx, cy - r, cx, cy + r, kSky);
}

void Picture(Canvas& c, int x0, int y0, int x1, int y1, std::uint8_t frame) {
  c.Rect(x0, y0, x1, y1, kSky);
  c.Peak((x0 + x1) / 2, (y0 + y1) / 2, y1, (x1 - x0) / 2, kGreen);
  c.Disk(x1 - 3, y0 + 3, 2, kGold);
  c.Frame(x0, y0, x1, y1, frame);
}

void Paper(Canvas& c, int x0, int y0, int x1, int y1) {
  c.Rect(x0, y0, x1, y1, kWhite);
  c.Frame(x0, y0, x1, y1, kGrey);
  for (int y = y0 + 6; y < y1 - 3; y += 6) c.Line(x0 + 4, y, x1 - 4, y, kLightGrey);
}

// ---- Pictures -------------------------------------------------------------

// A face on a coloured badge: the badge tells the ten apart, hair colour and
// mouth vary too; girls have long hair, a bow and rosy cheeks.
Canvas Avatar(bool girl, int k) {
  constexpr std::array<std::uint8_t, 10> kBadges = {
      kSky, kGreen, kOrange, kPurple, kTeal, kBlue, kRed, kGold, kGrey, kPink};
  constexpr std::array<std::uint8_t, 3> kHair = {kBrown, kBlack, kGold};
  const std::uint8_t hair = kHair[k % 3];
  Canvas c(32, 32, kPageGrey);
  c.Disk(16, 16, 15, kBadges[k]);
  if (girl) c.Rect(6, 15, 26, 28, hair);
  c.Disk(16, 15, 11, hair);
  c.Disk(16, 18, 9, kSkin);
  if (!girl) c.Rect(9, 9, 23, 10, hair);
  c.Rect(12, 16, 13, 17, kBlack);
  c.Rect(19, 16, 20, 17, kBlack);
  if (girl) {
    c.Disk(24, 6, 3, kRed);
    c.Disk(11, 21, 1, kPink);
    c.Disk(21, 21, 1, kPink);
  }
  switch (k % 3) {
    case 0:  // smile
      c.Line(12, 21, 14, 23, kRed);
      c.Line(14, 23, 18, 23, kRed);
      c.Line(18, 23, 20, 21, kRed);
      break;
    case 1:  // open mouth
      c.Disk(16, 23, 1, kRed);
      break;
    default:  // calm
      c.Rect(14, 23, 18, 23, kRed);
      break;
  }
  return c;
}

Canvas Icon(const std::function<void(Canvas&)>& draw) {
  Canvas c(16, 16, kWhite);
  draw(c);
  return c;
}

Canvas Button(int height, const std::function<void(Canvas&)>& draw) {
  Canvas c(64, height, kLightGrey);
  c.Frame(0, 0, 63, height - 1, kTeal);
  c.Frame(1, 1, 62, height - 2, kWhite);
  draw(c);
  return c;
}

Canvas Zip() {
  return Icon([](Canvas& c) {
    c.Rect(2, 3, 13, 13, kGold);
    c.Frame(2, 3, 13, 13, kBrown);
    for (int y = 3; y <= 13; y += 2) {
      c.Set(7, y, kBlack);
      c.Set(8, y + 1, kBlack);
    }
  });
}

Canvas Rar() {
  return Icon([](Canvas& c) {
    constexpr std::array<std::uint8_t, 3> kBooks = {kRed, kBlue, kGreen};
    for (int i = 0; i < 3; ++i) {
      c.Rect(2 + i, 2 + i * 4, 13 - i, 5 + i * 4, kBooks[i]);
      c.Frame(2 + i, 2 + i * 4, 13 - i, 5 + i * 4, kBlack);
    }
  });
}

Canvas Qq() {
  return Icon([](Canvas& c) {
    c.Disk(8, 5, 4, kBlack);
    c.Disk(8, 11, 4, kBlack);
    c.Disk(8, 12, 2, kWhite);
    c.Set(6, 4, kWhite);
    c.Set(10, 4, kWhite);
    c.Rect(7, 6, 9, 7, kOrange);
    c.Rect(4, 8, 12, 8, kRed);
    c.Rect(4, 15, 6, 15, kOrange);
    c.Rect(10, 15, 12, 15, kOrange);
  });
}

Canvas Reply() {
  return Icon([](Canvas& c) {
    c.Rect(1, 2, 14, 10, kSky);
    c.Frame(1, 2, 14, 10, kBlue);
    c.Line(4, 11, 3, 14, kBlue);
    c.Line(4, 11, 7, 11, kBlue);
    for (int x = 4; x <= 11; x += 3) c.Rect(x, 6, x + 1, 6, kBlue);
  });
}

Canvas Nothing() {
  Canvas c(96, 60, kWhite);
  Envelope(c, 18, 12, 78, 48, kGrey);
  c.Disk(48, 30, 22, kRed);
  c.Disk(48, 30, 18, kWhite);
  Envelope(c, 34, 20, 62, 40, kGrey);
  for (int d = -1; d <= 1; ++d) c.Line(34 + d, 16, 62 + d, 44, kRed);
  return c;
}

// ---- The library ----------------------------------------------------------

struct Drawn {
  std::string path;
  Canvas canvas;
};

std::vector<Drawn> DrawAll() {
  std::vector<Drawn> all;
  for (int k = 0; k < 10; ++k) {
    const std::string n = std::to_string(k + 1);
    all.push_back({"pic/Boy" + n + ".gif", Avatar(false, k)});
    all.push_back({"pic/Girl" + n + ".gif", Avatar(true, k)});
    // The same pictures by the number a message stores: 1-10 boys, 11-20 girls.
    all.push_back({"pic/" + n + ".gif", Avatar(false, k)});
    all.push_back({"pic/" + std::to_string(k + 11) + ".gif", Avatar(true, k)});
  }

  // The UBB renderer's icons; an upload is shown with the icon of its type.
  all.push_back({"pic/zip.gif", Zip()});
  all.push_back({"pic/rar.gif", Rar()});
  all.push_back(
      {"pic/email1.gif", Icon([](Canvas& c) { Envelope(c, 1, 3, 14, 12, kBlue); })});
  all.push_back({"pic/url.gif", Icon([](Canvas& c) { Globe(c, 7, 7, 6); })});
  const std::array<std::pair<std::string_view, Colour>, 4> kUploads = {
      {{"gif", kPurple}, {"jpg", kTeal}, {"png", kOrange}, {"bmp", kGrey}}};
  // The colour is captured by an initializer: clang 14 cannot capture a
  // structured binding.
  for (const auto& [type, frame] : kUploads) {
    all.push_back({"pic/" + std::string(type) + ".gif", Icon([colour = frame](Canvas& c) {
                     Picture(c, 1, 2, 14, 13, colour);
                   })});
  }

  // The icons of a message block.
  all.push_back({"pic2/replay.gif", Reply()});
  all.push_back(
      {"pic2/mail.gif", Icon([](Canvas& c) { Envelope(c, 1, 3, 14, 12, kRed); })});
  all.push_back({"pic2/home.gif", Icon([](Canvas& c) { House(c, 1, 1, 14, 14); })});
  all.push_back({"pic2/qq.gif", Qq()});

  // The guestbook page's head buttons and spacers.
  all.push_back(
      {"hpghomepage2.gif", Button(54, [](Canvas& c) { House(c, 14, 6, 50, 47); })});
  all.push_back({"mfsq.GIF", Button(75, [](Canvas& c) {
                   Paper(c, 14, 8, 49, 66);
                   c.Rect(28, 22, 35, 52, kGreen);
                   c.Rect(17, 34, 46, 41, kGreen);
                 })});
  all.push_back({"hpgtumassage.gif", Button(54, [](Canvas& c) {
                   Paper(c, 12, 6, 44, 47);
                   for (int d = 0; d < 3; ++d) c.Line(30 + d, 40, 52 + d, 14, kBlue);
                   c.Line(29, 42, 30, 40, kGold);
                 })});
  all.push_back({"hpgtumanage.gif", Button(54, [](Canvas& c) {
                   c.Disk(20, 27, 10, kGold);
                   c.Disk(20, 27, 4, kLightGrey);
                   c.Rect(29, 25, 54, 29, kGold);
                   c.Rect(45, 30, 47, 36, kGold);
                   c.Rect(50, 30, 52, 34, kGold);
                 })});
  all.push_back({"hpgtuemail.gif",
                 Button(54, [](Canvas& c) { Envelope(c, 10, 12, 53, 42, kRed); })});
  all.push_back({"nothing.gif", Nothing()});
  // The browsers' tab icon: a note. Browsers read a GIF under this name.
  all.push_back({"favicon.ico", Icon([](Canvas& c) {
                   Paper(c, 2, 1, 13, 14);
                   c.Rect(5, 5, 10, 6, kGreen);
                   c.Rect(5, 9, 10, 10, kGreen);
                 })});
  all.push_back({"white.GIF", Canvas(30, 6, kWhite)});
  return all;
}

// The files and their table, made once; the table points into the files.
class Library {
 public:
  Library() {
    for (const Drawn& d : DrawAll())
      files_.push_back({d.path, EncodeGif(d.canvas, kPalette)});
    for (const auto& [path, bytes] : files_)
      assets_.push_back({path, "image/gif", bytes});
  }
  std::span<const Asset> assets() const { return assets_; }

 private:
  std::vector<std::pair<std::string, std::string>> files_;
  std::vector<Asset> assets_;
};

}  // namespace

std::span<const Asset> Images() {
  static const Library library;
  return library.assets();
}

}  // namespace tb::server::pages
