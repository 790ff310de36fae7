// File: gif.h — a small drawing surface and GIF89a writer for the pictures
// the site draws itself (avatars, icons, the guestbook page's buttons).
//
// Pixels are palette indices. The writer emits plain LZW: every pixel as a
// literal code, with a clear code often enough that the code width never
// grows, which any GIF decoder reads.
//
// Example:
//   Canvas c(16, 16, 0);
//   c.Disk(8, 8, 6, 5);
//   std::string gif = EncodeGif(c, kPalette);  // "GIF89a..." ending in ';'
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tb::server::pages {

struct Rgb {
  std::uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height, std::uint8_t background);

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<std::uint8_t>& pixels() const { return pixels_; }
  std::uint8_t At(int x, int y) const { return pixels_[y * width_ + x]; }

  // Drawing clips at the edges. Corners are inclusive.
  void Set(int x, int y, std::uint8_t colour);
  void Rect(int x0, int y0, int x1, int y1, std::uint8_t colour);
  void Frame(int x0, int y0, int x1, int y1, std::uint8_t colour);
  void Disk(int cx, int cy, int r, std::uint8_t colour);
  void Line(int x0, int y0, int x1, int y1, std::uint8_t colour);
  // A triangle with its apex at (cx, top) and its base from cx - half to
  // cx + half on row `base`.
  void Peak(int cx, int top, int base, int half, std::uint8_t colour);

 private:
  int width_, height_;
  std::vector<std::uint8_t> pixels_;
};

// The GIF89a file of the canvas with a global colour table. The palette holds
// 4 to 256 colours, a power of two, and every pixel indexes it.
std::string EncodeGif(const Canvas& canvas, std::span<const Rgb> palette);

}  // namespace tb::server::pages
