// File: serve.h — `tavobook serve`: the web site over HTTP.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb::server {

// The SQLite file of the store when neither --db nor DSNtemp names one;
// `tavobook call` uses it too.
inline constexpr std::string_view kDefaultDbPath = "./data/tavobook.db";

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

// Creates the folder of the SQLite file `db_path` when it is missing, so
// that a first start needs no set-up; returns the complaint when it cannot.
// Example: CreateStoreFolder("./data/tavobook.db");  // creates ./data
std::optional<std::string> CreateStoreFolder(const std::string& db_path);

// Serves until SIGINT or SIGTERM; returns the exit status.
int Serve(const ServeOptions& options);

}  // namespace tb::server
