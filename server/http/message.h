// File: message.h — the HTTP messages the host reads and writes (Beast's
// string-bodied request and response) and the responses it builds itself:
// pages in the wire encoding and the plain error pages.
//
// Example:
//   Response res = HtmlResponse(status::ok, "<p>留言</p>", req.version(), true);
//   res.body() == "<p>\xc1\xf4\xd1\xd4</p>"
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>
#include <string_view>

namespace tb::server::http {

namespace bhttp = boost::beast::http;
using Request = bhttp::request<bhttp::string_body>;
using Response = bhttp::response<bhttp::string_body>;
using Status = bhttp::status;

// The headers every response carries: X-Content-Type-Options: nosniff and
// X-Frame-Options: SAMEORIGIN.
void AddSecurityHeaders(Response& res);

// A page: the UTF-8 body encoded to GB18030 once, with Content-Type
// "text/html; charset=gb2312", Content-Length and the security headers.
Response HtmlResponse(Status status, std::string_view utf8_body, unsigned version,
                      bool keep_alive);
// The same for a body already in GB18030.
Response EncodedHtmlResponse(Status status, std::string gb_body, unsigned version,
                             bool keep_alive);

// The plain page of an error status (400, 403, 404, 405, 413, 431, 500,
// 503), telling the visitor what went wrong and nothing of the server's
// inside; `text` replaces the status's own explanation when given. 503 (the
// server is busy) carries "Retry-After: 5".
Response ErrorResponse(Status status, unsigned version, bool keep_alive,
                       std::string_view text = {});

// Drops the body for an answer to HEAD, keeping its Content-Length.
void OmitBody(Response& res);
// The response as `req` asks for it: without its body for a HEAD request.
Response AsAsked(Response res, const Request& req);

}  // namespace tb::server::http
