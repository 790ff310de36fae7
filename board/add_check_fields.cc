#include "board/add_check_fields.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>

#include "check/convert.h"
#include "check/text.h"

namespace tb::board::post {
namespace {

constexpr std::string_view kDefaultFont = "宋体";
constexpr std::string_view kDefaultFontSize = "3";
constexpr std::string_view kDefaultFontColor = "#000000";

using host::IsAsciiLetter;
using host::IsDigit;
using host::IsHexDigit;

bool AllOf(std::string_view text, bool (*pred)(char)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), pred);
}

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};

// Removes every character that is not a letter of any script, a decimal
// digit, "_" or "-". nullopt when the text is not valid UTF-8.
std::optional<std::string> KeepWordCharacters(std::string_view text) {
  constexpr std::string_view kOthers = R"re([^\p{L}\p{Nd}_\-]+)re";
  int error = 0;
  PCRE2_SIZE offset = 0;
  std::unique_ptr<pcre2_code, CodeFree> code(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kOthers.data()), kOthers.size(),
                    PCRE2_UTF | PCRE2_UCP, &error, &offset, nullptr));
  if (!code) throw std::logic_error("the typeface pattern does not compile");
  std::string out(text.size() + 1, '\0');
  PCRE2_SIZE out_size = out.size();
  int rc = pcre2_substitute(code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()),
                            text.size(), 0, PCRE2_SUBSTITUTE_GLOBAL, nullptr, nullptr,
                            reinterpret_cast<PCRE2_SPTR>(""), 0,
                            reinterpret_cast<PCRE2_UCHAR*>(out.data()), &out_size);
  if (rc < 0) return std::nullopt;
  out.resize(out_size);
  return out;
}

}  // namespace

bool FormKeyMatches(std::string_view key2, const Value& issued) {
  const auto posted = ParseNumber(key2);
  const auto expected = issued.Number();
  return posted && expected && *posted - *expected == 0;
}

std::string Location(std::string_view country, std::string_view province,
                     std::string_view county) {
  std::string where(country);
  if (country == "中国") where += province;
  where += county;
  std::erase(where, '0');
  return where;
}

// Every page of the guestbook writes a message's typeface and colour, so
// they are no longer than a real one ("lightgoldenrodyellow" is the longest
// colour name).
constexpr std::size_t kFontChars = 32;
constexpr std::size_t kFontColorChars = 20;

std::string SafeFont(std::string_view font) {
  auto kept = KeepWordCharacters(font);
  const bool ok = kept && !kept->empty() && check::Length(*kept) <= kFontChars;
  return ok ? *kept : std::string(kDefaultFont);
}

std::string SafeFontSize(std::string_view size) {
  const bool ok = size.size() == 1 && size[0] >= '1' && size[0] <= '7';
  return std::string(ok ? size : kDefaultFontSize);
}

std::string SafeFontColor(std::string_view color) {
  const bool hex =
      color.size() == 7 && color[0] == '#' && AllOf(color.substr(1), IsHexDigit);
  const bool named = color.size() <= kFontColorChars && AllOf(color, IsAsciiLetter);
  return std::string(hex || named ? color : kDefaultFontColor);
}

std::string SafeAvatar(std::string_view avatar) {
  return std::string(AllOf(avatar, IsDigit) ? avatar : "0");
}

std::string StoredFormat(std::string_view posted, std::string_view book_mode,
                         bool by_owner) {
  if (by_owner || posted == "0") return std::string(posted);
  if (posted == "1" && book_mode == "1") return "1";
  if (posted == "2" && book_mode != "0") return "2";
  return "0";
}

std::size_t MessageLimit(const Value& lyb_msg_len) {
  if (lyb_msg_len.IsEmpty()) return 0;
  const auto n = lyb_msg_len.Number();
  if (!n || std::isnan(*n) || *n < -0.5 || *n > 1e15)
    throw std::invalid_argument("LybMsgLen is not a length: \"" + lyb_msg_len.Text() +
                                "\"");
  return static_cast<std::size_t>(std::nearbyint(*n));
}

std::int64_t NewThreadSortKey(std::int64_t counter) {
  return (counter + 1) * 10000 + 9999;
}

std::int64_t ReplySortKey(const Value& parent_sort_key) {
  const auto parent = parent_sort_key.Whole();
  return parent ? *parent - 100 : 19999;
}

std::vector<Value> MessageValues(const MessageRow& r) {
  std::vector<Value> values;
  for (const std::string* v :
       {&r.name,     &r.message, &r.guestname,  &r.regtime,     &r.ip,
        &r.touxiang, &r.email,   &r.subject,    &r.homepage,    &r.replymail,
        &r.oicq,     &r.html,    &r.font,       &r.fontsize,    &r.fontcolor,
        &r.newinfo,  &r.whoinfo, &r.infoseekno, &r.priviteword, &r.hailfrom,
        &r.infono}) {
    values.emplace_back(*v);
  }
  return values;
}

}  // namespace tb::board::post
