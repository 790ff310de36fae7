// File: memory_page.h — the four host objects of one request over plain
// maps (MapPage), which the HTTP page builds on too, and the page context held
// wholly in memory (MemoryPage).
//
// The scripting host (`tavobook call`) fills a MemoryPage from JSON and prints
// what the call left in it; tests build one directly.
//
// Example:
//   data::SqlitePool pool;
//   host::MemoryPage page(pool);
//   page.query.Add("name", "abc");
//   book.OnStartPage(page); book.ShowBook(); book.OnEndPage();
//   EXPECT_EQ(page.body, "...");
#pragma once

#include <map>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/ascii.h"
#include "host/fields.h"
#include "host/page.h"

namespace tb::host {

// A cookie the page set; `order` is the number of other cookies set before
// it first was (headers go out in that order).
struct CookieOut {
  std::string value;
  std::optional<std::string> expires;
  std::size_t order = 0;
};

// The four host objects of one request: the request's fields, what the page
// writes, the session's values, the stores. What differs between hosts (the
// clock, the random source, visit counts, how far a login's end reaches) is
// the derived page's.
class MapPage : public PageContext,
                public Request,
                public Response,
                public Session,
                public Server {
 public:
  // The request.
  FieldMap query, form, cookies, server_variables;
  // What the page left: the body, the redirect target, the cookies set.
  std::string body;
  std::optional<std::string> redirect;
  std::map<std::string, CookieOut, LessIgnoreCase> response_cookies;
  // The session's values.
  std::map<std::string, Value, LessIgnoreCase> session_values;
  // The advertising script's address.
  std::string ad_script_url;

  // PageContext
  Request& request() override { return *this; }
  Response& response() override { return *this; }
  Server& server() override { return *this; }
  Session& session() override { return *this; }

  // Request
  std::optional<std::string> FindForm(std::string_view name) const override;
  std::optional<std::string> FindQuery(std::string_view name) const override;
  std::optional<std::string> FindCookie(std::string_view name) const override;
  std::optional<std::string> FindServerVariable(std::string_view name) const override;

  // Response
  void Write(std::string_view text) override { body += text; }
  void Redirect(std::string_view page) override { redirect = std::string(page); }
  void SetCookie(std::string_view name, std::string_view value) override;
  void SetCookieExpires(std::string_view name, std::string_view expires) override;

  // Session
  Value Get(std::string_view key) const override;
  void Set(std::string_view key, Value value) override;

  // Server
  data::EngineSource& Databases() override { return databases_; }
  std::string AdScriptUrl() const override { return ad_script_url; }

 protected:
  explicit MapPage(data::EngineSource& databases) : databases_(databases) {}

 private:
  CookieOut& CookieNamed(std::string_view name);

  data::EngineSource& databases_;
};

class MemoryPage final : public MapPage {
 public:
  explicit MemoryPage(data::EngineSource& databases);

  // Server settings: a fixed clock (the real one when unset), the random
  // source.
  std::optional<DateTime> now;
  std::mt19937_64 random;

  // Only the one session held here can be reached.
  void EndLogins(std::string_view name, Reach reach) override;

  DateTime Now() const override;
  std::int64_t Random(std::int64_t low, std::int64_t high) override;
  // Writes the count at once: one call is all a process makes.
  void CountVisit(std::string_view dsn, std::string_view name) override;
};

}  // namespace tb::host
