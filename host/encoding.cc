#include "host/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

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

 private:
  iconv_t cd_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToGb18030(std::string_view utf8) {
  for (unsigned char c : utf8) {
    if (c >= 0x80) return Converter("GB18030", "UTF-8").Run(utf8, "?");
  }
  return std::string(utf8);
}

std::string FromGb18030(std::string_view gb) {
  for (unsigned char c : gb) {
    if (c >= 0x80) return Converter("UTF-8", "GB18030").Run(gb, "\xEF\xBF\xBD");
  }
  return std::string(gb);
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
