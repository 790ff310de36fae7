// The site behind the listener, run on requests in memory with pages of its
// own: routing, the page's response, sessions, cookies, errors.
#include "server/site.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "data/connection.h"
#include "data/sqlite_engine.h"
#include "host/encoding.h"
#include "tests/support/support.h"

namespace tb::server {
namespace {

namespace asio = boost::asio;
namespace bhttp = http::bhttp;
using http::Request;
using http::Response;
using namespace std::chrono_literals;

void EchoPage(PageEnv& env) {
  auto& req = env.context().request();
  env.context().response().Write("form:" + req.Form("t") + " query:" + req.Query("q") +
                                 " addr:" + req.RemoteAddr() +
                                 " method:" + std::string(env.method()));
}

void LoginPage(PageEnv& env) {
  env.context().session().Set("ly_name", Value(env.context().request().Query("name")));
  env.context().response().Write("ok");
}

void CookiePage(PageEnv& env) {
  auto& res = env.context().response();
  res.SetCookieExpires("ly_name", "2026-03-06 14:07:09");
  res.SetCookie("ly_name", "留言");
}

void RedirectPage(PageEnv& env) {
  auto& res = env.context().response();
  res.Write("dropped");
  res.SetCookie("abcly_hasfw", "1");
  res.Redirect("guanshui.asp");
}

void StorePage(PageEnv& env) {
  data::Connection conn(env.context().server().Databases());
  conn.Open(env.component().DSNtemp());
  env.context().response().Write(
      conn.Execute("select count(*) as n from user")["n"].Text());
}

void ThrowPage(PageEnv&) { throw std::runtime_error("boom"); }

// Registers a guestbook, then runs a statement of many seconds, in one
// transaction.
void SlowPage(PageEnv& env) {
  data::Connection conn(env.context().server().Databases());
  conn.Open(env.component().DSNtemp());
  data::Transaction tx(conn);
  conn.Execute("insert into user(name) values ('slow')");
  conn.Execute(
      "with recursive k(i) as (select 1 union all select i + 1 from k where i < 1e8) "
      "select count(*) from k");
  tx.Commit();
}

constexpr Route kTestRoutes[] = {
    {"echo.asp", EchoPage},
    {"login.asp", LoginPage},
    {"cookie.asp", CookiePage},
    {"redirect.asp", RedirectPage},
    {"store.asp", StorePage},
    {"throw.asp", ThrowPage},
    {"slow.asp", SlowPage},
    {"bounded.asp", EchoPage, Cost::kBounded},
    {"list.asp", EchoPage, Cost::kListing},
};

const Route* FindTestRoute(std::string_view path) {
  for (const Route& r : kTestRoutes) {
    if (host::EqualsIgnoreCase(r.path, path)) return &r;
  }
  return nullptr;
}

constexpr std::string_view kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
constexpr Asset kTestAsset{"pic/Boy1.gif", "image/gif", kGif};

const Asset* FindTestAsset(std::string_view path) {
  return host::EqualsIgnoreCase(path, kTestAsset.path) ? &kTestAsset : nullptr;
}

// Passes statements on to a pool and notes their texts.
class RecordingSource : public data::EngineSource {
 public:
  explicit RecordingSource(data::EngineSource& pool) : pool_(pool) {}
  std::shared_ptr<data::Engine> Acquire(std::string_view dsn) override {
    return std::make_shared<Recorder>(pool_.Acquire(dsn), statements);
  }
  std::vector<std::string> statements;

 private:
  struct Recorder : data::Engine {
    Recorder(std::shared_ptr<data::Engine> e, std::vector<std::string>& s)
        : engine(std::move(e)), seen(s) {}
    data::Result Run(std::string_view sql, const std::vector<Value>& params) override {
      seen.emplace_back(sql);
      return engine->Run(sql, params);
    }
    std::shared_ptr<data::Engine> engine;
    std::vector<std::string>& seen;
  };
  data::EngineSource& pool_;
};

class SiteTest : public ::testing::Test {
 protected:
  SiteTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    options_.properties.Set("DSNtemp",
                            Value("sqlite:" + (dir_.path() / "t.db").string()));
    options_.properties.Set("LybUrl", Value("http://127.0.0.1:8080/"));
    options_.ad_script_url = "http://ad.example/ad.js";
    options_.trusted_proxy = asio::ip::make_address("127.0.0.2");
  }

  Site& site() {
    if (!site_) {
      site_.emplace(
          options_, pool_, sessions_, visits_,
          [this](std::string_view line) { log_.emplace_back(line); }, FindTestRoute,
          FindTestAsset);
    }
    return *site_;
  }

  Response Send(Request req, std::string_view peer = "10.1.2.3") {
    if (req.find(bhttp::field::host) == req.end() && req.version() == 11) {
      req.set(bhttp::field::host, "127.0.0.1");
    }
    req.prepare_payload();
    return site().Handle(req, asio::ip::make_address(std::string(peer)));
  }
  Response Get(std::string_view target, std::string_view cookie = "") {
    Request req{bhttp::verb::get, target, 11};
    if (!cookie.empty()) req.set(bhttp::field::cookie, cookie);
    return Send(std::move(req));
  }
  Response Post(std::string_view target, std::string body,
                std::string_view type = "application/x-www-form-urlencoded") {
    Request req{bhttp::verb::post, target, 11};
    req.set(bhttp::field::content_type, type);
    req.body() = std::move(body);
    return Send(std::move(req));
  }

  testing::TempDir dir_;
  data::SqlitePool pool_;
  http::MemorySessionStore sessions_{20min};
  http::VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  SiteOptions options_;
  std::optional<Site> site_;
  std::vector<std::string> log_;
};

TEST_F(SiteTest, PageResponseHeadersAndBody) {
  Response res = Get("/echo.asp?q=%C1%F4");
  EXPECT_EQ(res.result(), bhttp::status::ok);
  EXPECT_EQ(res[bhttp::field::content_type], "text/html; charset=gb2312");
  EXPECT_EQ(res["X-Content-Type-Options"], "nosniff");
  EXPECT_EQ(res["X-Frame-Options"], "SAMEORIGIN");
  EXPECT_EQ(res[bhttp::field::cache_control], "private");
  EXPECT_EQ(res.body(), "form: query:\xc1\xf4 addr:10.1.2.3 method:GET");
  EXPECT_EQ(res[bhttp::field::content_length], std::to_string(res.body().size()));
  EXPECT_TRUE(res.keep_alive());
}

TEST_F(SiteTest, PathsIgnoreCase) {
  for (std::string_view target :
       {"/echo.asp", "/ECHO.ASP", "/Echo.Asp?q=1", "/ech%6F.asp"}) {
    EXPECT_EQ(Get(target).result(), bhttp::status::ok) << target;
  }
  Response gif = Get("/PIC/boy1.GIF");
  EXPECT_EQ(gif.result(), bhttp::status::ok);
  EXPECT_EQ(gif[bhttp::field::content_type], "image/gif");
  EXPECT_EQ(gif[bhttp::field::cache_control], "public, max-age=2592000");
  EXPECT_EQ(gif["X-Content-Type-Options"], "nosniff");
  EXPECT_EQ(gif.body(), kGif);
}

TEST_F(SiteTest, OnlyBoundedReadsRunWithoutAWorker) {
  struct Case {
    bhttp::verb method;
    std::string_view target, cookie;
    bool light;
  } cases[] = {
      {bhttp::verb::get, "/bounded.asp", "", true},
      {bhttp::verb::head, "/bounded.asp", "", true},
      {bhttp::verb::post, "/bounded.asp", "", false},
      {bhttp::verb::get, "/echo.asp", "", false},
      {bhttp::verb::get, "/list.asp?name=a&move=end", "", true},
      {bhttp::verb::get, "/list.asp?Page=50", "", true},
      {bhttp::verb::get, "/list.asp?Page=51", "", false},
      {bhttp::verb::get, "/list.asp?Page=", "", false},
      {bhttp::verb::get, "/list.asp?Page=1e9", "", false},
      {bhttp::verb::get, "/list.asp?Page=99999999999999999999999", "", false},
      {bhttp::verb::get, "/list.asp?keyword=", "", false},
      {bhttp::verb::get, "/list.asp", "search=a", false},
  };
  for (const Case& c : cases) {
    Request req{c.method, c.target, 11};
    req.set(bhttp::field::host, "127.0.0.1");
    if (!c.cookie.empty()) req.set(bhttp::field::cookie, c.cookie);
    http::Reply reply = site().Dispatch(req, asio::ip::make_address("10.1.2.3"));
    EXPECT_FALSE(reply.response) << c.target;
    EXPECT_EQ(reply.light, c.light) << c.target;
  }
}

TEST_F(SiteTest, RootRedirectsToTheHomePage) {
  Response res = Get("/");
  EXPECT_EQ(res.result(), bhttp::status::found);
  EXPECT_EQ(res[bhttp::field::location], "index.asp");
  EXPECT_EQ(Get("/?x=1")[bhttp::field::location], "index.asp");
}

TEST_F(SiteTest, UnknownPathsAndMethods) {
  for (std::string_view target : {"/nothing.asp", "/echo.asp/x", "/pic/", "//echo.asp"}) {
    Response res = Get(target);
    EXPECT_EQ(res.result(), bhttp::status::not_found) << target;
    EXPECT_EQ(res[bhttp::field::content_type], "text/html; charset=gb2312");
    EXPECT_NE(host::FromGb18030(res.body()).find("找不到页面"), std::string::npos);
  }
  Request put{bhttp::verb::put, "/echo.asp", 11};
  Response res = Send(put);
  EXPECT_EQ(res.result(), bhttp::status::method_not_allowed);
  EXPECT_EQ(res[bhttp::field::allow], "GET, HEAD, POST");
  res = Post("/pic/Boy1.gif", "a=1");
  EXPECT_EQ(res.result(), bhttp::status::method_not_allowed);
  EXPECT_EQ(res[bhttp::field::allow], "GET, HEAD");
}

TEST_F(SiteTest, HeadHasTheLengthButNoBody) {
  Response get = Get("/pic/Boy1.gif");
  Response head = Send(Request{bhttp::verb::head, "/pic/Boy1.gif", 11});
  EXPECT_EQ(head.result(), bhttp::status::ok);
  EXPECT_EQ(head.body(), "");
  EXPECT_EQ(head[bhttp::field::content_length], std::to_string(get.body().size()));
}

TEST_F(SiteTest, MalformedRequestsAre400) {
  Request no_host{bhttp::verb::get, "/echo.asp", 11};
  no_host.prepare_payload();
  EXPECT_EQ(site().Handle(no_host, asio::ip::make_address("1.2.3.4")).result(),
            bhttp::status::bad_request);
  Request old{bhttp::verb::get, "/echo.asp", 10};
  Response res = Send(old);
  EXPECT_EQ(res.result(), bhttp::status::ok) << "HTTP/1.0 needs no Host";
  EXPECT_FALSE(res.keep_alive());
  EXPECT_EQ(Post("/echo.asp", "--b\r\n", "multipart/form-data; boundary=b").result(),
            bhttp::status::bad_request);
  EXPECT_EQ(Get("http://x/echo.asp").result(), bhttp::status::bad_request);
}

TEST_F(SiteTest, StoreFailureIs500AndTheSiteGoesOn) {
  options_.properties.Set(
      "DSNtemp", Value("sqlite:" + (dir_.path() / "no/such/folder/x.db").string()));
  Response res = Get("/store.asp?name=abc");
  EXPECT_EQ(res.result(), bhttp::status::internal_server_error);
  EXPECT_EQ(res[bhttp::field::content_type], "text/html; charset=gb2312");
  std::string body = host::FromGb18030(res.body());
  EXPECT_NE(body.find("服务器出错"), std::string::npos);
  EXPECT_EQ(body.find("folder"), std::string::npos) << "nothing of the inside leaks";
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind("error: \"GET /store.asp?name=abc HTTP/1.1\": cannot open ", 0),
            0u)
      << log_[0];

  EXPECT_EQ(Get("/throw.asp").result(), bhttp::status::internal_server_error);
  EXPECT_EQ(log_.back(), "error: \"GET /throw.asp HTTP/1.1\": boom");
  EXPECT_EQ(Get("/echo.asp").result(), bhttp::status::ok);
}

TEST_F(SiteTest, TheStoreWorksWithAGoodConnectionString) {
  Response res = Get("/store.asp");
  EXPECT_EQ(res.result(), bhttp::status::ok);
  EXPECT_EQ(res.body(), "0");
  const std::size_t opened = pool_.opened();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Get("/store.asp").body(), "0");
  EXPECT_EQ(pool_.opened(), opened) << "later requests reuse the open handle";
}

TEST_F(SiteTest, VisitCountsAreWrittenTogetherAndAtTheStop) {
  const std::string dsn = options_.properties.Get("DSNtemp").Text();
  pool_.Acquire(dsn)->Run(
      "insert into user(name, counter) values ('abc', 3), ('xyz', '')");
  RecordingSource recording(pool_);
  std::optional<http::VisitCounter> counter(std::in_place, recording, 1h,
                                            [](std::string_view) {});
  counter->Start();
  std::vector<std::thread> visitors;
  for (int t = 0; t < 4; ++t) {
    visitors.emplace_back([&] {
      for (int i = 0; i < 25; ++i) counter->Add(dsn, "abc");
      counter->Add(dsn, "xyz");
    });
  }
  for (auto& v : visitors) v.join();
  counter->Add(dsn, "gone");  // deleted meanwhile: no count, no error
  counter->Flush();
  ASSERT_EQ(recording.statements.size(), 5u) << "one update per guestbook";
  const std::string_view by_name = "select name, counter from user order by name";
  EXPECT_EQ(testing::StoreRows(pool_, dsn, by_name),
            (testing::Rows{{"abc", "103"}, {"xyz", "4"}}));
  counter->Add(dsn, "abc");
  counter.reset();  // the stop writes what is left
  EXPECT_EQ(testing::StoreRows(pool_, dsn, by_name),
            (testing::Rows{{"abc", "104"}, {"xyz", "4"}}));
}

TEST_F(SiteTest, AStatementPastTheTimeLimitIs503AndWritesNothing) {
  data::SqlitePool quick(50ms);
  site_.emplace(
      options_, quick, sessions_, visits_,
      [this](std::string_view line) { log_.emplace_back(line); }, FindTestRoute,
      FindTestAsset);
  const auto start = std::chrono::steady_clock::now();
  Response res = Get("/slow.asp");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(res.result(), bhttp::status::service_unavailable);
  EXPECT_EQ(res[bhttp::field::retry_after], "5");
  EXPECT_NE(host::FromGb18030(res.body()).find("<p>服务器忙，请稍后再试！</p>"),
            std::string::npos);
  EXPECT_EQ(testing::StoreCount(pool_, options_.properties.Get("DSNtemp").Text(),
                                "select * from user"),
            0);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind("busy: \"GET /slow.asp HTTP/1.1\": ", 0), 0u) << log_[0];
  site_.reset();
}

TEST_F(SiteTest, RedirectSendsCookiesButNotTheBody) {
  Response res = Get("/redirect.asp");
  EXPECT_EQ(res.result(), bhttp::status::found);
  EXPECT_EQ(res[bhttp::field::location], "guanshui.asp");
  EXPECT_EQ(res.body().find("dropped"), std::string::npos);
  EXPECT_NE(res.body().find("href=\"guanshui.asp\""), std::string::npos);
  EXPECT_EQ(res[bhttp::field::set_cookie], "abcly_hasfw=1; path=/; HttpOnly");
}

TEST_F(SiteTest, CookiesAreSecureOnlyOverHttpsThroughTheProxy) {
  for (auto [peer, proto, secure] : {std::tuple{"127.0.0.2", " HTTPS", true},
                                     {"127.0.0.2", "http", false},
                                     {"10.1.2.3", "https", false}}) {
    for (std::string_view target : {"/cookie.asp", "/login.asp?name=abc"}) {
      Request req{bhttp::verb::get, target, 11};
      req.set("X-Forwarded-Proto", proto);
      std::string cookie(Send(req, peer)[bhttp::field::set_cookie]);
      EXPECT_EQ(cookie.ends_with("; Secure"), secure) << peer << proto << cookie;
    }
  }
}

TEST_F(SiteTest, ChangesSentFromElsewhereAreRefused) {
  site_.emplace(options_, pool_, sessions_, visits_,
                [](std::string_view) {});  // real pages
  using bhttp::verb;
  constexpr auto ok = http::Status::ok, no = http::Status::forbidden;
  constexpr std::string_view post = "/getpass.asp", site = "http://127.0.0.1";
  struct Case {
    verb method;
    std::string_view target, fetch_site, fetch_dest, origin;
    bool over_https;  // through the trusted proxy
    http::Status want;
  } cases[] = {
      {verb::post, post, "", "", "", false, ok},
      {verb::post, post, "same-origin", "document", site, false, ok},
      {verb::post, post, "none", "", "", false, ok},
      {verb::post, post, "cross-site", "", "", false, no},
      {verb::post, post, "", "", "null", false, no},
      {verb::post, post, "", "", "https://127.0.0.1", true, ok},
      {verb::post, post, "", "", site, true, no},
      {verb::get, "/show.asp?name=x", "cross-site", "", "", false, ok},
      {verb::get, "/SHOW.ASP?name=x&del=1", "cross-site", "", "", false, no},
      {verb::get, "/admin_del_all.asp?name=x&del=1", "", "image", "", false, no},
      {verb::get, "/admin_deluser.asp?name=x", "", "", "http://a.example", false, no},
      {verb::head, "/Admin_DelInfo.asp?name=x", "same-site", "", "", false, no},
      {verb::get, "/admin_log_off.asp", "cross-site", "", "", false, no},
  };
  sessions_.Save("s1", {{"ly_log", Value("yes")}});
  for (const auto& c : cases) {
    Request req{c.method, c.target, 11};
    req.set(bhttp::field::cookie, "TBSESSION=s1");
    for (auto [field, value] : {std::pair{"Sec-Fetch-Site", c.fetch_site},
                                {"Sec-Fetch-Dest", c.fetch_dest},
                                {"Origin", c.origin}}) {
      if (!value.empty()) req.set(field, value);
    }
    if (c.over_https) req.set("X-Forwarded-Proto", "https");
    EXPECT_EQ(Send(req, c.over_https ? "127.0.0.2" : "10.1.2.3").result(), c.want)
        << c.target << " " << c.fetch_site << c.origin;
  }
  EXPECT_TRUE(sessions_.Load("s1")) << "the log-off did not run";
}

}  // namespace
}  // namespace tb::server
