// File: request_fields.h — reading the fields of an HTTP request: the query
// string, urlencoded and multipart form bodies, and cookies.
//
// Values arrive as bytes in the site's wire encoding (GB18030) unless the
// request's Content-Type names charset=utf-8; they are handed on as UTF-8.
// A field given several times reads as its values joined by ", ".
//
// Example:
//   host::FieldMap query;
//   AddQueryFields("name=abc&tag=1&tag=2", WireCharset::kGb18030, query);
//   query.Find("TAG") == "1, 2"
#pragma once

#include <string>
#include <string_view>

#include "host/fields.h"

namespace tb::server::http {

enum class WireCharset { kGb18030, kUtf8 };

// UTF-8 when the Content-Type's charset parameter names UTF-8, else GB18030.
// Example: CharsetOf("application/x-www-form-urlencoded; charset=UTF-8") == kUtf8.
WireCharset CharsetOf(std::string_view content_type);

// The bytes as UTF-8 text; bytes that are not valid in the charset become
// U+FFFD, so that nothing invalid reaches the store.
std::string DecodeText(std::string_view bytes, WireCharset charset);

// A parameter of a header value such as Content-Type, unquoted; empty when
// absent. Example: HeaderParameter("multipart/form-data; boundary=\"x y\"",
// "boundary") == "x y".
std::string HeaderParameter(std::string_view header, std::string_view name);

// Percent-decoding of a path: "%XX" becomes its byte, "+" stays.
// Example: DecodePath("/a%2Eb+c") == "/a.b+c".
std::string DecodePath(std::string_view path);

// A field list is read no further once it holds this many names: a request
// of more fields than a page takes is refused whole (see ReadRequest), so a
// body of a million tiny fields costs no million decodings.
inline constexpr std::size_t kFieldsReadAtMost = 1001;

// "a=1&b=%C1%F4+x": percent-decoded ("+" a blank), then decoded.
void AddQueryFields(std::string_view text, WireCharset charset, host::FieldMap& fields);

// The form fields of a request body, by its Content-Type: urlencoded or
// multipart/form-data (file parts are left out). Other bodies add nothing.
// Returns false when the body is multipart but malformed.
bool AddFormFields(std::string_view content_type, std::string_view body,
                   host::FieldMap& fields);

// The cookies of one Cookie header ("a=1; b=2"). Values were sent URL-encoded
// in GB18030 (see FormatSetCookie) and are decoded; for a name sent twice the
// first value counts.
void AddCookies(std::string_view header, host::FieldMap& cookies);

// A Set-Cookie header value: the name and value URL-encoded in GB18030,
// "; expires=" with an HTTP date when given, "; path=/; HttpOnly" (no page
// script reads a cookie) and, for a request that came over HTTPS, "; Secure".
// Example: FormatSetCookie("ly_name", "留 言", "Wed, 04 Jun 2008 00:00:00 GMT",
//   false) == "ly_name=%C1%F4%20%D1%D4; expires=Wed, 04 Jun 2008 00:00:00 GMT;
//   path=/; HttpOnly".
std::string FormatSetCookie(std::string_view name, std::string_view value,
                            std::string_view http_date, bool secure);

// A cookie expiry as an operation gives it, as an HTTP date: the stored
// date-time text "YYYY-MM-DD HH:MM:SS" (or "YYYY-MM-DD"), or an English date
// such as "June 4,2008", both in local time. Empty for anything else.
// Example: ExpiresAsHttpDate("June 4,2008") == "Wed, 04 Jun 2008 00:00:00 GMT"
// in a UTC zone.
std::string ExpiresAsHttpDate(std::string_view expires);

// A Location header value: the GB18030 form of the page name with every byte
// outside visible ASCII, and the quotes, angle brackets and backslash,
// percent-encoded, so that it can break neither the header nor an HTML
// attribute. Example: SafeLocation("a b.asp?x=<1>") == "a%20b.asp?x=%3C1%3E".
std::string SafeLocation(std::string_view page);

}  // namespace tb::server::http
