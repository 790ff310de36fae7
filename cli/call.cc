#include "cli/call.h"

#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "component/dispatch.h"
#include "data/sqlite_engine.h"
#include "host/memory_page.h"

namespace tb::cli {
namespace {

using nlohmann::json;

struct BadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A JSON scalar as a value: numbers stay numbers, strings are text, null is
// empty.
Value ToValue(const json& j, std::string_view what) {
  if (j.is_null()) return Value();
  if (j.is_string()) return Value(j.get<std::string>());
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

void Prepare(const json& request, Guestbook& book, host::MemoryPage& page) {
  for (const auto& [name, value] : Section(request, "properties").items()) {
    const Member* m = FindMember(name);
    if (!m || m->kind != MemberKind::kProperty)
      throw BadInput("unknown property " + name);
    m->set(book, ToValue(value, name));
  }
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
  data::SqlitePool pool;
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
    Prepare(request, book, page);
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

}  // namespace tb::cli
