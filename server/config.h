// File: config.h — the configuration of `tavobook serve`: the command line,
// the TOML file and the defaults, merged once at start.
//
// The file has four tables. [component] sets the component's ten properties
// by their own names; [security] holds hash_passwords (true: owners'
// passwords are stored as hashes); [mail] holds enabled, smtp_url, from,
// username and password (the pages' mail); [server] holds listen, threads,
// session_timeout_minutes, ad_script_url, trusted_proxy, workers, query_timeout_ms,
// max_requests_per_client, max_connections_per_client, max_posts_per_minute,
// max_sessions and session_store. The command line wins over the file:
// --listen and --threads over [server], --db over the file's DSNtemp, and
// --set NAME=VALUE over everything.
//
// Example (config.toml):
//   [component]
//   PageTitle = "我们的留言本"
//   MaxNum = 500
//   StopThisWord = ["广告", "发票"]      # a list is joined with ";"
//   [server]
//   listen = "0.0.0.0:8080"
//   session_timeout_minutes = 30
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/dispatch.h"
#include "host/value.h"
#include "server/mail/smtp.h"
#include "server/serve.h"

namespace tb::server {

// A configuration that cannot be used: the message names the setting.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The values of the ten properties that every page sets on its component.
class ComponentProperties {
 public:
  // The defaults: DSNtemp for ./data/tavobook.db, LybMsgLen 8000, MaxNum
  // 1000, PageTitle "留言本", IsOpen "1", LybMaxUser 0, the word lists,
  // AdminEmail and LybUrl empty.
  ComponentProperties();

  // Sets a property by its name (any letter case); ConfigError for a name
  // that is not one of the ten.
  void Set(std::string_view name, Value value);
  // The value of a property by name; empty for an unknown name.
  Value Get(std::string_view name) const;
  bool WasSet(std::string_view name) const;

  // Sets all ten on the component.
  void ApplyTo(Guestbook& book) const;

 private:
  struct Entry {
    const Member* member;
    Value value;
    bool set = false;
  };
  Entry* Find(std::string_view name);
  const Entry* Find(std::string_view name) const;

  std::vector<Entry> entries_;
};

struct ServeSettings {
  std::string listen_host = "127.0.0.1";
  unsigned short listen_port = 8080;
  int threads = 0;  // 0: one per core
  int workers = 0;  // threads that run pages; 0: two per core
  // How long one statement may run or wait for a lock; 0: no limit.
  std::chrono::milliseconds query_timeout = std::chrono::milliseconds(2000);
  // Page requests of one client address, queued or running.
  int max_requests_per_client = 8;
  // Open connections of one client address (the trusted proxy's are not
  // counted).
  std::size_t max_connections_per_client = 256;
  // Messages one client address may store in a minute, across the site.
  std::size_t max_posts_per_minute = 10;
  // Live sessions; beyond it the longest idle ends.
  std::size_t max_sessions = 100'000;
  std::chrono::milliseconds session_timeout = std::chrono::minutes(20);
  // [server] session_store = "database": the sessions, the guesses and the
  // posts counted per client address are kept in the store (DSNtemp), shared
  // by every server on it; "memory" (the default) keeps them in the process.
  bool sessions_in_store = false;
  std::string ad_script_url;
  std::string trusted_proxy;  // an address, or empty for none
  // The SQLite file named by --db (or the default), whose folder serve
  // creates; empty when DSNtemp comes from elsewhere.
  std::string db_path;
  std::string admin_password;
  // [security] hash_passwords: owners' passwords kept as hashes.
  bool hash_passwords = false;
  // [mail]: off unless enabled, with an smtp:// or smtps:// address and a
  // sender.
  mail::MailSettings mail;
  ComponentProperties properties;  // LybUrl is filled once the port is known
};

// Merges the command line, the file it names and the defaults.
// Throws ConfigError for an unreadable file, an unknown key or a bad value.
ServeSettings LoadSettings(const ServeOptions& options);

// "HOST:PORT" or "[V6]:PORT" as host and port.
// Example: ParseListen("[::1]:0") == {"::1", 0}.
std::pair<std::string, unsigned short> ParseListen(std::string_view text);

// The site's own address: "http://HOST:PORT/" (a v6 host in brackets).
std::string SiteUrl(std::string_view host, unsigned short port);

}  // namespace tb::server
