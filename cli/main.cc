// tavobook: the guestbook service's one executable.
//   tavobook call    runs one member of the component (JSON in, JSON out)
//   tavobook serve   serves the web site
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/call.h"

int main(int argc, char** argv) {
  CLI::App app{"TavoBook: a multi-user hosted guestbook service"};
  app.require_subcommand(1);
  auto* call = app.add_subcommand(
      "call",
      "Run one public member of the component against a page context read as "
      "JSON on stdin; print the outcome as JSON");
  auto* serve = app.add_subcommand("serve", "Serve the web site");
  serve->allow_extras();
  CLI11_PARSE(app, argc, argv);

  if (call->parsed()) return tb::cli::RunCall(std::cin, std::cout, std::cerr);
  std::cerr << "tavobook serve: the web site is not built yet; use `tavobook call`.\n";
  return 1;
}
