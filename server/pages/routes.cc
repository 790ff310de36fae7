// Placeholder until the pages are built.
#include "host/ascii.h"
#include "server/page_env.h"

namespace tb::server {
namespace {

void TestPage(PageEnv& env) { env.component().test(); }

const Route kRoutes[] = {
    {"test.asp", TestPage},
};

}  // namespace

std::span<const Route> Routes() { return kRoutes; }

const Route* FindRoute(std::string_view path) {
  for (const Route& r : Routes()) {
    if (host::EqualsIgnoreCase(r.path, path)) return &r;
  }
  return nullptr;
}

const Asset* FindAsset(std::string_view) { return nullptr; }

}  // namespace tb::server
