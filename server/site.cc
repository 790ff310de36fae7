#include "server/site.h"

#include <memory>

#include "check/text.h"
#include "data/error.h"
#include "server/http/client_network.h"
#include "server/http/request_fields.h"

namespace tb::server {
namespace {

using http::Status;
namespace bhttp = http::bhttp;

// Images do not change while a version of the site runs: thirty days.
constexpr std::string_view kAssetCacheControl = "public, max-age=2592000";

std::string RequestLine(const http::Request& req) {
  return std::string(req.method_string()) + " " + std::string(req.target()) +
         (req.version() == 10 ? " HTTP/1.0" : " HTTP/1.1");
}

std::string EscapeAmpersands(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else {
      out += c;
    }
  }
  return out;
}

// Whether some field asks a listing for a search. A field that is blank
// counts as asked, so that an odd request goes to a worker rather than the
// I/O thread.
bool Searches(const http::RequestData& data) {
  for (const host::FieldMap* fields : {&data.query, &data.form, &data.cookies}) {
    for (std::string_view name : {"keyword", "search"}) {
      if (fields->Find(name)) return true;
    }
  }
  return false;
}

// Whether a GET or HEAD of a page of `cost` may run at once (see Cost): a
// listing is bounded unless it Searches or the page number is past the
// first fifty. A page number that is blank or no number counts as past.
bool Bounded(Cost cost, const http::RequestData& data) {
  if (cost != Cost::kListing) return cost == Cost::kBounded;
  if (Searches(data)) return false;
  const auto page = data.query.Find("Page");
  if (!page) return true;
  constexpr std::size_t kBoundedPages = 50;
  std::size_t number = 0;
  for (char c : *page) {
    if (c < '0' || c > '9' || (number = number * 10 + (c - '0')) > kBoundedPages)
      return false;
  }
  return !page->empty();
}

// The pages that act on a GET (or HEAD) as well: on every request of the
// page, or only on one whose query field "del", blanks trimmed, is "1". A
// login logs off first, a settings check stores what it gets, form or not,
// and a check of a secret counts a wrong guess against the client's address.
// `linked_from_anywhere`: the page is opened by a link in a mail (the check
// of an owner's address), so another site may link to it; only a request
// that is no one's navigation (an image, a script) is refused.
// `opened_from`: the one page of the site whose link, script or form sends
// to it, so that a link to it in a message cannot delete, store, log in or
// count a guess for the owner or the superuser who clicks it. (The check pages are sent
// their forms by POST; a GET of them is only ever typed.)
struct ActingGet {
  std::string_view path;
  bool only_del_1 = false;
  bool linked_from_anywhere = false;
  std::string_view opened_from = {};
};
constexpr ActingGet kActingGets[] = {
    {"admin_del_all.asp", true, false, "admin_del_all.asp"},
    {"show.asp", true},
    {"admin_deluser.asp", false, false, "userlist.asp"},
    {"admin_delinfo.asp", false, false, "userlist.asp"},
    {"admin_log_off.asp"},
    {"admin_login.asp", false, false, "admin.asp"},
    {"lostpassword_check.asp", false, false, "lostpassword.asp"},
    {"admin_jiemian_check.asp", false, false, "admin_jiemian.asp"},
    {"admin_jiemian_check2.asp", false, false, "admin_jiemian2.asp"},
    {"admin_jiemian3_check.asp", false, false, "admin_jiemian3.asp"},
    {"confirm.asp", false, true},
};

// How the request acts, when it does: every POST as a form of this site.
const ActingGet* Acting(const http::RequestData& data) {
  static constexpr ActingGet kPost{};
  if (data.method == "POST") return &kPost;
  for (const ActingGet& a : kActingGets) {
    if (!host::EqualsIgnoreCase(a.path, data.path)) continue;
    const bool acts =
        !a.only_del_1 || check::Trim(data.query.Find("del").value_or("")) == "1";
    return acts ? &a : nullptr;
  }
  return nullptr;
}

// The field is sent with a value other than all of `allowed`.
bool SentOtherThan(const http::Request& req, std::string_view field,
                   std::initializer_list<std::string_view> allowed) {
  auto it = req.find(field);
  if (it == req.end()) return false;
  for (std::string_view a : allowed) {
    if (host::EqualsIgnoreCase(it->value(), a)) return false;
  }
  return true;
}

// Whether the request comes from page `from` of `origin` by its Referer. A
// visitor's own navigation (typed, a bookmark: Sec-Fetch-Site "none") comes
// from no page and passes; so does a request of a browser that sends neither
// field. A browser that sends Sec-Fetch-Site but no Referer hides where the
// request was sent from, so it is not taken for the page's own.
bool OpenedFrom(const http::Request& req, std::string_view origin,
                std::string_view from) {
  const auto site = req.find("Sec-Fetch-Site");
  if (site != req.end() && host::EqualsIgnoreCase(site->value(), "none")) return true;
  const auto referer = req.find(bhttp::field::referer);
  if (referer == req.end()) return site == req.end();
  std::string_view page = referer->value();
  if (!host::StartsWithIgnoreCase(page, origin)) return false;
  // The page's name, last in the path: a proxy may serve the site below a
  // folder of its own.
  page = page.substr(origin.size());
  page = page.substr(0, page.find_first_of("?#"));
  return page.starts_with('/') &&
         host::EqualsIgnoreCase(page.substr(page.rfind('/') + 1), from);
}

}  // namespace

bool RefusedAsCrossSite(const http::Request& req, const http::RequestData& data) {
  const ActingGet* acting = Acting(data);
  if (!acting) return false;
  if (SentOtherThan(req, "Sec-Fetch-Dest", {"document"})) return true;
  if (acting->linked_from_anywhere) return false;
  const std::string origin = std::string(data.https ? "https://" : "http://") +
                             std::string(req[bhttp::field::host]);
  return SentOtherThan(req, "Sec-Fetch-Site", {"same-origin", "none"}) ||
         SentOtherThan(req, "Origin", {origin}) ||
         (!acting->opened_from.empty() && !OpenedFrom(req, origin, acting->opened_from));
}

Site::Site(SiteOptions options, data::EngineSource& databases,
           http::SessionStore& sessions, http::VisitCounter& visits, http::LogSink log,
           RouteFinder routes, AssetFinder assets)
    : options_(std::move(options)),
      databases_(databases),
      sessions_(sessions),
      visits_(visits),
      log_(std::move(log)),
      routes_(routes),
      assets_(assets),
      own_limits_(options_.limits
                      ? nullptr
                      : std::make_unique<ClientLimits>(options_.max_posts_per_minute)),
      limits_(options_.limits ? *options_.limits : *own_limits_) {}

http::Response Site::Handle(const http::Request& req,
                            const boost::asio::ip::address& peer) {
  http::Reply reply = Dispatch(req, peer);
  return reply.response ? std::move(*reply.response) : reply.work(req);
}

http::Reply Site::Dispatch(const http::Request& req,
                           const boost::asio::ip::address& peer) {
  const bool keep_alive = req.keep_alive();
  auto error = [&](Status status) {
    return http::ErrorResponse(status, req.version(), keep_alive);
  };
  const bhttp::verb method = req.method();
  const bool reading = method == bhttp::verb::get || method == bhttp::verb::head;
  if (!reading && method != bhttp::verb::post) {
    http::Response res = error(Status::method_not_allowed);
    res.set(bhttp::field::allow, "GET, HEAD, POST");
    return res;
  }
  // HTTP/1.1 requires the Host field.
  if (req.version() >= 11 && req.find(bhttp::field::host) == req.end()) {
    return error(Status::bad_request);
  }
  // An image or the stylesheet needs nothing of the request but its path:
  // it is answered before the fields, cookies and client address are read.
  if (const Asset* asset = reading ? AssetOnly(req.target()) : nullptr) {
    return http::AsAsked(ServeAsset(*asset, req), req);
  }
  std::string client = http::ClientAddress(req, peer, options_.trusted_proxy);
  auto read = http::ReadRequest(req, client);
  if (const auto* bad = std::get_if<http::BadRequest>(&read)) {
    return http::ErrorResponse(Status::bad_request, req.version(), keep_alive, bad->text);
  }
  auto data = &std::get<http::RequestData>(read);
  data->https = http::CameOverHttps(req, peer, options_.trusted_proxy);

  http::Response res;
  if (data->path.empty()) {
    res = RedirectTo("index.asp", req);
  } else if (const Route* route = routes_(data->path)) {
    // Refused before the page runs: nothing is stored, the session is not
    // even loaded.
    if (RefusedAsCrossSite(req, *data)) {
      res = error(Status::forbidden);
    } else {
      // A page that would wait for its session (another page of the same
      // visitor holds it) is not light either.
      const auto session = data->cookies.Find(http::kSessionCookie);
      const bool may_wait = session && sessions_.MayWait(*session);
      const bool light = reading && Bounded(route->cost, *data) && !may_wait;
      // A deep page of a listing, or a search, is as cheap as a first page
      // once it is kept: it is answered from the page cache, and goes to a
      // worker only when it is not kept. A page that acts always goes.
      const bool kept_first = reading && !light && !may_wait &&
                              route->cost == Cost::kListing && !Acting(*data) &&
                              options_.pages;
      // Answered at once, a kept search would go ahead of the light pages on
      // the I/O thread, and a search hammered that way would starve them;
      // after the next version read it is answered only while none runs.
      const bool at_once = kept_first && !Searches(*data);
      auto page_data = std::make_shared<http::RequestData>(std::move(*data));
      http::Reply reply{http::ClientNetworkText(client),
                        [this, route, page_data](const http::Request& r) {
                          return http::AsAsked(
                              RunPage(*route, std::move(*page_data), r, options_.pages),
                              r);
                        }};
      reply.light = light;
      reply.writes = !reading;
      // Run, if at all, before the work, which then takes the data.
      if (at_once) {
        reply.at_once = [this, route, page_data](const http::Request& r) {
          http::KeptOnly pages(*options_.pages);
          return KeptAnswer(*route, *page_data, r, pages);
        };
      }
      // Where the store's version is a round trip away, a kept deep page
      // waits for the next version read that others' pages make, rather
      // than for a worker; a session is not loaded on the I/O thread.
      if (kept_first && !session) {
        reply.after_next_read = [this, route, page_data](auto answer) {
          auto data = std::make_shared<const http::RequestData>(*page_data);
          return options_.pages->AfterNextRead(
              [this, route, data, answer](const std::string& dsn,
                                          const host::PageCache::Version& read) {
                answer([this, route, data, dsn, read](const http::Request& r) {
                  http::KeptOnly pages(*options_.pages, dsn, read);
                  return KeptAnswer(*route, *data, r, pages);
                });
              });
        };
      }
      return reply;
    }
  } else if (const Asset* asset = assets_(data->path)) {
    if (reading) {
      res = ServeAsset(*asset, req);
    } else {
      res = error(Status::method_not_allowed);
      res.set(bhttp::field::allow, "GET, HEAD");
    }
  } else {
    res = error(Status::not_found);
  }
  return http::AsAsked(std::move(res), req);
}

http::Response Site::RunPage(const Route& route, http::RequestData data,
                             const http::Request& req, host::PageCache* pages) {
  // Made inside the try: loading the session may meet a busy store too.
  std::optional<http::HttpPage> made;
  std::optional<std::string> session_cookie;
  std::string failure;
  try {
    http::HttpPage& page = made.emplace(std::move(data), databases_, sessions_, visits_,
                                        limits_, options_.ad_script_url, pages);
    if (before_page_) before_page_();
    options_.properties.ApplyTo(page.component());
    page.component().SetPasswordHashing(options_.hash_passwords);
    page.SetOutbox(options_.outbox);
    route.handler(page);
    session_cookie = page.FinishSession();
  } catch (const http::NotKept&) {
    throw;
  } catch (const data::Unavailable& e) {
    // The store is busy or cannot be written now, not broken: nothing was
    // half-written and the visitor may simply try again.
    log_("busy: \"" + RequestLine(req) + "\": " + e.what());
    return http::ErrorResponse(Status::service_unavailable, req.version(),
                               req.keep_alive());
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown error";
  }
  if (!failure.empty()) {
    log_("error: \"" + RequestLine(req) + "\": " + failure);
    return http::ErrorResponse(Status::internal_server_error, req.version(),
                               req.keep_alive());
  }
  http::HttpPage& page = *made;
  http::Response res = page.redirect
                           ? RedirectTo(*page.redirect, req)
                           : http::EncodedHtmlResponse(Status::ok, std::move(page.body),
                                                       req.version(), req.keep_alive());
  for (const std::string& cookie : page.CookieHeaders()) {
    res.insert(bhttp::field::set_cookie, cookie);
  }
  if (session_cookie) res.insert(bhttp::field::set_cookie, *session_cookie);
  res.set(bhttp::field::cache_control, "private");
  return res;
}

std::optional<http::Response> Site::KeptAnswer(const Route& route,
                                               const http::RequestData& data,
                                               const http::Request& req,
                                               http::KeptOnly& pages) {
  try {
    return http::AsAsked(RunPage(route, data, req, &pages), req);
  } catch (const http::NotKept&) {
    return std::nullopt;
  }
}

const Asset* Site::AssetOnly(std::string_view target) const {
  if (target.empty() || target.front() != '/') return nullptr;
  const std::string path = http::DecodePath(target.substr(1, target.find('?') - 1));
  return routes_(path) ? nullptr : assets_(path);
}

http::Response Site::ServeAsset(const Asset& asset, const http::Request& req) {
  http::Response res{Status::ok, req.version()};
  res.set(bhttp::field::content_type, asset.content_type);
  res.set(bhttp::field::cache_control, kAssetCacheControl);
  http::AddSecurityHeaders(res);
  res.body() = std::string(asset.bytes);
  res.keep_alive(req.keep_alive());
  res.prepare_payload();
  return res;
}

http::Response Site::RedirectTo(std::string_view page, const http::Request& req) {
  std::string location = http::SafeLocation(page);
  http::Response res = http::HtmlResponse(
      Status::found,
      "<html><head><meta charset=\"gb2312\"><title>页面已转到别处</title></head><body>"
      "<a href=\"" +
          EscapeAmpersands(location) + "\">请点这里继续</a></body></html>",
      req.version(), req.keep_alive());
  res.set(bhttp::field::location, location);
  return res;
}

}  // namespace tb::server
