#include "host/memory/memory_page.h"

#include <chrono>

#include "data/engine.h"
#include "data/schema.h"

namespace tb::host {

std::optional<std::string> MapPage::FindForm(std::string_view name) const {
  return form.Find(name);
}
std::optional<std::string> MapPage::FindQuery(std::string_view name) const {
  return query.Find(name);
}
std::optional<std::string> MapPage::FindCookie(std::string_view name) const {
  return cookies.Find(name);
}
std::optional<std::string> MapPage::FindServerVariable(std::string_view name) const {
  return server_variables.Find(name);
}

CookieOut& MapPage::CookieNamed(std::string_view name) {
  auto it = response_cookies.find(name);
  if (it == response_cookies.end()) {
    const std::size_t order = response_cookies.size();
    it = response_cookies.emplace(std::string(name), CookieOut{"", std::nullopt, order})
             .first;
  }
  return it->second;
}

void MapPage::SetCookie(std::string_view name, std::string_view value) {
  CookieNamed(name).value = value;
}

void MapPage::SetCookieExpires(std::string_view name, std::string_view expires) {
  CookieNamed(name).expires = std::string(expires);
}

Value MapPage::Get(std::string_view key) const {
  auto it = session_values.find(key);
  return it == session_values.end() ? Value() : it->second;
}

void MapPage::Set(std::string_view key, Value value) {
  auto it = session_values.find(key);
  if (it == session_values.end()) {
    session_values.emplace(std::string(key), std::move(value));
  } else {
    it->second = std::move(value);
  }
}

MemoryPage::MemoryPage(data::EngineSource& databases)
    : MapPage(databases), random(std::random_device{}()) {
  server_variables.Add("remote_addr", "127.0.0.1");
}

void MemoryPage::EndLogins(std::string_view name, Reach reach) {
  if (reach == Reach::kThisOneToo && IsLoggedInAs(name)) ClearLogin();
}

DateTime MemoryPage::Now() const {
  return now ? *now : DateTime::FromTimePoint(std::chrono::system_clock::now());
}

void MemoryPage::CountVisit(std::string_view dsn, std::string_view name) {
  data::AddVisits(*Databases().Acquire(dsn), name, 1);
}

std::int64_t MemoryPage::Random(std::int64_t low, std::int64_t high) {
  return std::uniform_int_distribution<std::int64_t>(low, high)(random);
}

}  // namespace tb::host
