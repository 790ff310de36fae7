// `tavobook call`'s JSON input, answered on a store in memory: the harness
// points DSNtemp there whatever the input names, so that no file is written.
#include "cli/call.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = tb::fuzz::AsText(data, size);
  auto request = nlohmann::json::parse(bytes, nullptr, false);
  if (request.is_object()) {
    auto properties = request.value("properties", nlohmann::json::object());
    if (!properties.is_object()) properties = nlohmann::json::object();
    for (auto it = properties.begin(); it != properties.end();) {
      it = tb::fuzz::Lower(it.key()) == "dsntemp" ? properties.erase(it) : std::next(it);
    }
    properties["DSNtemp"] = "sqlite::memory:";
    request["properties"] = properties;
  }
  std::istringstream in(
      request.is_discarded()
          ? std::string(bytes)
          : request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  std::ostringstream out, err;
  tb::cli::RunCall(in, out, err);
  return 0;
}
