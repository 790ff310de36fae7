// Reading query strings, form bodies and cookies; writing cookies and
// redirect targets: each line of tests/cases/server/request_fields.txt names
// the function, its arguments and the result as text.
#include "server/http/request_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "tests/support/cases.h"

namespace tb::server::http {
namespace {

using Args = std::vector<std::string>;

std::string FieldsText(const host::FieldMap& fields) {
  std::string out;
  for (const auto& [name, value] : fields.entries())
    out += (out.empty() ? "" : "; ") + name + "=" + value;
  return out;
}

WireCharset Charset(std::string_view name) {
  return name == "utf8" ? WireCharset::kUtf8 : WireCharset::kGb18030;
}

std::string SetCookie(const Args& a) {
  const std::string plain = FormatSetCookie(a[0], a[1], a[2], false);
  const std::string secure = FormatSetCookie(a[0], a[1], a[2], true);
  if (secure != plain + "; Secure") return "over HTTPS: " + secure;
  host::FieldMap back;
  AddCookies(secure.substr(0, secure.find(';')), back);
  if (back.Find(a[0]) != a[1]) return "read back: " + FieldsText(back);
  return plain;
}

TEST(RequestFieldsTest, Cases) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::map<std::string, std::function<std::string(const Args&)>> calls = {
      {"query",
       [](const Args& a) {
         host::FieldMap f;
         AddQueryFields(a[1], Charset(a[0]), f);
         return FieldsText(f);
       }},
      {"find",
       [](const Args& a) {
         host::FieldMap f;
         AddQueryFields(a[1], Charset(a[0]), f);
         return f.Find(a[2]).value_or("(none)");
       }},
      {"charset",
       [](const Args& a) {
         return std::string(CharsetOf(a[0]) == WireCharset::kUtf8 ? "utf8" : "gb18030");
       }},
      {"parameter", [](const Args& a) { return HeaderParameter(a[0], a[1]); }},
      {"form",
       [](const Args& a) {
         host::FieldMap f;
         return AddFormFields(a[0], a[1], f) ? FieldsText(f) : "refused";
       }},
      {"cookies",
       [](const Args& a) {
         host::FieldMap f;
         AddCookies(a[0], f);
         return FieldsText(f);
       }},
      {"expires", [](const Args& a) { return ExpiresAsHttpDate(a[0]); }},
      {"set-cookie", SetCookie},
      {"location", [](const Args& a) { return SafeLocation(a[0]); }},
      {"path", [](const Args& a) { return DecodePath(a[0]); }},
  };
  for (const auto& c : testing::ReadCases("server/request_fields.txt")) {
    SCOPED_TRACE(testing::CaseText(c));
    const Args args(c.begin() + 1, c.end() - 1);
    EXPECT_EQ(calls.at(c[0])(args), c.fields.back());
  }
}

}  // namespace
}  // namespace tb::server::http
