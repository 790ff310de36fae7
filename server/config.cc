#include "server/config.h"

#include <toml++/toml.h>

#include <charconv>

#include "data/sqlite_engine.h"
#include "host/ascii.h"
#include "server/mail/message.h"

namespace tb::server {
namespace {

std::string DsnOf(std::string_view path) { return "sqlite:" + std::string(path); }

// A TOML value as a property value: text stays text, numbers stay numbers,
// true and false are "1" and "0", a list of texts is joined with ";".
Value PropertyValue(const toml::node& node, std::string_view name) {
  if (node.is_string()) return Value(*node.value<std::string>());
  if (node.is_integer()) return Value(*node.value<std::int64_t>());
  if (node.is_floating_point()) return Value(*node.value<double>());
  if (node.is_boolean()) return Value(*node.value<bool>() ? "1" : "0");
  if (const toml::array* list = node.as_array()) {
    std::string joined;
    for (const toml::node& item : *list) {
      if (!item.is_string()) break;
      if (!joined.empty()) joined += ';';
      joined += *item.value<std::string>();
    }
    if (list->empty() || list->is_homogeneous(toml::node_type::string)) {
      return Value(joined);
    }
  }
  throw ConfigError("[component] " + std::string(name) +
                    ": expected a text, a number, true/false or a list of texts");
}

std::string TextSetting(const toml::node& node, std::string_view key) {
  if (!node.is_string())
    throw ConfigError("[server] " + std::string(key) + ": expected a text");
  return *node.value<std::string>();
}

int Threads(std::int64_t n, std::string_view where) {
  if (n < 1 || n > 1024) {
    throw ConfigError(std::string(where) + ": threads must be from 1 to 1024");
  }
  return static_cast<int>(n);
}

// A whole number from `low` to `high`.
std::int64_t WholeSetting(const toml::node& node, std::string_view key, std::int64_t low,
                          std::int64_t high) {
  auto n = node.is_integer() ? node.value<std::int64_t>() : std::nullopt;
  if (!n || *n < low || *n > high) {
    throw ConfigError("[server] " + std::string(key) + ": expected a whole number from " +
                      std::to_string(low) + " to " + std::to_string(high));
  }
  return *n;
}

void ReadServerTable(const toml::table& table, ServeSettings& s) {
  for (const auto& [key, node] : table) {
    std::string_view k = key.str();
    if (k == "listen") {
      std::tie(s.listen_host, s.listen_port) = ParseListen(TextSetting(node, k));
    } else if (k == "threads") {
      if (!node.is_integer()) throw ConfigError("[server] threads: expected a number");
      s.threads = Threads(*node.value<std::int64_t>(), "[server]");
    } else if (k == "session_timeout_minutes") {
      auto minutes = node.is_number() ? node.value<double>() : std::nullopt;
      if (!minutes || *minutes <= 0 || *minutes > 60 * 24 * 365) {
        throw ConfigError("[server] session_timeout_minutes: expected a number above 0");
      }
      s.session_timeout =
          std::chrono::milliseconds(static_cast<std::int64_t>(*minutes * 60 * 1000));
    } else if (k == "ad_script_url") {
      s.ad_script_url = TextSetting(node, k);
    } else if (k == "trusted_proxy") {
      s.trusted_proxy = TextSetting(node, k);
    } else if (k == "workers") {
      s.workers = static_cast<int>(WholeSetting(node, k, 1, 1024));
    } else if (k == "query_timeout_ms") {
      s.query_timeout = std::chrono::milliseconds(WholeSetting(node, k, 0, 3600 * 1000));
    } else if (k == "max_requests_per_client") {
      s.max_requests_per_client = static_cast<int>(WholeSetting(node, k, 1, 100000));
    } else if (k == "max_connections_per_client") {
      s.max_connections_per_client =
          static_cast<std::size_t>(WholeSetting(node, k, 1, 1'000'000));
    } else if (k == "max_posts_per_minute") {
      s.max_posts_per_minute =
          static_cast<std::size_t>(WholeSetting(node, k, 1, 1'000'000));
    } else if (k == "session_store") {
      const std::string where = TextSetting(node, k);
      if (where != "memory" && where != "database") {
        throw ConfigError("[server] session_store: expected \"memory\" or \"database\"");
      }
      s.sessions_in_store = where == "database";
    } else if (k == "max_sessions") {
      s.max_sessions = static_cast<std::size_t>(WholeSetting(node, k, 1, 10'000'000));
    } else {
      throw ConfigError("[server]: unknown setting " + std::string(k));
    }
  }
}

bool BoolSetting(const toml::node& node, std::string_view where) {
  if (!node.is_boolean())
    throw ConfigError(std::string(where) + ": expected true or false");
  return *node.value<bool>();
}

void ReadSecurityTable(const toml::table& table, ServeSettings& s) {
  for (const auto& [key, node] : table) {
    if (key.str() != "hash_passwords")
      throw ConfigError("[security]: unknown setting " + std::string(key.str()));
    s.hash_passwords = BoolSetting(node, "[security] hash_passwords");
  }
}

void ReadMailTable(const toml::table& table, ServeSettings& s) {
  mail::MailSettings& m = s.mail;
  for (const auto& [key, node] : table) {
    const std::string k(key.str());
    const toml::node& value = node;
    auto text = [&value, &k] {
      if (!value.is_string()) throw ConfigError("[mail] " + k + ": expected a text");
      return *value.value<std::string>();
    };
    if (k == "enabled") {
      m.enabled = BoolSetting(value, "[mail] enabled");
    } else if (k == "smtp_url") {
      m.smtp_url = text();
    } else if (k == "from") {
      m.from = text();
    } else if (k == "username") {
      m.username = text();
    } else if (k == "password") {
      m.password = text();
    } else {
      throw ConfigError("[mail]: unknown setting " + k);
    }
  }
  if (!m.enabled) return;
  if (!m.smtp_url.starts_with("smtp://") && !m.smtp_url.starts_with("smtps://"))
    throw ConfigError("[mail] smtp_url: expected smtp://HOST:PORT or smtps://HOST:PORT");
  if (!mail::IsSendableAddress(m.from))
    throw ConfigError("[mail] from: expected an e-mail address");
}

void ReadFile(const std::string& path, ServeSettings& s) {
  toml::table file;
  try {
    file = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    throw ConfigError(path + ":" + std::to_string(e.source().begin.line) + ": " +
                      std::string(e.description()));
  }
  for (const auto& [key, node] : file) {
    const toml::table* table = node.as_table();
    if (key.str() == "component" && table) {
      for (const auto& [name, value] : *table) {
        s.properties.Set(name.str(), PropertyValue(value, name.str()));
      }
    } else if (key.str() == "server" && table) {
      ReadServerTable(*table, s);
    } else if (key.str() == "security" && table) {
      ReadSecurityTable(*table, s);
    } else if (key.str() == "mail" && table) {
      ReadMailTable(*table, s);
    } else {
      throw ConfigError(path + ": unknown table or key " + std::string(key.str()));
    }
  }
}

}  // namespace

ComponentProperties::ComponentProperties() {
  for (const Member& m : CoreMembers()) {
    if (m.kind == MemberKind::kProperty) entries_.push_back({&m, Value(""), false});
  }
  Find("DSNtemp")->value = Value(DsnOf(kDefaultDbPath));
  Find("LybMsgLen")->value = Value(8000);
  Find("MaxNum")->value = Value(1000);
  Find("PageTitle")->value = Value("留言本");
  Find("IsOpen")->value = Value("1");
  Find("LybMaxUser")->value = Value(0);
}

ComponentProperties::Entry* ComponentProperties::Find(std::string_view name) {
  for (Entry& e : entries_) {
    if (host::EqualsIgnoreCase(e.member->name, name)) return &e;
  }
  return nullptr;
}

const ComponentProperties::Entry* ComponentProperties::Find(std::string_view name) const {
  return const_cast<ComponentProperties*>(this)->Find(name);
}

void ComponentProperties::Set(std::string_view name, Value value) {
  Entry* e = Find(name);
  if (!e) throw ConfigError("unknown component property " + std::string(name));
  e->value = std::move(value);
  e->set = true;
}

Value ComponentProperties::Get(std::string_view name) const {
  const Entry* e = Find(name);
  return e ? e->value : Value();
}

bool ComponentProperties::WasSet(std::string_view name) const {
  const Entry* e = Find(name);
  return e && e->set;
}

void ComponentProperties::ApplyTo(Guestbook& book) const {
  for (const Entry& e : entries_) e.member->set(book, e.value);
}

std::pair<std::string, unsigned short> ParseListen(std::string_view text) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    throw ConfigError("listen: expected HOST:PORT, got \"" + std::string(text) + "\"");
  }
  std::string_view host = text.substr(0, colon);
  std::string_view port = text.substr(colon + 1);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') {
      throw ConfigError("listen: bad address \"" + std::string(text) + "\"");
    }
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    throw ConfigError("listen: write an IPv6 address in brackets, as [::1]:8080");
  }
  unsigned value = 0;
  auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || ec != std::errc() || end != port.data() + port.size() ||
      value > 65535) {
    throw ConfigError("listen: bad port \"" + std::string(port) + "\"");
  }
  return {std::string(host), static_cast<unsigned short>(value)};
}

std::string SiteUrl(std::string_view host, unsigned short port) {
  std::string h(host);
  if (h.find(':') != std::string::npos) h = "[" + h + "]";
  return "http://" + h + ":" + std::to_string(port) + "/";
}

ServeSettings LoadSettings(const ServeOptions& options) {
  ServeSettings s;
  if (!options.config.empty()) ReadFile(options.config, s);
  if (!options.listen.empty()) {
    std::tie(s.listen_host, s.listen_port) = ParseListen(options.listen);
  }
  if (options.threads != 0) s.threads = Threads(options.threads, "--threads");
  // The store: --db, else the file's DSNtemp, else the default file.
  if (!options.db.empty()) {
    // A path, or one written as a connection string ("sqlite:PATH").
    s.db_path = data::SqlitePath(options.db).value_or(options.db);
    s.properties.Set("DSNtemp", Value(DsnOf(s.db_path)));
  } else if (!s.properties.WasSet("DSNtemp")) {
    s.db_path = kDefaultDbPath;
  }
  for (const std::string& assignment : options.sets) {
    std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw ConfigError("--set: expected PROPERTY=VALUE, got \"" + assignment + "\"");
    }
    std::string name = assignment.substr(0, eq);
    s.properties.Set(name, Value(assignment.substr(eq + 1)));
    if (host::EqualsIgnoreCase(name, "DSNtemp")) s.db_path.clear();
  }
  s.admin_password = options.admin_password;
  return s;
}

}  // namespace tb::server
