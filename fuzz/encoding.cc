// The wire encoding: GB18030 bytes to UTF-8 and back, and URL encoding. What
// one decoding gives must survive encoding and decoding again unchanged.
#include "host/encoding.h"

#include "fuzz/fuzz.h"

using namespace tb::host;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = tb::fuzz::AsText(data, size);
  const std::string utf8 = FromGb18030(bytes);
  if (FromGb18030(ToGb18030(utf8)) != utf8) tb::fuzz::Fail("GB18030 round trip", utf8);
  // Taken as UTF-8, the same bytes: invalid sequences become "?".
  const std::string gb = ToGb18030(bytes);
  if (PercentDecode(UrlEncode(bytes)) != gb) tb::fuzz::Fail("URL round trip", bytes);
  return 0;
}
