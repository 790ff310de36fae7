#include "server/http/request_fields.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "host/ascii.h"
#include "host/date_time.h"
#include "host/encoding.h"

namespace tb::server::http {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  return host::Trim(s, host::kHeaderBlanks);
}

// Splits a header value at ";" outside quoted strings.
std::vector<std::string_view> SplitParameters(std::string_view header) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < header.size(); ++i) {
    char c = header[i];
    if (quoted && c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      parts.push_back(header.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(header.substr(start));
  return parts;
}

std::string Unquote(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
    return std::string(value);
  }
  std::string out;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[i] == '\\' && i + 2 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

// The media type of a Content-Type value, without parameters.
std::string_view MediaType(std::string_view content_type) {
  return TrimBlanks(content_type.substr(0, content_type.find(';')));
}

// Percent-decoding where "+" stays itself (paths, cookies).
std::string UnescapePercent(std::string_view text) {
  return host::PercentDecode(text, host::Plus::kItself);
}

bool IsUnreserved(unsigned char c) {
  return host::IsDigit(static_cast<char>(c)) ||
         host::IsAsciiLetter(static_cast<char>(c)) || c == '-' || c == '_' || c == '.' ||
         c == '~';
}

bool IsLocationByte(unsigned char c) {
  return c > 0x20 && c < 0x7f && c != '"' && c != '\'' && c != '<' && c != '>' &&
         c != '\\';
}

// One part of a multipart body: its header block and its content.
struct Part {
  std::string_view head;
  std::string_view content;
};

// The parts between the boundaries; nullopt when the body is not framed by
// them as it must be.
std::optional<std::vector<Part>> SplitMultipart(std::string_view body,
                                                std::string_view boundary) {
  if (boundary.empty()) return std::nullopt;
  const std::string delimiter = "--" + std::string(boundary);
  const std::string separator = "\r\n" + delimiter;
  std::size_t pos;
  if (body.substr(0, delimiter.size()) == delimiter) {
    pos = delimiter.size();
  } else {
    // A preamble before the first boundary is allowed and ignored.
    std::size_t first = body.find(separator);
    if (first == std::string_view::npos) return std::nullopt;
    pos = first + separator.size();
  }
  std::vector<Part> parts;
  while (true) {
    std::string_view rest = body.substr(pos);
    if (rest.substr(0, 2) == "--") return parts;  // the closing boundary
    // Blanks may follow a boundary before its line break.
    rest =
        rest.substr(std::min(rest.find_first_not_of(host::kHeaderBlanks), rest.size()));
    if (rest.substr(0, 2) != "\r\n") return std::nullopt;
    rest.remove_prefix(2);
    std::size_t head_end = rest.find("\r\n\r\n");
    if (head_end == std::string_view::npos) return std::nullopt;
    std::string_view after_head = rest.substr(head_end + 4);
    std::size_t next = after_head.find(separator);
    if (next == std::string_view::npos) return std::nullopt;
    parts.push_back({rest.substr(0, head_end), after_head.substr(0, next)});
    pos = body.size() - after_head.size() + next + separator.size();
  }
}

// The value of one header line of a part's head block.
std::string_view PartHeader(std::string_view head, std::string_view name) {
  while (!head.empty()) {
    std::size_t end = head.find("\r\n");
    std::string_view line = head.substr(0, end);
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        host::EqualsIgnoreCase(TrimBlanks(line.substr(0, colon)), name)) {
      return TrimBlanks(line.substr(colon + 1));
    }
    if (end == std::string_view::npos) break;
    head.remove_prefix(end + 2);
  }
  return {};
}

bool AddMultipartFields(std::string_view content_type, std::string_view body,
                        WireCharset charset, host::FieldMap& fields) {
  auto parts = SplitMultipart(body, HeaderParameter(content_type, "boundary"));
  if (!parts) return false;
  for (const Part& part : *parts) {
    if (fields.size() >= kFieldsReadAtMost) break;
    std::string_view disposition = PartHeader(part.head, "Content-Disposition");
    if (!host::EqualsIgnoreCase(MediaType(disposition), "form-data")) continue;
    // Uploaded files are not form fields of any page.
    bool is_file = false;
    for (std::string_view p : SplitParameters(disposition)) {
      std::string_view key = TrimBlanks(p.substr(0, p.find('=')));
      if (host::EqualsIgnoreCase(key, "filename")) is_file = true;
    }
    if (is_file) continue;
    std::string name = HeaderParameter(disposition, "name");
    if (name.empty()) continue;
    fields.Add(DecodeText(name, charset), DecodeText(part.content, charset));
  }
  return true;
}

constexpr std::array<std::string_view, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

// "June 4,2008", "Jun 4, 2008": a month name (or its first three letters),
// the day, a comma, the year.
std::optional<DateTime> ParseEnglishDate(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t letters = 0;
  while (letters < text.size() && host::IsAsciiLetter(text[letters])) ++letters;
  std::string month_name = host::AsciiLower(text.substr(0, letters));
  int month = 0;
  for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
    if (month_name.size() >= 3 &&
        kMonthNames[i].substr(0, month_name.size()) == month_name &&
        (month_name.size() == 3 || month_name == kMonthNames[i])) {
      month = static_cast<int>(i) + 1;
    }
  }
  if (month == 0) return std::nullopt;
  std::string_view rest = TrimBlanks(text.substr(letters));
  std::size_t comma = rest.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, std::size_t min, std::size_t max) {
    digits = TrimBlanks(digits);
    std::optional<int> n;
    if (digits.size() < min || digits.size() > max) return n;
    int v = 0;
    for (char c : digits) {
      if (!host::IsDigit(c)) return n;
      v = v * 10 + (c - '0');
    }
    n = v;
    return n;
  };
  auto day = number(rest.substr(0, comma), 1, 2);
  auto year = number(rest.substr(comma + 1), 4, 4);
  if (!day || !year || *day < 1 || *day > 31) return std::nullopt;
  return DateTime{*year, month, *day, 0, 0, 0};
}

}  // namespace

WireCharset CharsetOf(std::string_view content_type) {
  std::string charset = host::AsciiLower(HeaderParameter(content_type, "charset"));
  return charset == "utf-8" || charset == "utf8" ? WireCharset::kUtf8
                                                 : WireCharset::kGb18030;
}

std::string DecodeText(std::string_view bytes, WireCharset charset) {
  return charset == WireCharset::kUtf8 ? host::ValidUtf8(bytes)
                                       : host::FromGb18030(bytes);
}

std::string HeaderParameter(std::string_view header, std::string_view name) {
  auto parts = SplitParameters(header);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string_view p = parts[i];
    std::size_t eq = p.find('=');
    if (eq == std::string_view::npos) continue;
    if (host::EqualsIgnoreCase(TrimBlanks(p.substr(0, eq)), name)) {
      return Unquote(TrimBlanks(p.substr(eq + 1)));
    }
  }
  return {};
}

std::string DecodePath(std::string_view path) { return UnescapePercent(path); }

void AddQueryFields(std::string_view text, WireCharset charset, host::FieldMap& fields) {
  while (!text.empty() && fields.size() < kFieldsReadAtMost) {
    std::size_t amp = text.find('&');
    std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    std::size_t eq = pair.find('=');
    std::string_view name = pair.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    if (name.empty()) continue;
    fields.Add(DecodeText(host::PercentDecode(name), charset),
               DecodeText(host::PercentDecode(value), charset));
  }
}

bool AddFormFields(std::string_view content_type, std::string_view body,
                   host::FieldMap& fields) {
  std::string_view type = MediaType(content_type);
  WireCharset charset = CharsetOf(content_type);
  if (host::EqualsIgnoreCase(type, "application/x-www-form-urlencoded")) {
    AddQueryFields(body, charset, fields);
    return true;
  }
  if (host::EqualsIgnoreCase(type, "multipart/form-data")) {
    return AddMultipartFields(content_type, body, charset, fields);
  }
  return true;
}

void AddCookies(std::string_view header, host::FieldMap& cookies) {
  while (!header.empty()) {
    std::size_t semi = header.find(';');
    std::string_view pair = TrimBlanks(header.substr(0, semi));
    header =
        semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string name = host::FromGb18030(UnescapePercent(TrimBlanks(pair.substr(0, eq))));
    if (cookies.Find(name)) continue;
    std::string value = Unquote(TrimBlanks(pair.substr(eq + 1)));
    cookies.Add(name, host::FromGb18030(UnescapePercent(value)));
  }
}

std::string FormatSetCookie(std::string_view name, std::string_view value,
                            std::string_view http_date, bool secure) {
  std::string out = host::PercentEncode(host::ToGb18030(name), IsUnreserved);
  out += '=';
  out += host::PercentEncode(host::ToGb18030(value), IsUnreserved);
  if (!http_date.empty()) {
    out += "; expires=";
    out += http_date;
  }
  out += "; path=/; HttpOnly";
  if (secure) out += "; Secure";
  return out;
}

std::string ExpiresAsHttpDate(std::string_view expires) {
  auto when = DateTime::Parse(TrimBlanks(expires));
  if (!when) when = ParseEnglishDate(expires);
  return when ? when->ToHttpDate() : std::string();
}

std::string SafeLocation(std::string_view page) {
  return host::PercentEncode(host::ToGb18030(page), IsLocationByte);
}

}  // namespace tb::server::http
