#include "cli/call.h"

#include <array>
#include <iostream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "component/members/members.h"
#include "data/store_pool.h"
#include "host/memory/memory_page.h"
#include "server/serve.h"

namespace tb::cli {
namespace {

using nlohmann::json;

// The keys of the input and of the output, for the help.
struct Key {
  std::string_view name, what;
};
constexpr std::array kInputKeys = {
    Key{"method", "the member to run (below), in any letter case"},
    Key{"properties", "the component's properties by name (below)"},
    Key{"query", "query fields: name to text, a list for a field given several times"},
    Key{"form", "posted form fields, as query"},
    Key{"cookies", "request cookies, as query"},
    Key{"session", "session values before the call; numbers stay numbers"},
    Key{"server_variables", "server variables; remote_addr defaults to 127.0.0.1"},
    Key{"args", "the by-reference arguments of the word filters"},
    Key{"now", "a fixed clock, \"YYYY-MM-DD HH:MM:SS\""},
    Key{"random_seed", "a fixed seed of the random source"},
    Key{"ad_script_url", "the script address that gBookAd writes"},
};
constexpr std::array kOutputKeys = {
    Key{"body", "everything the call wrote"},
    Key{"redirect", "the page it redirected to, or null"},
    Key{"cookies", "every cookie it set, with value and expires"},
    Key{"session", "the whole session after the call"},
    Key{"result", "a function's result; null for a method"},
    Key{"args", "the by-reference arguments after the call"},
    Key{"error", "the text of a store failure, or null"},
};

struct BadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A JSON scalar as a value: numbers stay numbers (a whole one past the
// 64-bit range as the nearest double), strings are text, null is empty.
Value ToValue(const json& j, std::string_view what) {
  if (j.is_null()) return Value();
  if (j.is_string()) return Value(j.get<std::string>());
  constexpr auto kMost =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (j.is_number_unsigned() && j.get<std::uint64_t>() > kMost)
    return Value(j.get<double>());
  if (j.is_number_integer()) return Value(j.get<std::int64_t>());
  if (j.is_number()) return Value(j.get<double>());
  throw BadInput(std::string(what) + ": expected a string, a number or null");
}

json ToJson(const Value& v) {
  if (v.IsEmpty()) return nullptr;
  if (v.IsNumber()) {
    if (auto whole = v.Whole()) return *whole;
    return *v.Number();
  }
  return v.Text();
}

const json& Section(const json& request, const char* key) {
  static const json kEmpty = json::object();
  auto it = request.find(key);
  if (it == request.end() || it->is_null()) return kEmpty;
  if (!it->is_object()) throw BadInput(std::string(key) + ": expected an object");
  return *it;
}

// Request fields: strings (or numbers) as sent; a list stands for a field
// given several times.
void FillFields(const json& request, const char* key, host::FieldMap& fields) {
  for (const auto& [name, value] : Section(request, key).items()) {
    if (value.is_array()) {
      for (const auto& item : value) fields.Add(name, ToValue(item, name).Text());
    } else {
      fields.Add(name, ToValue(value, name).Text());
    }
  }
}

// Sets the input's properties; without DSNtemp, the default store of
// `tavobook serve`.
void SetProperties(const json& request, Guestbook& book, std::ostream& err) {
  const Member* dsn = FindMember("DSNtemp");
  bool dsn_given = false;
  for (const auto& [name, value] : Section(request, "properties").items()) {
    const Member* m = FindMember(name);
    if (!m || m->kind != MemberKind::kProperty)
      throw BadInput("unknown property " + name);
    m->set(book, ToValue(value, name));
    dsn_given = dsn_given || m == dsn;
  }
  if (dsn_given) return;
  const std::string path(server::kDefaultDbPath);
  dsn->set(book, Value("sqlite:" + path));
  if (auto complaint = server::CreateStoreFolder(path)) err << *complaint << "\n";
}

void Prepare(const json& request, Guestbook& book, host::MemoryPage& page,
             std::ostream& err) {
  SetProperties(request, book, err);
  FillFields(request, "query", page.query);
  FillFields(request, "form", page.form);
  FillFields(request, "cookies", page.cookies);
  for (const auto& [name, value] : Section(request, "server_variables").items()) {
    if (host::EqualsIgnoreCase(name, "remote_addr")) page.server_variables = {};
  }
  FillFields(request, "server_variables", page.server_variables);
  if (!page.server_variables.Find("remote_addr")) {
    page.server_variables.Add("remote_addr", "127.0.0.1");
  }
  for (const auto& [key, value] : Section(request, "session").items()) {
    page.Set(key, ToValue(value, key));
  }
  // Extensions for repeatable scripts: a fixed clock and random seed.
  if (auto it = request.find("now"); it != request.end()) {
    auto now = it->is_string() ? DateTime::Parse(it->get<std::string>()) : std::nullopt;
    if (!now) throw BadInput("now: expected \"YYYY-MM-DD HH:MM:SS\"");
    page.now = *now;
  }
  if (auto it = request.find("random_seed"); it != request.end()) {
    if (!it->is_number_unsigned()) throw BadInput("random_seed: expected a number");
    page.random.seed(it->get<std::uint64_t>());
  }
  if (auto it = request.find("ad_script_url"); it != request.end() && it->is_string()) {
    page.ad_script_url = it->get<std::string>();
  }
}

json Outcome(const host::MemoryPage& page, const Value& result,
             const std::vector<Value>& args, const std::optional<std::string>& error) {
  json out = json::object();
  out["body"] = page.body;
  out["redirect"] = page.redirect ? json(*page.redirect) : json(nullptr);
  json cookies = json::object();
  for (const auto& [name, cookie] : page.response_cookies) {
    cookies[name] = {{"value", cookie.value},
                     {"expires", cookie.expires ? json(*cookie.expires) : json(nullptr)}};
  }
  out["cookies"] = cookies;
  json session = json::object();
  for (const auto& [key, value] : page.session_values) session[key] = ToJson(value);
  out["session"] = session;
  out["result"] = ToJson(result);
  json out_args = json::array();
  for (const auto& a : args) out_args.push_back(ToJson(a));
  out["args"] = out_args;
  out["error"] = error ? json(*error) : json(nullptr);
  return out;
}

}  // namespace

int RunCall(std::istream& in, std::ostream& out, std::ostream& err) {
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  data::StorePool pool;
  host::MemoryPage page(pool);
  Guestbook book;
  const Member* member = nullptr;
  std::vector<Value> args;
  try {
    json request = json::parse(text);
    if (!request.is_object()) throw BadInput("expected a JSON object");
    auto method = request.find("method");
    if (method == request.end() || !method->is_string())
      throw BadInput("method: missing");
    member = FindMember(method->get<std::string>());
    if (!member || !member->invoke) {
      throw BadInput("unknown method " + method->get<std::string>());
    }
    Prepare(request, book, page, err);
    if (auto it = request.find("args"); it != request.end()) {
      if (!it->is_array()) throw BadInput("args: expected a list");
      for (const auto& a : *it) args.push_back(ToValue(a, "args"));
    }
  } catch (const json::exception& e) {
    err << "tavobook call: bad input: " << e.what() << "\n";
    return 2;
  } catch (const BadInput& e) {
    err << "tavobook call: bad input: " << e.what() << "\n";
    return 2;
  }

  Value result;
  std::optional<std::string> error;
  book.OnStartPage(page);
  try {
    result = member->invoke(book, args);
  } catch (const std::exception& e) {
    error = e.what();
  }
  book.OnEndPage();
  out << Outcome(page, result, args, error)
             .dump(-1, ' ', false, json::error_handler_t::replace)
      << "\n";
  return 0;
}

std::string CallHelp() {
  constexpr std::size_t kColumn = 18;
  std::string help;
  auto line = [&help](std::string_view name, std::string_view what) {
    help.append("  ").append(name);
    help.append(name.size() < kColumn ? kColumn - name.size() : 1, ' ');
    help.append(what).append("\n");
  };
  help += "Input keys (one JSON object on stdin; all but method may be left out):\n";
  for (const Key& k : kInputKeys) line(k.name, k.what);
  help.append("Without DSNtemp the store is ")
      .append(server::kDefaultDbPath)
      .append(" (its folder created), as for serve.\n");
  help += "Output keys (one JSON object on stdout):\n";
  for (const Key& k : kOutputKeys) line(k.name, k.what);
  help += "Members of the component (name, kind):\n";
  for (const Member* m : Members()) {
    std::string kind = m->kind == MemberKind::kProperty ? "property"
                       : m->kind == MemberKind::kMethod ? "method"
                                                        : "function";
    if (!m->invoke && !m->set) kind += " (run by the host, not callable)";
    line(m->name, kind);
  }
  help += "Exit status: 0 when the call ran (also with error set), 2 for bad input.\n";
  return help;
}

}  // namespace tb::cli
