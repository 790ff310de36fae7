// File: http_page.h — the page context of one HTTP request: what the page and
// its component read (fields, cookies, the client's address, the session) and
// what they leave for the response (the body, a redirect, cookies).
//
// The site reads the request into RequestData, makes an HttpPage of it, runs
// the page and then turns the page's outcome into the response. The page's
// component is bound to the context for the page's whole life.
//
// Example:
//   HttpPage page(std::move(data), pool, sessions, visits, "");
//   page.component().test();
//   page.FinishSession();
//   page.body == "this is a test!"
#pragma once

#include <boost/asio/ip/address.hpp>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "component/guestbook.h"
#include "host/encoding.h"
#include "host/memory/memory_page.h"
#include "server/http/message.h"
#include "server/http/page_cache.h"
#include "server/http/request_fields.h"
#include "server/http/session_store.h"
#include "server/http/visit_counter.h"
#include "server/pages/page_env.h"

namespace tb::server::http {

// The name of the session cookie.
inline constexpr std::string_view kSessionCookie = "TBSESSION";

// What a page can read of a request, decoded to UTF-8.
struct RequestData {
  std::string method;
  std::string path;  // percent-decoded, without the leading "/"
  host::FieldMap query, form, cookies, server_variables;
  bool https = false;  // see CameOverHttps; every cookie then gets Secure
};

// The client's address as text: the peer, or, when the peer is the trusted
// proxy, the last address of X-Forwarded-For (when that is an address).
// IPv4 addresses mapped into IPv6 are written dotted.
// Example: ClientAddress(req, 127.0.0.1, 127.0.0.1) with "X-Forwarded-For:
// 1.2.3.4, 10.0.0.7" == "10.0.0.7".
std::string ClientAddress(const Request& req, const boost::asio::ip::address& peer,
                          const std::optional<boost::asio::ip::address>& trusted_proxy);

// Whether the browser reached the site over HTTPS: the peer is the trusted
// proxy and the last value of X-Forwarded-Proto it sent is "https" (any
// letter case). The site itself only speaks plain HTTP.
// Example: CameOverHttps(req, 127.0.0.1, 127.0.0.1) with "X-Forwarded-Proto:
// HTTPS" is true; from any other peer it is false.
bool CameOverHttps(const Request& req, const boost::asio::ip::address& peer,
                   const std::optional<boost::asio::ip::address>& trusted_proxy);

// At most this many fields, query, form and cookies together, in a request.
inline constexpr std::size_t kMaxFields = kFieldsReadAtMost - 1;

// A request refused as it is read, before any page runs: the text of its 400
// page.
struct BadRequest {
  std::string_view text;
};
inline constexpr BadRequest kMalformed{"浏览器发来的请求格式不正确。"};
inline constexpr BadRequest kTooManyFields{"请求中的字段太多。"};
// A NUL byte in the path, a field or a cookie: no statement or session key
// ever sees one.
inline constexpr BadRequest kBadBytes{"请求中含有非法字符"};

// Reads the request's path, query string, form body and cookies; refused
// when the target or the form body is malformed, when it holds more than
// kMaxFields fields, or a NUL byte.
std::variant<RequestData, BadRequest> ReadRequest(const Request& req,
                                                  std::string client_address);

// The request's fields, the body, redirect and cookies the page leaves and
// the session's values are the MapPage's; the page turns them into the
// response once it has run.
class HttpPage final : public PageEnv, public host::MapPage {
 public:
  // Holds and loads the session named by the request's TBSESSION cookie, if
  // it lives; the hold lasts until FinishSession or the page's end. Visits
  // the page counts go to `visits`; the page cache is `pages` (none when
  // nullptr).
  HttpPage(RequestData request, data::EngineSource& databases, SessionStore& sessions,
           VisitCounter& visits, ClientLimits& limits, std::string ad_script_url,
           host::PageCache* pages = nullptr);
  ~HttpPage() override;
  HttpPage(const HttpPage&) = delete;
  HttpPage& operator=(const HttpPage&) = delete;

  // PageEnv
  host::PageContext& context() override { return *this; }
  std::string_view method() const override { return method_; }
  Guestbook& component() override { return book_; }
  void EndSession() override;
  void RenewSession() override { renew_ = true; }
  ClientLimits& limits() override { return limits_; }
  mail::Outbox* outbox() override { return outbox_; }
  void SetOutbox(mail::Outbox* outbox) { outbox_ = outbox; }

  // Response: the body is kept as it is sent, GB18030, so that a kept page
  // goes in unconverted.
  void Write(std::string_view text) override { host::AppendGb18030(body, text); }
  void WriteKept(std::string_view kept) override { body += kept; }

  // Session: what is set is also saved by FinishSession.
  void Set(std::string_view key, Value value) override;
  // Erases the other sessions of that login from the store; this one's
  // login keys are cleared here, so that FinishSession cannot save them back.
  void EndLogins(std::string_view name, Reach reach) override;

  // Server
  DateTime Now() const override;
  std::int64_t Random(std::int64_t low, std::int64_t high) override;
  void CountVisit(std::string_view dsn, std::string_view name) override {
    visits_.Add(dsn, name);
  }
  host::PageCache* Pages() override { return pages_; }

  // Stores the session's changes (a new or renewed session gets its id
  // here), releases the session's hold and returns the Set-Cookie value for
  // the session cookie, when the browser needs a new one: the new id, or an
  // expired cookie after EndSession. A renewal carries the session's values
  // over only while the store still holds the session: one ended while the
  // request ran (its login ended elsewhere) passes on the request's own
  // changes alone.
  std::optional<std::string> FinishSession();

  // The Set-Cookie values of the cookies the page set, in the order set.
  std::vector<std::string> CookieHeaders() const;

 private:
  std::string method_;
  bool https_;
  SessionStore& sessions_;
  VisitCounter& visits_;
  ClientLimits& limits_;
  host::PageCache* pages_;
  mail::Outbox* outbox_ = nullptr;
  std::optional<std::mt19937_64> random_;

  SessionHold hold_;           // on the request's session, while it runs
  std::string session_id_;     // empty until the session exists
  std::string ended_session_;  // the id EndSession ended
  bool renew_ = false;         // RenewSession was called
  SessionValues changes_;      // what FinishSession saves

  Guestbook book_;
};

}  // namespace tb::server::http
