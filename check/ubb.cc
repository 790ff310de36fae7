#include "check/ubb.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/text.h"

namespace tb::check {
namespace {

// One pass: every match of `pattern` is replaced by `replacement`, in which
// "$1" to "$9" stand for the text of the pattern's groups. The groups named
// in `attributes` (bit n for group n) land in an attribute: a match with such
// a group that fails IsSafeTagValue stays as typed.
struct Pass {
  std::string_view pattern;
  std::string_view replacement;
  unsigned attributes = 0;
};

constexpr unsigned kGroup2 = 1U << 2;
constexpr unsigned kGroups23 = kGroup2 | 1U << 3;
constexpr unsigned kGroups234 = kGroups23 | 1U << 4;

// A tag's content is one character and then anything but "[", so a tag holding
// another tag converts only when the inner tag's pass comes first.
//
// Parameters written into an attribute without quotes (color, face, align,
// glow, shadow, upload) are runs of characters other than "]", blanks, quotes,
// "<", ">", "=" and "&": a parameter holding any of them, including the
// "&quot;" "&lt;" "&gt;" left by the escaping, fails to match and its tag stays
// as typed. The glow and shadow heads are atomic and first checked to reach
// their "]": every way of splitting a head at its commas ends at that same "]",
// so a failed match is not retried split by split.
constexpr std::array<Pass, 32> kPasses{{
    {R"re((\[IMG\])(.[^\[]*)(\[\/IMG\]))re", R"html(<IMG SRC="$2" border=0>)html",
     kGroup2},
    // The Flash object names where the browser fetches the plug-in and the page
    // offered when it is missing. Both are "https", so the bare-address passes,
    // which link "http://" only, leave the finished object alone.
    {R"re((\[FLASH\])(.[^\[]*)(\[\/FLASH\]))re",
     "<OBJECT codeBase=https://download.macromedia.com/pub/shockwave/cabs/flash/"
     "swflash.cab#version=6,0,0,0"
     " classid=clsid:D27CDB6E-AE6D-11cf-96B8-444553540000 width=500 height=400>"
     "<PARAM NAME=movie VALUE=\"$2\"><PARAM NAME=quality VALUE=high>"
     "<embed src=\"$2\" quality=high "
     "pluginspage='https://www.macromedia.com/go/getflashplayer'"
     " type='application/x-shockwave-flash' width=500 height=400>$2</embed>"
     "</OBJECT>",
     kGroup2},
    {R"re((\[ZIP\])(.[^\[]*)(\[\/ZIP\]))re",
     R"html(<IMG SRC=pic/zip.gif border=0> <a href="$2">点击下载该文件</a>)html",
     kGroup2},
    {R"re((\[RAR\])(.[^\[]*)(\[\/RAR\]))re",
     R"html(<IMG SRC=pic/rar.gif border=0> <a href="$2">点击下载该文件</a>)html",
     kGroup2},
    {R"re((\[UPLOAD=([^\]\s'"<>=&]+)\])(.[^\[]*)(\[\/UPLOAD\]))re",
     R"html(<IMG SRC="pic/$2.gif" border=0><A HREF="$3" TARGET=_blank>新窗口打开图片</A>)html"
     R"html(<br><IMG SRC="$3" border=0>)html",
     kGroups23},
    {R"re((\[URL\])(.[^\[]*)(\[\/URL\]))re",
     R"html(<A HREF="http://$2" TARGET=_blank>$2</A>)html", kGroup2},
    {R"re((\[URL=(.[^\]]*)\])(.[^\[]*)(\[\/URL\]))re",
     R"html(<A HREF="http://$2" TARGET=_blank>$3</A>)html", kGroup2},
    {R"re((\[EMAIL\])(.[^\[]*)(\[\/EMAIL\]))re",
     R"html(<img align=absmiddle src=pic/email1.gif><A HREF="mailto:$2">$2</A>)html",
     kGroup2},
    {R"re((\[EMAIL=(.[^\]]*)\])(.[^\[]*)(\[\/EMAIL\]))re",
     R"html(<img align=absmiddle src=pic/email1.gif><A HREF="mailto:$2" TARGET=_blank>$3</A>)html",
     kGroup2},
    // Bare addresses: at the very start, at the very end, and after any
    // character but ">", "=" and '"' (which mark addresses already inside
    // HTML); that character is matched with the address and written back.
    {R"re(^(http://[A-Za-z0-9\./=\?%\-&_~`@']+))re",
     "<img align=absmiddle src=pic/url.gif><a target=_blank href=$1>$1</a>"},
    {R"re((http://[A-Za-z0-9\./=\?%\-&_~`@']+)$)re",
     "<img align=absmiddle src=pic/url.gif><a target=_blank href=$1>$1</a>"},
    {R"re(([^>="])(http://[A-Za-z0-9\.\/=\?%\-&_~`@']+))re",
     "$1<img align=absmiddle src=pic/url.gif><a target=_blank href=$2>$2</a>"},
    {R"re((\[color=([^\]\s'"<>=&]+)\])(.[^\[]*)(\[\/color\]))re",
     "<font color=$2>$3</font>", kGroup2},
    {R"re((\[face=([^\]\s'"<>=&]+)\])(.[^\[]*)(\[\/face\]))re", "<font face=$2>$3</font>",
     kGroup2},
    {R"re((\[align=([^\]\s'"<>=&]+)\])(.[^\[]*)(\[\/align\]))re",
     "<div align=$2>$3</div>", kGroup2},
    {R"re((\[fly\])(.[^\[]*)(\[\/fly\]))re",
     "<marquee width=90% behavior=alternate scrollamount=3>$2</marquee>"},
    {R"re((\[move\])(.[^\[]*)(\[\/move\]))re", "<MARQUEE scrollamount=3>$2</marquee>"},
    {R"re((?>(\[glow=(?=[^\]\s'"<>=&]+\])([^\]\s'"<>=&]+),([^\]\s'"<>=&]+),)re"
     R"re(([^\]\s'"<>=&]+)\]))(.[^\[]*)(\[\/glow\]))re",
     R"html(<table width=$2 style="filter:glow(color=$3, strength=$4)">$5</table>)html",
     kGroups234},
    {R"re((?>(\[SHADOW=(?=[^\]\s'"<>=&]+\])([^\]\s'"<>=&]+),([^\]\s'"<>=&]+),)re"
     R"re(([^\]\s'"<>=&]+)\]))(.[^\[]*)(\[\/SHADOW\]))re",
     R"html(<table width=$2 style="filter:shadow(color=$3, direction=$4)">$5</table>)html",
     kGroups234},
    {R"re((\[i\])(.[^\[]*)(\[\/i\]))re", "<i>$2</i>"},
    {R"re((\[u\])(.[^\[]*)(\[\/u\]))re", "<u>$2</u>"},
    {R"re((\[b\])(.[^\[]*)(\[\/b\]))re", "<b>$2</b>"},
    // The fly pattern again: converts what the first fly pass left, i.e. the
    // outer pair of two nested [fly] tags.
    {R"re((\[fly\])(.[^\[]*)(\[\/fly\]))re", "<marquee>$2</marquee>"},
    {R"re((\[size=1\])(.[^\[]*)(\[\/size\]))re", "<font size=1>$2</font>"},
    {R"re((\[size=2\])(.[^\[]*)(\[\/size\]))re", "<font size=2>$2</font>"},
    {R"re((\[size=3\])(.[^\[]*)(\[\/size\]))re", "<font size=3>$2</font>"},
    {R"re((\[size=4\])(.[^\[]*)(\[\/size\]))re", "<font size=4>$2</font>"},
    {R"re((\[size=5\])(.[^\[]*)(\[\/size\]))re", "<font size=5>$2</font>"},
    {R"re((\[size=6\])(.[^\[]*)(\[\/size\]))re", "<font size=6>$2</font>"},
    {R"re((\[size=7\])(.[^\[]*)(\[\/size\]))re", "<font size=7>$2</font>"},
    {R"re((\[center\])(.[^\[]*)(\[\/center\]))re", "<center>$2</center>"},
    // Last, so that no pass sees the "<br>": each line break shows as one.
    {R"re((\r?\n))re", "<br>$1"},
}};

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* context) const {
    pcre2_compile_context_free(context);
  }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;

// Enough ovector pairs for the whole match and the most groups of a pass (6).
constexpr std::uint32_t kOvectorPairs = 8;

// UTF-8 text, tags in any letter case, "." stopping at a line feed only, "^"
// and "$" at the ends of the whole text (not before a final line feed).
CodePtr Compile(std::string_view pattern) {
  std::unique_ptr<pcre2_compile_context, CompileContextFree> context(
      pcre2_compile_context_create(nullptr));
  if (!context) throw std::bad_alloc();
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                             PCRE2_UTF | PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY, &error,
                             &offset, context.get()));
  if (!code) {
    std::array<PCRE2_UCHAR, 256> message{};
    pcre2_get_error_message(error, message.data(), message.size());
    throw std::logic_error("UBB pattern " + std::string(pattern) + " at " +
                           std::to_string(offset) + ": " +
                           reinterpret_cast<const char*>(message.data()));
  }
  // Machine code where the platform supports it (the interpreter is used
  // otherwise). Besides being faster, it keeps texts that offer the matcher
  // thousands of starts sharing one far-off "]" (say 100 kB of "[url=")
  // linear: a few milliseconds, where the interpreter needs about half a second.
  pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
  return code;
}

// The passes compiled once, on first use; never changed afterwards, so
// concurrent renders share them.
const std::vector<CodePtr>& CompiledPasses() {
  static const std::vector<CodePtr> compiled = [] {
    std::vector<CodePtr> codes;
    codes.reserve(kPasses.size());
    for (const Pass& pass : kPasses) codes.push_back(Compile(pass.pattern));
    return codes;
  }();
  return compiled;
}

// Characters that could end an attribute, open a tag or hide a scheme from
// a reader that does not decode entities; the escaping of the visitor's text
// leaves "<", ">" and '"' as these entities.
constexpr std::string_view kUnsafeTagValueChars = " \"'<>[]`";
constexpr std::array<std::string_view, 3> kEscapedMarks = {"&quot;", "&lt;", "&gt;"};
constexpr std::array<std::string_view, 3> kAddressSchemes = {"http", "https", "ftp"};

// A tag's address or parameter may go into an attribute: it holds no blank,
// quote, bracket, backtick or control character, and either names no scheme
// or names http, https or ftp. Whatever comes before the first "/", "?" or
// "#" holds no "&", so no character reference ("&#58;", "&colon;") can make
// a scheme the browser would see and this check would not.
bool IsSafeTagValue(std::string_view value) {
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7f ||
        kUnsafeTagValueChars.find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  for (std::string_view mark : kEscapedMarks) {
    if (value.find(mark) != std::string_view::npos) return false;
  }
  const std::string_view head = value.substr(0, value.find_first_of("/?#"));
  if (head.find('&') != std::string_view::npos) return false;
  const std::size_t colon = head.find(':');
  if (colon == std::string_view::npos) return true;
  const std::string_view scheme = head.substr(0, colon);
  return std::any_of(kAddressSchemes.begin(), kAddressSchemes.end(),
                     [&](std::string_view s) { return EqualsIgnoreCase(scheme, s); });
}

// Every group named in `attributes` passes IsSafeTagValue.
bool AttributesSafe(unsigned attributes, std::string_view subject,
                    const PCRE2_SIZE* ovector, int groups) {
  for (int n = 1; n < groups; ++n) {
    if ((attributes & (1U << n)) == 0 || ovector[2 * n] == PCRE2_UNSET) continue;
    if (!IsSafeTagValue(
            subject.substr(ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n])))
      return false;
  }
  return true;
}

// Appends `replacement` with "$n" expanded to group n of the current match;
// a group that took no part in the match expands to nothing.
void AppendReplacement(std::string& out, std::string_view replacement,
                       std::string_view subject, const PCRE2_SIZE* ovector, int groups) {
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    char c = replacement[i];
    if (c == '$' && i + 1 < replacement.size() && replacement[i + 1] >= '1' &&
        replacement[i + 1] <= '9') {
      int n = replacement[++i] - '0';
      if (n < groups && ovector[2 * n] != PCRE2_UNSET) {
        out.append(subject, ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n]);
      }
      continue;
    }
    out += c;
  }
}

// Every non-overlapping match of `code`, scanning left to right, replaced,
// but for a match whose attribute groups are unsafe, which stays as it is.
// A match that cannot be completed (invalid UTF-8, a match limit) ends the
// pass and leaves the rest of the text as it is.
std::string ReplaceEvery(const pcre2_code* code, const Pass& pass,
                         std::string_view subject, pcre2_match_data* match) {
  std::string out;
  std::size_t copied = 0;
  // The text is checked for valid UTF-8 on the first search of each pass only;
  // checking again on every later search would cost the whole text each time.
  std::uint32_t options = 0;
  for (;;) {
    int groups = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                             subject.size(), copied, options, match, nullptr);
    if (groups <= 0) break;
    options = PCRE2_NO_UTF_CHECK;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match);
    // No pass matches empty text; stop rather than loop if one ever did.
    if (ovector[1] == ovector[0]) break;
    out.append(subject, copied, ovector[0] - copied);
    if (AttributesSafe(pass.attributes, subject, ovector, groups)) {
      AppendReplacement(out, pass.replacement, subject, ovector, groups);
    } else {
      out.append(subject, ovector[0], ovector[1] - ovector[0]);
    }
    copied = ovector[1];
  }
  out.append(subject, copied);
  return out;
}

// The visitor's own mark-up, shown as typed instead of being obeyed.
std::string EscapeMarkup(std::string_view text) {
  static constexpr std::array<CharEntity, 3> kEntities = {{
      {'<', "&lt;"},
      {'>', "&gt;"},
      {'"', "&quot;"},
  }};
  return ReplaceByEntities(text, kEntities);
}

}  // namespace

std::string UbbCode(std::string_view text) {
  const std::vector<CodePtr>& codes = CompiledPasses();
  MatchDataPtr match(pcre2_match_data_create(kOvectorPairs, nullptr));
  if (!match) throw std::bad_alloc();
  std::string html = EscapeMarkup(text);
  for (std::size_t i = 0; i < kPasses.size(); ++i) {
    html = ReplaceEvery(codes[i].get(), kPasses[i], html, match.get());
  }
  return html;
}

}  // namespace tb::check
