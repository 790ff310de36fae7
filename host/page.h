// File: page.h — the page context an operation works through: the request it
// reads, the response it writes, the visitor's session and the server's
// services. The HTTP server and the scripting host each implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/date_time.h"
#include "host/value.h"

namespace tb::data {
class EngineSource;
}  // namespace tb::data

namespace tb::host {

// The HTTP request. Field and cookie names match without regard to case; an
// absent field reads as empty text.
class Request {
 public:
  virtual ~Request() = default;
  virtual std::optional<std::string> FindForm(std::string_view name) const = 0;
  virtual std::optional<std::string> FindQuery(std::string_view name) const = 0;
  virtual std::optional<std::string> FindCookie(std::string_view name) const = 0;
  virtual std::optional<std::string> FindServerVariable(std::string_view name) const = 0;

  std::string Form(std::string_view name) const { return FindForm(name).value_or(""); }
  std::string Query(std::string_view name) const { return FindQuery(name).value_or(""); }
  std::string Cookie(std::string_view name) const {
    return FindCookie(name).value_or("");
  }
  std::string ServerVariable(std::string_view name) const {
    return FindServerVariable(name).value_or("");
  }
  // The value from the first collection that holds the name: query string,
  // form, cookies, server variables.
  std::string Lookup(std::string_view name) const;
  // The client's address as dotted text.
  std::string RemoteAddr() const { return ServerVariable("remote_addr"); }
};

// The HTTP response.
class Response {
 public:
  virtual ~Response() = default;
  // Appends to the body, with nothing added between writes.
  virtual void Write(std::string_view text) = 0;
  // Appends a page (or a part of one) as the host's page cache keeps it
  // (PageCache::Find): a host that keeps pages in the form it sends them
  // appends them without converting them again.
  virtual void WriteKept(std::string_view kept) { Write(kept); }
  // Sends the browser to a page of the site ("guanshui.asp"); the caller
  // writes nothing more.
  virtual void Redirect(std::string_view page) = 0;
  virtual void SetCookie(std::string_view name, std::string_view value) = 0;
  // The cookie's expiry as the operation gives it: a stored date-time text
  // "YYYY-MM-DD HH:MM:SS" or another date text.
  virtual void SetCookieExpires(std::string_view name, std::string_view expires) = 0;
};

// The session keys a login writes: the owner's guestbook name as stored,
// "yes" once an owner has logged in, "yes" once the superuser has.
inline constexpr std::string_view kLoginName = "ly_name";
inline constexpr std::string_view kLoginFlag = "ly_log";
inline constexpr std::string_view kSuperuserFlag = "ly_admin_log";

// Whether a session holding these login values is logged in as the owner
// `name`: the flag is "yes" and the names match without regard to case.
// Example: IsLoginOf(Value("yes"), Value("abc"), "ABC") is true.
bool IsLoginOf(const Value& flag, const Value& login_name, std::string_view name);

// The visitor's session: values kept as set (text or number); a key never
// written reads empty. Keys match without regard to case.
class Session {
 public:
  // Which sessions EndLogins reaches besides the other visitors' ones.
  enum class Reach { kOthers, kThisOneToo };

  virtual ~Session() = default;
  virtual Value Get(std::string_view key) const = 0;
  virtual void Set(std::string_view key, Value value) = 0;

  // Ends every login as the owner `name` (any letter case): every other
  // session logged in as it ends at once, wherever it is kept; with
  // kThisOneToo this session loses its login keys too when it is logged in
  // as `name`. A guestbook that is gone, or whose password changed, is then
  // no longer open to whoever had logged in to it.
  // Example: after deleting "abc", EndLogins("abc", Reach::kThisOneToo);
  //   every session logged in as "abc" now reads as logged out.
  virtual void EndLogins(std::string_view name, Reach reach) = 0;

  // The owner (or superuser) this session is logged in as; empty when none.
  std::string LoggedInName() const {
    return Get(kLoginFlag).Text() == "yes" ? Get(kLoginName).Text() : std::string();
  }
  // Whether this session is logged in as the owner `name` (see IsLoginOf).
  bool IsLoggedInAs(std::string_view name) const {
    return IsLoginOf(Get(kLoginFlag), Get(kLoginName), name);
  }
  // Empties every login key that holds a value (keys already empty stay
  // unwritten, so a visitor without a session does not get one for this).
  // Example: after ClearLogin(), Get("ly_admin_log").IsEmpty().
  void ClearLogin();
};

// Whole pages kept between requests, each for the version of the store it
// was read from (the numbers the store's triggers raise): a page is served
// again only while the store is as it was. Pages running at the same time
// share it. A host may keep a page in the form its responses send, so that
// a kept page costs no conversion (Response::WriteKept).
// Example:
//   auto v = ReadVersion(db);  // before the page reads anything
//   if (auto kept = cache.Find(key, v)) return out.WriteKept(*kept);
//   out.WriteKept(*cache.Keep(key, v, Render(db)));
class PageCache {
 public:
  virtual ~PageCache() = default;
  // The page kept under `key` for `version`, in the host's form (for
  // Response::WriteKept); nullptr when there is none (a page kept for
  // another version is dropped).
  virtual std::shared_ptr<const std::string> Find(std::string_view key,
                                                  std::uint64_t version) = 0;
  // Keeps `page` under `key` for `version`, in place of what was kept there,
  // and gives it in the host's form (for Response::WriteKept), also when it
  // is too large to keep.
  virtual std::shared_ptr<const std::string> Keep(std::string_view key,
                                                  std::uint64_t version,
                                                  std::string page) = 0;
  // Find, and for a page not kept the turn to render it: while another
  // request renders the page of `key` for `version`, waits for it to keep
  // the page (then returns that page) or to give up (then returns nothing,
  // and this request renders alone); otherwise `rendering` is set, and
  // others asking meanwhile wait for this request until it keeps the page
  // or drops `rendering`. So a page many ask for at once is rendered once.
  struct Lookup {
    std::shared_ptr<const std::string> page;
    std::shared_ptr<void> rendering;
  };
  virtual Lookup FindOrRender(std::string_view key, std::uint64_t version) = 0;

  // The version numbers of the store `dsn` as `read` gives them (nullopt
  // when the store lacks them). The result of a read that began after this
  // call was made serves it as well as its own would: it sees every change
  // made before. So a cache may share one read among the requests that ask
  // while it runs, saving a round trip to a store on another machine.
  // `mark`: the store's change mark (data::Engine::ChangeMark) taken before
  // this call; while it is the one taken before the last read, nothing has
  // changed since, and that read's numbers serve without a new one.
  struct Version {
    std::uint64_t changes, visits;
  };
  using VersionRead = std::function<std::optional<Version>()>;
  virtual std::optional<Version> ReadVersion(std::string_view dsn, std::string_view mark,
                                             const VersionRead& read) = 0;
};

// Services of the host.
class Server {
 public:
  virtual ~Server() = default;
  // Opens stores by connection string (see data::Connection).
  virtual data::EngineSource& Databases() = 0;
  // The current local date and time.
  virtual DateTime Now() const = 0;
  // A random whole number from `low` to `high` inclusive.
  virtual std::int64_t Random(std::int64_t low, std::int64_t high) = 0;
  // The address of the service's advertising script.
  virtual std::string AdScriptUrl() const = 0;
  // Counts one visit to the guestbook `name` in the store `dsn`: its counter
  // goes up by one (data::AddVisits). The HTTP host gathers the counts in memory
  // and writes them a moment later, many in one transaction, so that a
  // visit costs no write of its own; the scripting host writes at once.
  // Example: server.CountVisit(DSNtemp(), "abc");
  virtual void CountVisit(std::string_view dsn, std::string_view name) = 0;
  // The host's cache of whole pages; nullptr when it keeps none (the
  // scripting host runs one page per process).
  virtual PageCache* Pages() { return nullptr; }
  // Text encoded for a URL query value (GB18030 bytes, "+" for blanks).
  std::string UrlEncode(std::string_view text) const;
};

class PageContext {
 public:
  virtual ~PageContext() = default;
  virtual Request& request() = 0;
  virtual Response& response() = 0;
  virtual Server& server() = 0;
  virtual Session& session() = 0;
};

}  // namespace tb::host
