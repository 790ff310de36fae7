// File: encoding.h — the site's wire encoding (GB18030, labelled gb2312) and
// URL encoding of query values.
#pragma once

#include <string>
#include <string_view>

namespace tb::host {

// UTF-8 text as GB18030 bytes. Bytes that are not valid UTF-8 become "?".
// Example: ToGb18030("留") == "\xc1\xf4".
std::string ToGb18030(std::string_view utf8);
// The same, appended to `out`.
void AppendGb18030(std::string& out, std::string_view utf8);

// GB18030 bytes as UTF-8 text, read as browsers read them on a gb2312 page,
// which is how they also write them: the byte 0x80 is "€". A code that is cut
// short or broken becomes U+FFFD; the ASCII byte that broke a two-byte code,
// and what follows the lead byte of a broken four-byte code, are read afresh.
// Example: FromGb18030("\x80\xc1\xf4\x81<") == "€留\uFFFD<".
std::string FromGb18030(std::string_view gb);

// The bytes as valid UTF-8: each byte that does not begin a whole,
// shortest-form sequence becomes U+FFFD. Example: ValidUtf8("a\xffb") ==
// "a\xef\xbf\xbdb".
std::string ValidUtf8(std::string_view bytes);

// What "+" stands for: a blank in query and form values, itself in paths
// and cookies.
enum class Plus { kIsBlank, kItself };

// The bytes `keep` accepts stay; with Plus::kIsBlank a blank becomes "+";
// every other byte becomes "%XX" (upper-case hex).
// Example: with `keep` true for letters only,
// PercentEncode("a b;", keep, Plus::kItself) == "a%20b%3B".
std::string PercentEncode(std::string_view bytes, bool (*keep)(unsigned char),
                          Plus plus = Plus::kItself);

// Letters and digits stay, a blank becomes "+", every other byte of the
// text's GB18030 form becomes "%XX" (upper-case hex).
// Example: UrlEncode("a b/留") == "a+b%2F%C1%F4".
std::string UrlEncode(std::string_view utf8);

// Percent-decoding, bytes as sent: "%XX" with two hex digits is the byte,
// anything else stays. Example: PercentDecode("a+b%2F") == "a b/";
// PercentDecode("a+b%2", Plus::kItself) == "a+b%2".
std::string PercentDecode(std::string_view text, Plus plus = Plus::kIsBlank);

}  // namespace tb::host
