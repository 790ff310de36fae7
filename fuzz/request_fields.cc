// The fields of a request: the first line is a Content-Type, the second a
// Cookie header (and a path), the rest a body (and a query). A cookie the
// site sets must read back as it was set, and a Location must stay one field.
#include "server/http/request_fields.h"

#include "fuzz/fuzz.h"
#include "host/encoding.h"

using namespace tb::server::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view body = tb::fuzz::AsText(data, size);
  const std::string_view content_type = tb::fuzz::Take(body);
  const std::string_view line = tb::fuzz::Take(body);

  tb::host::FieldMap fields, cookies, echo;
  AddFormFields(content_type, body, fields);
  AddQueryFields(body, CharsetOf(content_type), fields);
  AddCookies(line, cookies);
  DecodePath(line);
  ExpiresAsHttpDate(line);

  const std::string value = tb::host::FromGb18030(line);
  AddCookies(FormatSetCookie("n", value, "", false), echo);
  if (echo.Find("n") != value) tb::fuzz::Fail("cookie round trip", value);
  const std::string location = SafeLocation(value);
  if (location.find_first_of(" \r\n\"'<>\\") != std::string::npos)
    tb::fuzz::Fail("Location", location);
  return 0;
}
