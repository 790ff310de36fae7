// File: serve.h — `tavobook serve`: the web site over HTTP.
#pragma once

#include <string>
#include <vector>

namespace tb::server {

// The command line of `tavobook serve`; empty fields take the configuration
// file's value or the default.
struct ServeOptions {
  std::string listen;
  std::string db;
  std::string config;
  std::vector<std::string> sets;  // "PROPERTY=VALUE"
  int threads = 0;
  std::string admin_password;
};

// Serves until SIGINT or SIGTERM; returns the exit status.
int Serve(const ServeOptions& options);

}  // namespace tb::server
