// File: site.h — the web site behind the HTTP listener: finds the page or
// image for a request, runs the page with its component and turns what the
// page left into the response.
//
// "/" sends the browser to index.asp; paths match without regard to case;
// images are served with their type and a long cache lifetime; anything
// else is 404. Pages answer GET, HEAD and POST, images GET and HEAD. A
// request that changes the store but that the browser marks as sent from
// elsewhere is refused with 403 before its page runs (RefusedAsCrossSite).
// An error raised while a page runs is logged with the request line and
// answered with a plain 500 page; the site goes on serving. A page whose
// statement ran past the query time limit, or whose store cannot take a
// write now (data::Unavailable: read only, disk full), is answered with the
// plain 503 page "服务器忙，请稍后再试！" and "Retry-After: 5"; its
// transaction has rolled back.
//
// Files, the redirect of "/" and refusals are answered where the request is
// read; a page is work for a worker thread (Dispatch), charged to the
// client's address (ClientAddress).
//
// Example:
//   Site site(options, pool, sessions, visits, http::LogToStderr);
//   HttpServer server(ioc, [&](auto& req, auto& peer) {
//     return site.Dispatch(req, peer); }, http::LogToStderr);
#pragma once

#include <boost/asio/ip/address.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/engine.h"
#include "server/config.h"
#include "server/http/http_server.h"
#include "server/http/log.h"
#include "server/http/message.h"
#include "server/http/session_store.h"
#include "server/http/visit_counter.h"
#include "server/http_page.h"
#include "server/mail/outbox.h"
#include "server/pages/page_env.h"

namespace tb::server {

struct SiteOptions {
  ComponentProperties properties;  // all ten, LybUrl included
  std::string ad_script_url;
  std::optional<boost::asio::ip::address> trusted_proxy;
  http::PageCache* pages = nullptr;       // the pages' cache; none when nullptr
  std::size_t max_posts_per_minute = 10;  // of one client address
  bool hash_passwords = false;            // owners' passwords kept as hashes
  mail::Outbox* outbox = nullptr;         // the pages' mail; none when nullptr
  // The counts per client address; the site's own, in memory, when nullptr.
  ClientLimits* limits = nullptr;
};

// Whether a request that acts (changes the store or the session, or counts
// a guess) is refused because the browser says it is not a person's own
// navigation on this site, so that another site's form, link or image, or an
// image on this site, cannot make a logged-in visitor's browser delete,
// post, log off or use up the guesses of its address. Such requests are
// every POST, and a GET or HEAD of a page that acts on one (kActingGets in
// site.cc). They are refused when Sec-Fetch-Dest is there and not
// "document"; and, except for the mailed address check, which other sites
// may link to, when Sec-Fetch-Site is there and neither "same-origin" nor
// "none", or Origin is there and not the site's own: "https" when the
// request came over HTTPS (RequestData::https), else "http", then "://" and
// the Host field; "null" never is. Most acting GETs are refused, moreover,
// when their request was not sent from the page that links to them
// (Referer): a link in a message cannot delete, store or log in for the
// owner or the superuser who clicks it. Requests without these fields
// (scripts, older browsers) pass.
// Example: a POST with "Sec-Fetch-Site: cross-site" is refused; the same POST
// with "Sec-Fetch-Site: same-origin", or with no such field, is not.
bool RefusedAsCrossSite(const http::Request& req, const http::RequestData& data);

class Site {
 public:
  using RouteFinder = const Route* (*)(std::string_view path);
  using AssetFinder = const Asset* (*)(std::string_view path);

  Site(SiteOptions options, data::EngineSource& databases, http::SessionStore& sessions,
       http::VisitCounter& visits, http::LogSink log, RouteFinder routes = FindRoute,
       AssetFinder assets = FindAsset);

  // Runs before each page; serve uses it to create the superuser once the
  // store can be reached. It must not throw.
  void SetBeforePage(std::function<void()> hook) { before_page_ = std::move(hook); }

  // Answers the request at once, or gives its page as work for a worker
  // thread. The work reads the site and its stores, so the site must outlive
  // it.
  http::Reply Dispatch(const http::Request& req, const boost::asio::ip::address& peer);
  // The same, with the page run at once on the calling thread.
  http::Response Handle(const http::Request& req, const boost::asio::ip::address& peer);

 private:
  // Runs the page with the page cache `pages`; a KeptOnly cache's NotKept
  // goes on to the caller.
  http::Response RunPage(const Route& route, http::RequestData data,
                         const http::Request& req, host::PageCache* pages);
  // The page as `pages` keeps it, or nullopt when it is not kept.
  std::optional<http::Response> KeptAnswer(const Route& route,
                                           const http::RequestData& data,
                                           const http::Request& req,
                                           http::KeptOnly& pages);
  // The asset a request target names, when it names one and no page.
  const Asset* AssetOnly(std::string_view target) const;
  static http::Response ServeAsset(const Asset& asset, const http::Request& req);
  static http::Response RedirectTo(std::string_view page, const http::Request& req);

  SiteOptions options_;
  data::EngineSource& databases_;
  http::SessionStore& sessions_;
  http::VisitCounter& visits_;
  http::LogSink log_;
  RouteFinder routes_;
  AssetFinder assets_;
  std::function<void()> before_page_;
  std::unique_ptr<ClientLimits> own_limits_;  // when options_.limits is nullptr
  ClientLimits& limits_;
};

}  // namespace tb::server
