// HTML as a visitor or an owner writes it, through the filter alone. The
// result must hold nothing that runs script.
#include "check/html_filter.h"

#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tb::fuzz::ExpectNoScript(tb::check::FilterHtml(tb::fuzz::AsText(data, size)));
  return 0;
}
