#include "server/serve.h"

#include <iostream>

namespace tb::server {

int Serve(const ServeOptions&) {
  std::cerr << "tavobook serve: the web site is not built yet; use `tavobook call`.\n";
  return 1;
}

}  // namespace tb::server
