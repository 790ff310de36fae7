#include "host/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "host/ascii.h"

namespace tb::host {
namespace {

// One iconv conversion descriptor, closed when it goes out of scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                               to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; an invalid or incomplete sequence is replaced by
  // `bad` and its first byte skipped.
  std::string Run(std::string_view in, std::string_view bad) {
    std::string out;
    out.reserve(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buf[4096];
    while (src_left > 0) {
      char* dst = buf;
      std::size_t dst_left = sizeof buf;
      std::size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buf, dst - buf);
      if (rc == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        out.append(bad);  // EILSEQ or EINVAL
        ++src;
        --src_left;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    char* dst = buf;
    std::size_t dst_left = sizeof buf;
    iconv(cd_, nullptr, nullptr, &dst, &dst_left);
    out.append(buf, dst - buf);
    return out;
  }

  // Converts one character's bytes; nullopt when iconv refuses them.
  std::optional<std::string> ConvertOne(std::string_view in) {
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buf[16];
    char* dst = buf;
    std::size_t dst_left = sizeof buf;
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      return std::nullopt;
    }
    return std::string(buf, dst - buf);
  }

 private:
  iconv_t cd_;
};

// The code point of the UTF-8 sequence at `pos` and its length, or length 0
// when the bytes there are not a whole, shortest-form sequence of a Unicode
// scalar value (what iconv refuses: overlong forms, surrogates, beyond
// U+10FFFF, stray or missing continuation bytes).
struct Decoded {
  char32_t code_point = 0;
  std::size_t length = 0;
};

Decoded DecodeUtf8(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) {
    return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0u;
  };
  const auto continuation = [&](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF && continuation(1))
    return {char32_t((lead & 0x1F) << 6 | (byte(1) & 0x3F)), 2};
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    if (byte(1) < low || byte(1) > high || !continuation(2)) return {};
    return {char32_t((lead & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F)), 3};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high || !continuation(2) || !continuation(3))
      return {};
    return {char32_t((lead & 0x07) << 18 | (byte(1) & 0x3F) << 12 |
                     (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F)),
            4};
  }
  return {};
}

// The UTF-8 form of a code point from U+0080.
std::string Utf8(char32_t cp) {
  const auto tail = [cp](int shift) { return char(0x80 | (cp >> shift & 0x3F)); };
  if (cp < 0x800) return {char(0xC0 | cp >> 6), tail(0)};
  if (cp < 0x10000) return {char(0xE0 | cp >> 12), tail(6), tail(0)};
  return {char(0xF0 | cp >> 18), tail(12), tail(6), tail(0)};
}

// The four-byte code numbered `pointer`: 0x81308130 is 0, the last byte
// counts fastest (10 digits), then the third (126 values from 0x81), then the
// second (10 digits) and the first (from 0x81).
std::string FourByteCode(std::uint32_t pointer) {
  std::string code(4, '\0');
  code[3] = static_cast<char>(0x30 + pointer % 10);
  pointer /= 10;
  code[2] = static_cast<char>(0x81 + pointer % 126);
  pointer /= 126;
  code[1] = static_cast<char>(0x30 + pointer % 10);
  code[0] = static_cast<char>(0x81 + pointer / 10);
  return code;
}

// Code points beyond the Basic Multilingual Plane have four-byte codes in
// one linear run from 0x90308130, code number 189000.
constexpr std::uint32_t kLinearStart = 189000;
std::string LinearCode(char32_t cp) {
  return FourByteCode(kLinearStart + (cp - 0x10000));
}

// Where browsers read GB18030 bytes (on gb2312, GBK and gb18030 pages alike)
// otherwise than iconv does; the decoding tables are drawn from iconv and then
// given these code points:
// - 0xA3A0 is the ideographic space U+3000 (iconv: the private-use U+E5E5);
// - 0xFE51, 0xFE52, 0xFE53, 0xFE6C, 0xFE76 and 0xFE91 are private-use code
//   points (iconv: ideographs of the second plane, which browsers read only
//   from their linear four-byte codes);
// - the four-byte codes first given to the ideographs U+9FB4..U+9FBB and the
//   vertical forms U+FE10..U+FE19 still read as those (iconv refuses them,
//   since it reads those code points from 0xFE59.. and 0xA6D9.., as browsers
//   also do).
// The single byte 0x80, "€", is read in FromGb18030 itself.
struct BrowserCode {
  std::uint32_t bytes;  // the first of `count` consecutive codes
  char32_t code_point;  // the first code point, counted up with the codes
  unsigned count = 1;
};
constexpr std::array<BrowserCode, 9> kBrowserCodes{{
    {0xA3A0, 0x3000},
    {0xFE51, 0xE816},
    {0xFE52, 0xE817},
    {0xFE53, 0xE818},
    {0xFE6C, 0xE831},
    {0xFE76, 0xE83B},
    {0xFE91, 0xE855},
    {0x82359037, 0x9FB4, 8},
    {0x84318236, 0xFE10, 10},
}};

// The GB18030 code of every code point of the Basic Multilingual Plane, drawn
// from iconv once; a code point iconv has no code for takes its two-byte code
// from kBrowserCodes, so that browsers read it back. Pages are converted by
// table look-ups instead of an iconv set-up and two conversion passes per
// page, which cost about a tenth of a small guestbook page. Every code point
// beyond the plane has its linear four-byte code, which browsers read back as
// that code point. Built at first use and never changed.
class Gb18030Table {
 public:
  Gb18030Table() : codes_(kBmpSize) {
    Converter converter("GB18030", "UTF-8");
    for (char32_t cp = 0x80; cp < kBmpSize; ++cp) {
      if (auto code = converter.ConvertOne(Utf8(cp))) codes_[cp] = Pack(*code);
    }
    for (const BrowserCode& c : kBrowserCodes) {
      if (c.bytes <= 0xFFFF && codes_[c.code_point].length == 0)
        codes_[c.code_point] = {c.bytes, 2};
    }
  }

  // Appends the code of the code point `cp`, or one "?" per byte of its
  // UTF-8 form when GB18030 has none (as the iconv conversion wrote it).
  void Append(char32_t cp, std::size_t utf8_length, std::string& out) const {
    if (cp >= kBmpSize) {
      out += LinearCode(cp);
      return;
    }
    const Code code = codes_[cp];
    if (code.length == 0) {
      out.append(utf8_length, '?');
      return;
    }
    for (std::size_t i = code.length; i-- > 0;)
      out += static_cast<char>(code.bytes >> (8 * i));
  }

 private:
  struct Code {
    std::uint32_t bytes = 0;
    std::uint8_t length = 0;  // 0: none
  };
  static Code Pack(std::string_view code) {
    if (code.empty() || code.size() > 4) return {};
    Code packed{0, static_cast<std::uint8_t>(code.size())};
    for (unsigned char c : code) packed.bytes = packed.bytes << 8 | c;
    return packed;
  }

  static constexpr char32_t kBmpSize = 0x10000;
  std::vector<Code> codes_;
};

// The code point of every two-byte code and of every four-byte code of the
// Basic Multilingual Plane, as browsers read them: drawn from iconv once and
// given kBrowserCodes, so that reading a character is one look-up. Built at
// first use and never changed.
class Gb18030Index {
 public:
  // Two-byte codes: a lead byte 0x81..0xFE and a trail byte 0x40..0x7E or
  // 0x80..0xFE, numbered lead by lead.
  static constexpr std::size_t kTwoByteCodes = 126 * 190;
  // Four-byte codes 0x81308130..0x8431A439 hold the rest of the plane; the
  // codes from 0x90308130 count linearly from U+10000 to U+10FFFF.
  static constexpr std::uint32_t kPlaneCodes = 39420;
  static constexpr std::uint32_t kLinearEnd = kLinearStart + 0x100000;

  Gb18030Index() : two_byte_(kTwoByteCodes), four_byte_(kPlaneCodes) {
    Converter converter("UTF-32LE", "GB18030");
    const auto read = [&](std::string_view code) -> char16_t {
      auto utf32 = converter.ConvertOne(code);
      // Code points beyond the plane are left to kBrowserCodes.
      if (!utf32 || utf32->size() != 4 || (*utf32)[2] != 0 || (*utf32)[3] != 0) return 0;
      return static_cast<char16_t>(static_cast<unsigned char>((*utf32)[0]) |
                                   static_cast<unsigned char>((*utf32)[1]) << 8);
    };
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail != 0x7F) {
          two_byte_[TwoBytePointer(lead, trail)] =
              read(std::string{char(lead), char(trail)});
        }
      }
    }
    for (std::uint32_t pointer = 0; pointer < kPlaneCodes; ++pointer) {
      four_byte_[pointer] = read(FourByteCode(pointer));
    }
    for (const BrowserCode& c : kBrowserCodes) {
      const bool two_byte = c.bytes <= 0xFFFF;
      std::vector<char16_t>& table = two_byte ? two_byte_ : four_byte_;
      const std::size_t first =
          two_byte ? TwoBytePointer(c.bytes >> 8, c.bytes & 0xFF)
                   : FourBytePointer(c.bytes >> 24, c.bytes >> 16 & 0xFF,
                                     c.bytes >> 8 & 0xFF, c.bytes & 0xFF);
      for (unsigned i = 0; i < c.count; ++i)
        table[first + i] = static_cast<char16_t>(c.code_point + i);
    }
  }

  // The code point of a lead byte and a trail byte, or 0 when they are no code.
  char32_t TwoByte(int lead, int trail) const {
    if (trail < 0x40 || trail == 0x7F || trail > 0xFE) return 0;
    return two_byte_[TwoBytePointer(lead, trail)];
  }

  // The code point of a lead byte, a digit, a byte 0x81..0xFE and a digit, or
  // 0 when they are no code.
  char32_t FourByte(int b1, int b2, int b3, int b4) const {
    const std::uint32_t pointer = FourBytePointer(b1, b2, b3, b4);
    if (pointer < kPlaneCodes) return four_byte_[pointer];
    if (pointer >= kLinearStart && pointer < kLinearEnd)
      return 0x10000 + (pointer - kLinearStart);
    return 0;
  }

 private:
  static std::size_t TwoBytePointer(int lead, int trail) {
    return (lead - 0x81) * 190 + trail - (trail < 0x7F ? 0x40 : 0x41);
  }
  static std::uint32_t FourBytePointer(int b1, int b2, int b3, int b4) {
    return ((b1 - 0x81) * 10 + (b2 - 0x30)) * 1260 + (b3 - 0x81) * 10 + (b4 - 0x30);
  }

  std::vector<char16_t> two_byte_;   // 0: no code
  std::vector<char16_t> four_byte_;  // 0: no code
};

}  // namespace

std::string ToGb18030(std::string_view utf8) {
  std::string out;
  AppendGb18030(out, utf8);
  return out;
}

void AppendGb18030(std::string& out, std::string_view utf8) {
  static const Gb18030Table table;
  const auto is_ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  // At least as many bytes come out as go in; growth stays geometric when
  // many short texts are appended.
  if (out.capacity() - out.size() < utf8.size())
    out.reserve(std::max(out.size() + utf8.size(), 2 * out.capacity()));
  for (std::size_t i = 0; i < utf8.size();) {
    if (is_ascii(utf8[i])) {
      std::size_t end = i + 1;
      while (end < utf8.size() && is_ascii(utf8[end])) ++end;
      out.append(utf8, i, end - i);
      i = end;
      continue;
    }
    const Decoded d = DecodeUtf8(utf8, i);
    if (d.length == 0) {
      out += '?';  // the bad byte alone; what follows is read afresh
      ++i;
    } else {
      table.Append(d.code_point, d.length, out);
      i += d.length;
    }
  }
}

std::string FromGb18030(std::string_view gb) {
  if (std::all_of(gb.begin(), gb.end(), [](char c) { return (c & 0x80) == 0; }))
    return std::string(gb);
  static const Gb18030Index index;
  // Byte `i` of the text, or -1 past its end.
  const auto at = [&](std::size_t i) {
    return i < gb.size() ? static_cast<unsigned char>(gb[i]) : -1;
  };
  const auto is_digit = [](int b) { return b >= 0x30 && b <= 0x39; };
  const auto is_third = [](int b) { return b >= 0x81 && b <= 0xFE; };
  std::string out;
  out.reserve(gb.size() * 3 / 2);
  const auto append = [&](char32_t cp) {
    if (cp == 0) {
      out += "\xEF\xBF\xBD";
    } else {
      out += Utf8(cp);
    }
  };
  // A code cut short by the end of the text is one U+FFFD. A code broken
  // by a byte that cannot follow is U+FFFD, and what follows its lead byte is
  // read afresh, but for the trail byte of a two-byte code, which is read
  // afresh only when it is ASCII.
  for (std::size_t i = 0; i < gb.size();) {
    const int lead = at(i), second = at(i + 1);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
    } else if (lead == 0x80 || lead == 0xFF) {
      append(lead == 0x80 ? U'\u20AC' : 0);
      ++i;
    } else if (second < 0) {
      append(0);
      ++i;
    } else if (!is_digit(second)) {
      const char32_t cp = index.TwoByte(lead, second);
      append(cp);
      i += cp == 0 && second < 0x80 ? 1 : 2;
    } else if (const int third = at(i + 2), fourth = at(i + 3);
               third < 0 || (is_third(third) && fourth < 0)) {
      append(0);
      i = gb.size();
    } else if (!is_third(third) || !is_digit(fourth)) {
      append(0);
      ++i;
    } else {
      append(index.FourByte(lead, second, third, fourth));
      i += 4;
    }
  }
  return out;
}

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length =
        static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : DecodeUtf8(bytes, i).length;
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes, i, length);
      i += length;
    }
  }
  return out;
}

std::string PercentEncode(std::string_view bytes, bool (*keep)(unsigned char),
                          Plus plus) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (keep(c)) {
      out += static_cast<char>(c);
    } else if (c == ' ' && plus == Plus::kIsBlank) {
      out += '+';
    } else {
      out += '%';
      AppendHex(out, c, HexCase::kUpper);
    }
  }
  return out;
}

std::string UrlEncode(std::string_view utf8) {
  return PercentEncode(
      ToGb18030(utf8),
      [](unsigned char c) {
        return IsAsciiLetter(static_cast<char>(c)) || IsDigit(static_cast<char>(c));
      },
      Plus::kIsBlank);
}

std::string PercentDecode(std::string_view text, Plus plus) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plus == Plus::kIsBlank) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) &&
               IsHexDigit(text[i + 2])) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tb::host
