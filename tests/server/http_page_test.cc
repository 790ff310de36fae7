// The page context of an HTTP request: reading the request, the client's
// address, the session and the response cookies.
#include "server/http_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "data/sqlite_engine.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;
using namespace std::chrono_literals;

Request MakeRequest(bhttp::verb verb, std::string_view target,
                    std::string_view content_type = "", std::string body = "") {
  Request req{verb, target, 11};
  req.set(bhttp::field::host, "example.cn");
  if (!content_type.empty()) req.set(bhttp::field::content_type, content_type);
  req.body() = std::move(body);
  req.prepare_payload();
  return req;
}

TEST(ReadRequestTest, PathQueryFormCookiesAndVariablesInEitherCharset) {
  Request req = MakeRequest(bhttp::verb::post, "/Show%2Easp?name=%C1%F4&x=1&x=2",
                            "application/x-www-form-urlencoded", "a=%D6%D0&x=3");
  req.insert(bhttp::field::cookie, "ly_name=%C1%F4; b=2");
  req.insert(bhttp::field::cookie, "c=3");
  auto data = std::get<RequestData>(ReadRequest(req, "10.1.2.3"));
  EXPECT_EQ(data.method, "POST");
  EXPECT_EQ(data.path, "Show.asp");
  const struct {
    const host::FieldMap& fields;
    std::string_view name, want;
  } cases[] = {{data.query, "NAME", "留"},
               {data.query, "x", "1, 2"},
               {data.form, "a", "中"},
               {data.form, "x", "3"},
               {data.cookies, "ly_name", "留"},
               {data.cookies, "c", "3"},
               {data.server_variables, "REMOTE_ADDR", "10.1.2.3"},
               {data.server_variables, "request_method", "POST"},
               {data.server_variables, "query_string", "name=%C1%F4&x=1&x=2"},
               {data.server_variables, "http_host", "example.cn"}};
  for (const auto& c : cases) EXPECT_EQ(c.fields.Find(c.name), c.want) << c.name;

  // A UTF-8 label applies to the query and the body; each bad byte is U+FFFD.
  data = std::get<RequestData>(
      ReadRequest(MakeRequest(bhttp::verb::post, "/a.asp?q=%E4%B8%AD",
                              "application/x-www-form-urlencoded; charset=UTF-8",
                              "t=%E7%95%99&bad=a%FF%E7%95b"),
                  "1.1.1.1"));
  EXPECT_EQ(data.query.Find("q"), "中");
  EXPECT_EQ(data.form.Find("t"), "留");
  EXPECT_EQ(data.form.Find("bad"), "a\uFFFD\uFFFD\uFFFDb");
}

TEST(ReadRequestTest, RefusesWhatCannotBeRead) {
  std::string many_fields;
  for (int i = 0; i <= 1000; ++i) many_fields += "f" + std::to_string(i) + "=&";
  auto get = [](std::string_view target) {
    return MakeRequest(bhttp::verb::get, target);
  };
  auto post = [](std::string body,
                 std::string_view type = "application/x-www-form-urlencoded") {
    return MakeRequest(bhttp::verb::post, "/a.asp", type, std::move(body));
  };
  Request nul_cookie = get("/");
  nul_cookie.set(bhttp::field::cookie, "a=%00");
  struct Case {
    Request req;
    std::optional<std::string_view> refusal;  // none: read
  } cases[] = {
      {get("http://example.cn/index.asp"), kMalformed.text},
      {get("*"), kMalformed.text},
      {post("--b\r\nbroken", "multipart/form-data; boundary=b"), kMalformed.text},
      {get("/"), std::nullopt},
      {nul_cookie, kBadBytes.text},
      {post(many_fields), kTooManyFields.text},
      {post(many_fields.substr(6)), std::nullopt},
      {get("/show.asp?name=%00"), kBadBytes.text},
      {get("/show.asp?na%00me=a"), kBadBytes.text},
      {get("/show%00.asp"), kBadBytes.text},
      {post("a=1%002"), kBadBytes.text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.req.target()) + " " + c.req.body().substr(0, 20));
    auto read = ReadRequest(c.req, "1.1.1.1");
    auto* bad = std::get_if<BadRequest>(&read);
    EXPECT_EQ(bad ? std::optional(bad->text) : std::nullopt, c.refusal);
  }
}

TEST(ClientAddressTest, TrustedProxyAndForwardedFor) {
  const auto proxy = asio::ip::make_address("127.0.0.1");
  struct Case {
    std::string_view peer;
    std::vector<std::string_view> forwarded;
    bool trust;
    std::string_view want;
  } cases[] = {
      {"10.0.0.1", {}, true, "10.0.0.1"},
      {"10.0.0.1", {"1.2.3.4"}, true, "10.0.0.1"},  // not the proxy
      {"127.0.0.1", {"1.2.3.4"}, false, "127.0.0.1"},
      {"127.0.0.1", {"1.2.3.4"}, true, "1.2.3.4"},
      {"127.0.0.1", {"9.9.9.9, 1.2.3.4 "}, true, "1.2.3.4"},
      {"127.0.0.1", {"9.9.9.9", "8.8.8.8,5.6.7.8"}, true, "5.6.7.8"},
      {"127.0.0.1", {"unknown"}, true, "127.0.0.1"},
      {"127.0.0.1", {"1.2.3.4, <script>"}, true, "127.0.0.1"},
      {"127.0.0.1", {"2001:db8::1"}, true, "2001:db8::1"},
      {"::ffff:127.0.0.1", {"1.2.3.4"}, true, "1.2.3.4"},
      {"::ffff:10.0.0.1", {}, false, "10.0.0.1"},
  };
  for (const auto& c : cases) {
    Request req = MakeRequest(bhttp::verb::get, "/");
    for (auto f : c.forwarded) req.insert("X-Forwarded-For", f);
    auto trusted = c.trust ? std::optional(proxy) : std::nullopt;
    EXPECT_EQ(ClientAddress(req, asio::ip::make_address(std::string(c.peer)), trusted),
              c.want)
        << c.peer;
  }
}

class HttpPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  // A page for a GET of `target` with the cookie header given.
  std::unique_ptr<HttpPage> Page(std::string_view target = "/x.asp",
                                 std::string_view cookie = "") {
    Request req = MakeRequest(bhttp::verb::get, target);
    if (!cookie.empty()) req.set(bhttp::field::cookie, cookie);
    return std::make_unique<HttpPage>(std::get<RequestData>(ReadRequest(req, "10.1.2.3")),
                                      pool_, sessions_, visits_, limits_,
                                      "http://ad.example/ad.js");
  }
  std::unique_ptr<HttpPage> PageOf(std::string_view id) {
    return Page("/x.asp", "TBSESSION=" + std::string(id));
  }

  // The id of a "TBSESSION=<id>; ..." cookie.
  static std::string IdOf(const std::optional<std::string>& cookie) {
    return cookie ? cookie->substr(10, cookie->find(';') - 10) : "(no cookie)";
  }

  data::SqlitePool pool_;
  VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  ClientLimits limits_{10};
  std::chrono::steady_clock::time_point now_{};
  MemorySessionStore sessions_{20min, [this] { return now_; }};
};

TEST_F(HttpPageTest, RequestServerComponentAndRedirectThroughTheContext) {
  auto page = Page("/x.asp?name=abc", "ly_name=%C1%F4");
  host::PageContext& ctx = page->context();
  EXPECT_EQ(page->method(), "GET");
  EXPECT_EQ(ctx.request().Query("Name"), "abc");
  EXPECT_EQ(ctx.request().Cookie("LY_NAME"), "留");
  EXPECT_EQ(ctx.request().RemoteAddr(), "10.1.2.3");
  EXPECT_EQ(ctx.request().Lookup("name"), "abc");
  EXPECT_EQ(ctx.request().Form("name"), "");
  EXPECT_EQ(ctx.server().AdScriptUrl(), "http://ad.example/ad.js");
  for (int i = 0; i < 100; ++i) {
    auto n = ctx.server().Random(111111, 999999);
    EXPECT_TRUE(n >= 111111 && n <= 999999) << n;
  }
  auto now = DateTime::FromTimePoint(std::chrono::system_clock::now());
  EXPECT_EQ(ctx.server().Now().year, now.year);

  page->component().test();
  page->Write("<p>");
  EXPECT_EQ(page->body, "this is a test!<p>");
  EXPECT_EQ(page->redirect, std::nullopt);
  page->component().gBookAd();
  EXPECT_NE(page->body.find("http://ad.example/ad.js"), std::string::npos);
  page->response().Redirect("guanshui.asp");
  EXPECT_EQ(page->redirect, "guanshui.asp");
}

TEST_F(HttpPageTest, ResponseCookiesWithExpiry) {
  auto page = Page();
  auto& res = page->response();
  res.SetCookieExpires("abcly_hasfw", "2026-03-06 14:07:09");
  res.SetCookie("abcly_hasfw", "1");
  res.SetCookieExpires("ly_name", "June 4,2008");
  res.SetCookie("ly_name", "留言");
  res.SetCookie("LY_NAME", "again");  // the same cookie
  res.SetCookie("plain", "x");
  EXPECT_EQ(page->CookieHeaders(),
            (std::vector<std::string>{
                "abcly_hasfw=1; expires=Fri, 06 Mar 2026 14:07:09 GMT; path=/; HttpOnly",
                "ly_name=again; expires=Wed, 04 Jun 2008 00:00:00 GMT; path=/; HttpOnly",
                "plain=x; path=/; HttpOnly"}));
}

TEST_F(HttpPageTest, ASessionStartsWithItsFirstValueUnderANewId) {
  auto none = Page();
  EXPECT_TRUE(none->session().Get("ly_name").IsEmpty());
  EXPECT_EQ(none->FinishSession(), std::nullopt);
  EXPECT_EQ(sessions_.size(), 0u);

  // An id the visitor made up is never taken over.
  auto first = PageOf("chosen-by-the-visitor");
  first->session().Set("ly_name", Value("abc"));
  first->session().Set("ly_fgs", Value(123456789));
  EXPECT_EQ(first->session().Get("LY_NAME"), Value("abc"));
  auto cookie = first->FinishSession();
  ASSERT_TRUE(cookie);
  EXPECT_TRUE(std::regex_match(
      *cookie, std::regex("TBSESSION=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict")))
      << *cookie;
  EXPECT_EQ(sessions_.Load("chosen-by-the-visitor"), std::nullopt);
  const std::string id = IdOf(cookie);

  auto second = Page("/x.asp", "a=1; TBSESSION=" + id);
  EXPECT_EQ(second->session().Get("ly_name"), Value("abc"));
  EXPECT_TRUE(second->session().Get("ly_fgs").IsNumber());
  second->session().Set("ly_log", Value("yes"));
  EXPECT_EQ(second->FinishSession(), std::nullopt) << "the browser has the cookie";
  EXPECT_EQ(PageOf(id)->session().Get("ly_log"), Value("yes"));
  now_ += 21min;
  EXPECT_TRUE(PageOf(id)->session().Get("ly_name").IsEmpty()) << "idle too long";
}

TEST_F(HttpPageTest, EndSessionForgetsTheValues) {
  auto first = Page();
  first->session().Set("ly_name", Value("abc"));
  const std::string id = IdOf(first->FinishSession());
  auto logoff = PageOf(id);
  logoff->EndSession();
  EXPECT_TRUE(logoff->session().Get("ly_name").IsEmpty());
  EXPECT_EQ(logoff->FinishSession(),
            "TBSESSION=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0; "
            "Expires=Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(sessions_.Load(id), std::nullopt);

  // A value set after the end starts a new session with a new id.
  auto again = Page();
  again->session().Set("a", Value("1"));
  const std::string kept = IdOf(again->FinishSession());
  auto restart = PageOf(kept);
  restart->EndSession();
  restart->session().Set("ly_name", Value("xyz"));
  const std::string renewed = IdOf(restart->FinishSession());
  EXPECT_NE(renewed, kept);
  EXPECT_EQ(sessions_.Load(kept), std::nullopt);
  EXPECT_EQ(sessions_.Load(renewed)->at("ly_name"), Value("xyz"));
}

TEST_F(HttpPageTest, ALoginEndedWhileARequestRunsStaysEnded) {
  auto login = Page();
  login->session().Set("ly_log", Value("yes"));
  login->session().Set("ly_name", Value("abc"));
  auto in_flight = PageOf(IdOf(login->FinishSession()));
  in_flight->RenewSession();
  in_flight->session().Set("a", Value("1"));
  Page()->EndLogins("abc", host::Session::Reach::kOthers);
  auto values = sessions_.Load(IdOf(in_flight->FinishSession()));
  EXPECT_EQ(*values, (SessionValues{{"a", Value("1")}}));
}

}  // namespace
}  // namespace tb::server::http
