#include "tests/server/site_browser.h"

#include <gtest/gtest.h>

#include <regex>

#include "check/text.h"
#include "host/encoding.h"

namespace tb::testing {

namespace bhttp = server::http::bhttp;

std::string EncodeForm(const Fields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += host::UrlEncode(name) + "=" + host::UrlEncode(value);
  }
  return body;
}

Page Browser::Get(std::string_view target) {
  return Send(server::http::Request{bhttp::verb::get, "/" + std::string(target), 11});
}

Page Browser::Post(std::string_view target, const Fields& fields) {
  return PostBody(target, EncodeForm(fields), "application/x-www-form-urlencoded");
}

Page Browser::PostBody(std::string_view target, std::string body, std::string_view type) {
  return Send(FormPost("/" + std::string(target), std::move(body), type));
}

std::string Browser::SessionId() const {
  auto it = jar_.find("TBSESSION");
  return it == jar_.end() ? "" : it->second;
}

std::string Browser::FormAction(std::string_view book) {
  const std::string html = Get("add.asp?name=" + std::string(book)).text;
  std::smatch m;
  EXPECT_TRUE(std::regex_search(html, m, std::regex("\"(add_check\\.asp\\?[^\"]+)\"")))
      << html;
  return check::ReplaceAll(m[1].str(), "&amp;", "&");
}

Page Browser::Send(server::http::Request req) {
  std::string cookies;
  for (const auto& [name, value] : jar_) {
    cookies += (cookies.empty() ? "" : "; ") + name + "=" + value;
  }
  if (!cookies.empty()) req.set(bhttp::field::cookie, cookies);
  server::http::Response res = client_.Send(std::move(req));
  Page page{res.result(),
            host::FromGb18030(res.body()),
            std::string(res[bhttp::field::location]),
            {}};
  for (const std::string& header : SetCookies(res)) {
    const std::size_t eq = header.find('='), semi = header.find(';');
    const std::string name = header.substr(0, eq);
    if (name == "TBSESSION") page.session_cookies.push_back(header);
    if (header.find("Max-Age=0") != std::string::npos) {
      jar_.erase(name);
    } else {
      jar_[name] = header.substr(eq + 1, semi - eq - 1);
    }
  }
  return page;
}

Fields MessageFields(std::string_view guestname, std::string_view subject,
                     std::string_view message, std::string_view format) {
  return {{"guestname", std::string(guestname)},
          {"subject", std::string(subject)},
          {"html", std::string(format)},
          {"message", std::string(message)}};
}

FlowSite::FlowSite(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--listen",
                                   "127.0.0.1:0",
                                   "--db",
                                   (dir_.path() / "t.db").string(),
                                   "--admin-password",
                                   std::string(kSuperPassword),
                                   "--threads",
                                   "2"};
  args.insert(args.end(), extra.begin(), extra.end());
  serve_ = std::make_unique<ServeProcess>(args);
  if (serve_->port() == 0) {
    ADD_FAILURE() << "serve did not start: " << serve_->Stderr();
    return;
  }
  Page done =
      Browser(port()).Post("reg_check.asp", {{"name", "xiaoming"},
                                             {"password", "pass1234"},
                                             {"password2", "pass1234"},
                                             {"email", "xm@example.com"},
                                             {"homepage", "http://xm.example.com/"},
                                             {"titletop", "小明的留言本"},
                                             {"html", "2"},
                                             {"question", "我最喜欢的颜色"},
                                             {"answer", "天蓝色的"},
                                             {"idcard", "110101199001011234"},
                                             {"nettype", "电脑网络"}});
  // Without LybUrl set, the link is the address the site listens on.
  EXPECT_TRUE(
      done.Has("<a href='show.asp?name=xiaoming' target='_blank'>http://"
               "127.0.0.1:" +
               std::to_string(port()) + "/show.asp?name=xiaoming</a>"))
      << done.text;
}

Page LogIn(Browser& b, std::string_view name, std::string_view password) {
  Page page = b.Post("admin_login.asp",
                     {{"name", std::string(name)}, {"password", std::string(password)}});
  EXPECT_TRUE(page.Has("登陆成功")) << page.text;
  return page;
}

}  // namespace tb::testing
