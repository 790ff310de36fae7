#include "server/site.h"

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

}  // namespace

Site::Site(SiteOptions options, data::EngineSource& databases,
           http::SessionStore& sessions, http::LogSink log, RouteFinder routes,
           AssetFinder assets)
    : options_(std::move(options)),
      databases_(databases),
      sessions_(sessions),
      log_(std::move(log)),
      routes_(routes),
      assets_(assets) {}

http::Response Site::Handle(const http::Request& req,
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
  auto data =
      http::ReadRequest(req, http::ClientAddress(req, peer, options_.trusted_proxy));
  if (!data) return error(Status::bad_request);

  http::Response res;
  if (data->path.empty()) {
    res = RedirectTo("index.asp", req);
  } else if (const Route* route = routes_(data->path)) {
    res = RunPage(*route, std::move(*data), req);
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
  if (method == bhttp::verb::head) {
    std::size_t length = res.body().size();
    res.body().clear();
    res.content_length(length);
  }
  return res;
}

http::Response Site::RunPage(const Route& route, http::RequestData data,
                             const http::Request& req) {
  http::HttpPage page(std::move(data), databases_, sessions_, options_.ad_script_url);
  std::optional<std::string> session_cookie;
  std::string failure;
  try {
    if (before_page_) before_page_();
    options_.properties.ApplyTo(page.component());
    route.handler(page);
    session_cookie = page.FinishSession();
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
  http::Response res =
      page.redirect()
          ? RedirectTo(*page.redirect(), req)
          : http::HtmlResponse(Status::ok, page.body(), req.version(), req.keep_alive());
  for (const std::string& cookie : page.CookieHeaders()) {
    res.insert(bhttp::field::set_cookie, cookie);
  }
  if (session_cookie) res.insert(bhttp::field::set_cookie, *session_cookie);
  res.set(bhttp::field::cache_control, "private");
  return res;
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
