// A message in UBB mode as the site shows it: rendered, then filtered. The
// result must hold nothing that runs script.
#include "check/html_filter.h"
#include "check/ubb.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tb::fuzz::ExpectNoScript(
      tb::check::FilterHtml(tb::check::UbbCode(tb::fuzz::AsText(data, size))));
  return 0;
}
