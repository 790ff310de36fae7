#include "server/http/message.h"

#include <string>

#include "host/encoding.h"
#include "server/http/style.h"

namespace tb::server::http {
namespace {

struct ErrorText {
  Status status;
  std::string_view title;
  std::string_view text;
};

constexpr ErrorText kErrorTexts[] = {
    {Status::bad_request, "请求有误", "浏览器发来的请求格式不正确。"},
    {Status::forbidden, "请求被拒绝",
     "这个请求不是从本站的页面发出的，没有执行。请打开本站的页面再试。"},
    {Status::not_found, "找不到页面", "您要找的页面不存在。"},
    {Status::method_not_allowed, "不支持的请求", "这个页面不接受这种请求方法。"},
    {Status::payload_too_large, "提交的内容太大", "提交的内容不能超过1MB。"},
    {Status::request_header_fields_too_large, "请求头太大", "请求头不能超过16KB。"},
    {Status::internal_server_error, "服务器出错",
     "服务器处理这个请求时出错了，请稍后再试。"},
    {Status::service_unavailable, "服务器忙", "服务器忙，请稍后再试！"},
};

// When a busy server asks the browser to come back: long enough for a
// queue of page work to drain, short enough not to lose the visitor.
constexpr std::string_view kRetryAfterSeconds = "5";

const ErrorText& TextOf(Status status) {
  for (const ErrorText& t : kErrorTexts) {
    if (t.status == status) return t;
  }
  return kErrorTexts[0];
}

}  // namespace

void AddSecurityHeaders(Response& res) {
  res.set("X-Content-Type-Options", "nosniff");
  res.set("X-Frame-Options", "SAMEORIGIN");
}

Response HtmlResponse(Status status, std::string_view utf8_body, unsigned version,
                      bool keep_alive) {
  return EncodedHtmlResponse(status, host::ToGb18030(utf8_body), version, keep_alive);
}

Response EncodedHtmlResponse(Status status, std::string gb_body, unsigned version,
                             bool keep_alive) {
  Response res{status, version};
  res.set(bhttp::field::content_type, "text/html; charset=gb2312");
  AddSecurityHeaders(res);
  res.body() = std::move(gb_body);
  res.keep_alive(keep_alive);
  res.prepare_payload();
  return res;
}

Response ErrorResponse(Status status, unsigned version, bool keep_alive,
                       std::string_view text) {
  const ErrorText& t = TextOf(status);
  std::string code = std::to_string(static_cast<unsigned>(status));
  // Framed like the site's pages, with addresses from the root: the path
  // that failed may lie in any folder.
  std::string body =
      "<!DOCTYPE html><html><head><meta charset=\"gb2312\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
      code + " " + std::string(t.title) + "</title><link rel=\"stylesheet\" href=\"/" +
      StylesheetHref() +
      "\"></head><body><div class=\"nav\"><a class=\"brand\" href=\"/index.asp\">首页</a>"
      "<span><a href=\"/userlist.asp\">留言板列表</a> | <a "
      "href=\"/admin.asp\">登录管理</a>"
      "</span></div><div class=\"notice\"><h2>" +
      std::string(t.title) + "</h2><p>" + std::string(text.empty() ? t.text : text) +
      "</p><p><a href=\"/index.asp\">返回首页</a></p></div></body></html>";
  Response res = HtmlResponse(status, body, version, keep_alive);
  res.set(bhttp::field::cache_control, "no-store");
  if (status == Status::service_unavailable) {
    res.set(bhttp::field::retry_after, kRetryAfterSeconds);
  }
  return res;
}

void OmitBody(Response& res) {
  std::size_t length = res.body().size();
  res.body().clear();
  res.content_length(length);
}

Response AsAsked(Response res, const Request& req) {
  if (req.method() == bhttp::verb::head) OmitBody(res);
  return res;
}

}  // namespace tb::server::http
