// File: memory_page.h — a page context held in memory: the request, response,
// session and server of one call, as plain maps.
//
// The scripting host (`tavobook call`) fills one from JSON and prints what
// the call left in it; tests build one directly.
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
#include "host/page.h"

namespace tb::host {

// Named values in the order given; names match without regard to case, and a
// name given several times reads as its values joined by ", ". Adding and
// finding cost the same however many names there are, so that a request of
// many fields cannot hold a thread.
class FieldMap {
 public:
  void Add(std::string_view name, std::string_view value);
  std::optional<std::string> Find(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& entries() const {
    return entries_;
  }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
  // The index into entries_ by the name in lower case.
  std::unordered_map<std::string, std::size_t> index_;
};

struct CookieOut {
  std::string value;
  std::optional<std::string> expires;
};

class MemoryPage final : public PageContext,
                         public Request,
                         public Response,
                         public Session,
                         public Server {
 public:
  explicit MemoryPage(data::EngineSource& databases);

  // The request.
  FieldMap query, form, cookies, server_variables;
  // What the call left: the body, the redirect target, the cookies set.
  std::string body;
  std::optional<std::string> redirect;
  std::map<std::string, CookieOut, LessIgnoreCase> response_cookies;
  // The session, before and after.
  std::map<std::string, Value, LessIgnoreCase> session_values;
  // Server settings: a fixed clock (the real one when unset), the random
  // source, the advertising script address.
  std::optional<DateTime> now;
  std::mt19937_64 random;
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
  // Only the one session held here can be reached.
  void EndLogins(std::string_view name, Reach reach) override;

  // Server
  data::EngineSource& Databases() override { return databases_; }
  DateTime Now() const override;
  std::int64_t Random(std::int64_t low, std::int64_t high) override;
  std::string AdScriptUrl() const override { return ad_script_url; }
  // Writes the count at once: one call is all a process makes.
  void CountVisit(std::string_view dsn, std::string_view name) override;

 private:
  data::EngineSource& databases_;
};

}  // namespace tb::host
