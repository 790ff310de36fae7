#include "host/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

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

// Code points beyond the Basic Multilingual Plane have four-byte codes in
// one linear run from 0x90308130.
std::string LinearCode(char32_t cp) {
  std::uint32_t linear = cp - 0x10000;
  std::string code(4, '\0');
  code[3] = static_cast<char>(0x30 + linear % 10);
  linear /= 10;
  code[2] = static_cast<char>(0x81 + linear % 126);
  linear /= 126;
  code[1] = static_cast<char>(0x30 + linear % 10);
  code[0] = static_cast<char>(0x90 + linear / 10);
  return code;
}

// The GB18030 code of every code point, drawn from iconv once: pages are
// converted by table look-ups instead of an iconv set-up and two conversion
// passes per page, which cost about a tenth of a small guestbook page. The
// table holds the Basic Multilingual Plane and the few ideographs of the
// second plane that have two-byte codes; every other code point beyond it
// has its linear code. Built at first use and never changed.
class Gb18030Table {
 public:
  Gb18030Table() : codes_(kBmpSize) {
    Converter converter("GB18030", "UTF-8");
    for (char32_t cp = 0x80; cp < kBmpSize; ++cp) {
      if (auto code = converter.ConvertOne(Utf8(cp))) codes_[cp] = Pack(*code);
    }
    for (char32_t cp = kPlane2; cp < kPlane2 + kBmpSize; ++cp) {
      auto code = converter.ConvertOne(Utf8(cp));
      if (code && *code != LinearCode(cp)) exceptions_.push_back({cp, Pack(*code)});
    }
  }

  // Appends the code of the code point `cp`, or one "?" per byte of its
  // UTF-8 form when GB18030 has none (as the iconv conversion wrote it).
  void Append(char32_t cp, std::size_t utf8_length, std::string& out) const {
    Code code;
    if (cp < kBmpSize) {
      code = codes_[cp];
    } else {
      auto it = std::lower_bound(
          exceptions_.begin(), exceptions_.end(), cp,
          [](const std::pair<char32_t, Code>& e, char32_t c) { return e.first < c; });
      if (it == exceptions_.end() || it->first != cp) {
        out += LinearCode(cp);
        return;
      }
      code = it->second;
    }
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
  static constexpr char32_t kPlane2 = 0x20000;
  std::vector<Code> codes_;
  std::vector<std::pair<char32_t, Code>> exceptions_;  // by code point
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToGb18030(std::string_view utf8) {
  static const Gb18030Table table;
  const auto is_ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  std::string out;
  out.reserve(utf8.size());
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
  return out;
}

std::string FromGb18030(std::string_view gb) {
  for (unsigned char c : gb) {
    if (c >= 0x80) return Converter("UTF-8", "GB18030").Run(gb, "\xEF\xBF\xBD");
  }
  return std::string(gb);
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

std::string UrlEncode(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : ToGb18030(utf8)) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tb::host
