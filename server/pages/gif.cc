#include "server/pages/gif.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace tb::server::pages {
namespace {

void PutByte(std::string& out, int byte) { out += static_cast<char>(byte & 0xFF); }

void PutWord(std::string& out, int word) {
  PutByte(out, word);
  PutByte(out, word >> 8);
}

// Codes packed least significant bit first, as GIF wants them.
class BitWriter {
 public:
  void Put(int code, int width) {
    buffer_ |= static_cast<std::uint32_t>(code) << used_;
    used_ += width;
    while (used_ >= 8) {
      PutByte(bytes_, static_cast<int>(buffer_));
      buffer_ >>= 8;
      used_ -= 8;
    }
  }
  std::string Finish() {
    if (used_ > 0) PutByte(bytes_, static_cast<int>(buffer_));
    buffer_ = 0;
    used_ = 0;
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  std::uint32_t buffer_ = 0;
  int used_ = 0;
};

}  // namespace

Canvas::Canvas(int width, int height, std::uint8_t background)
    : width_(width), height_(height), pixels_(width * height, background) {}

void Canvas::Set(int x, int y, std::uint8_t colour) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[y * width_ + x] = colour;
}

void Canvas::Rect(int x0, int y0, int x1, int y1, std::uint8_t colour) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) Set(x, y, colour);
}

void Canvas::Frame(int x0, int y0, int x1, int y1, std::uint8_t colour) {
  Rect(x0, y0, x1, y0, colour);
  Rect(x0, y1, x1, y1, colour);
  Rect(x0, y0, x0, y1, colour);
  Rect(x1, y0, x1, y1, colour);
}

void Canvas::Disk(int cx, int cy, int r, std::uint8_t colour) {
  for (int y = -r; y <= r; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r + r) Set(cx + x, cy + y, colour);
}

void Canvas::Line(int x0, int y0, int x1, int y1, std::uint8_t colour) {
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  for (int err = dx + dy;;) {
    Set(x0, y0, colour);
    if (x0 == x1 && y0 == y1) return;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void Canvas::Peak(int cx, int top, int base, int half, std::uint8_t colour) {
  for (int y = top; y <= base; ++y) {
    const int reach = base == top ? half : half * (y - top) / (base - top);
    Rect(cx - reach, y, cx + reach, y, colour);
  }
}

std::string EncodeGif(const Canvas& canvas, std::span<const Rgb> palette) {
  int bits = 2;
  while ((std::size_t{1} << bits) < palette.size()) ++bits;
  if (palette.size() != (std::size_t{1} << bits) || bits > 8)
    throw std::invalid_argument("a GIF palette holds 4 to 256 colours, a power of two");

  std::string out = "GIF89a";
  PutWord(out, canvas.width());
  PutWord(out, canvas.height());
  PutByte(out, 0x80 | ((bits - 1) << 4) | (bits - 1));  // global table of 2^bits
  PutByte(out, 0);                                      // background colour
  PutByte(out, 0);                                      // pixel aspect
  for (const Rgb& c : palette) {
    PutByte(out, c.r);
    PutByte(out, c.g);
    PutByte(out, c.b);
  }

  // One image covering the screen, not interlaced, no local table.
  PutByte(out, ',');
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, canvas.width());
  PutWord(out, canvas.height());
  PutByte(out, 0);

  // Literal codes only. The decoder adds a table entry for each code after
  // the first that follows a clear; a clear before the table reaches the
  // next code width keeps every code `bits + 1` wide.
  const int clear = 1 << bits, end = clear + 1, width = bits + 1;
  const int run = std::max(1, clear - 3);
  BitWriter writer;
  int since_clear = run;
  for (std::uint8_t pixel : canvas.pixels()) {
    if (since_clear == run) {
      writer.Put(clear, width);
      since_clear = 0;
    }
    writer.Put(pixel, width);
    ++since_clear;
  }
  writer.Put(end, width);
  const std::string data = writer.Finish();

  PutByte(out, bits);  // minimum code size
  for (std::size_t at = 0; at < data.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - at);
    PutByte(out, static_cast<int>(n));
    out.append(data, at, n);
  }
  PutByte(out, 0);    // end of the image data
  PutByte(out, ';');  // trailer
  return out;
}

}  // namespace tb::server::pages
