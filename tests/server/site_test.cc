// The site behind the listener, run on requests in memory with pages of its
// own: routing, the page's response, sessions, cookies, errors.
#include "server/site.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "check/text.h"
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
    options_.properties.Set("DSNtemp", Value(dsn_));
    options_.properties.Set("LybUrl", Value("http://127.0.0.1:8080/"));
    options_.ad_script_url = "http://ad.example/ad.js";
    options_.trusted_proxy = asio::ip::make_address("127.0.0.2");
  }

  Site& site(data::EngineSource* pool = nullptr) {
    if (!site_ || pool) {
      site_.emplace(
          options_, pool ? *pool : pool_, sessions_, visits_,
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
  Response Get(std::string_view target) {
    return Send(Request{bhttp::verb::get, target, 11});
  }

  testing::TempDir dir_;
  std::string dsn_ = "sqlite:" + (dir_.path() / "t.db").string();
  data::SqlitePool pool_;
  http::MemorySessionStore sessions_{20min};
  http::VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  SiteOptions options_;
  std::optional<Site> site_;
  std::vector<std::string> log_;
};

// Routing by path and method, and the response's status, headers and body.
TEST_F(SiteTest, Responses) {
  const std::string
      html = "Content-Type: text/html; charset=gb2312\n",
      moved =
          "<html><head><meta charset=\"gb2312\"><title>页面已转到别处"
          "</title></head><body><a href=\"%\">请点这里继续</a></body></html>";
  struct Case {
    std::string_view request;  // method, target and a form body
    int status;
    std::string headers = "";              // "Name: value" lines
    std::optional<std::string> body = {};  // decoded, exact
    std::string_view piece = "";
  } cases[] = {
      {"GET /echo.asp?q=%C1%F4", 200,
       html + "X-Content-Type-Options: nosniff\nX-Frame-Options: SAMEORIGIN\n"
              "Cache-Control: private\n",
       "form: query:留 addr:10.1.2.3 method:GET"},
      {"GET /ECHO.ASP", 200},
      {"GET /Echo.Asp?q=1", 200},
      {"GET /ech%6F.asp", 200},
      {"GET /PIC/boy1.GIF", 200,
       "Content-Type: image/gif\nCache-Control: public, max-age=2592000\n"
       "X-Content-Type-Options: nosniff\n",
       std::string(kGif)},
      {"HEAD /pic/Boy1.gif", 200, "Content-Length: 14\n", ""},
      {"GET /", 302, "Location: index.asp\n", check::ReplaceAll(moved, "%", "index.asp")},
      {"GET /?x=1", 302, "Location: index.asp\n"},
      {"GET /redirect.asp", 302,
       "Location: guanshui.asp\nSet-Cookie: abcly_hasfw=1; path=/; HttpOnly\n",
       check::ReplaceAll(moved, "%", "guanshui.asp")},
      {"GET /nothing.asp", 404, html, {}, "找不到页面"},
      {"GET /echo.asp/x", 404, "", {}, "找不到页面"},
      {"GET /pic/", 404, "", {}, "找不到页面"},
      {"GET //echo.asp", 404, "", {}, "找不到页面"},
      {"PUT /echo.asp", 405, "Allow: GET, HEAD, POST\n"},
      {"POST /pic/Boy1.gif a=1", 405, "Allow: GET, HEAD\n"},
      {"GET http://x/echo.asp", 400},
      {"GET /store.asp", 200, "", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    std::istringstream words{std::string(c.request)};
    std::string method, target, form;
    words >> method >> target >> form;
    Request req{bhttp::string_to_verb(method), target, 11};
    if (!form.empty()) {
      req.set(bhttp::field::content_type, "application/x-www-form-urlencoded");
      req.body() = form;
    }
    Response res = Send(std::move(req));
    EXPECT_EQ(res.result_int(), c.status);
    std::istringstream headers(c.headers);
    for (std::string line; std::getline(headers, line);)
      EXPECT_EQ(res[line.substr(0, line.find(':'))], line.substr(line.find(':') + 2));
    const std::string text = host::FromGb18030(res.body());
    EXPECT_EQ(text, c.body.value_or(text));
    EXPECT_NE(text.find(c.piece), std::string::npos) << text;
    if (method != "HEAD") {
      EXPECT_EQ(res[bhttp::field::content_length], std::to_string(res.body().size()));
    }
    EXPECT_TRUE(res.keep_alive());
  }
  const std::size_t opened = pool_.opened();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Get("/store.asp").body(), "0");
  EXPECT_EQ(pool_.opened(), opened) << "later requests reuse the open handle";
  Request multipart{bhttp::verb::post, "/echo.asp", 11};
  multipart.set(bhttp::field::content_type, "multipart/form-data; boundary=b");
  multipart.body() = "--b\r\n";
  EXPECT_EQ(Send(std::move(multipart)).result(), bhttp::status::bad_request);
  // Without Host only HTTP/1.0 is served, and it is not kept alive.
  Request no_host{bhttp::verb::get, "/echo.asp", 11};
  no_host.prepare_payload();
  EXPECT_EQ(site().Handle(no_host, asio::ip::make_address("1.2.3.4")).result(),
            bhttp::status::bad_request);
  Response old = Send(Request{bhttp::verb::get, "/echo.asp", 10});
  EXPECT_EQ(old.result(), bhttp::status::ok);
  EXPECT_FALSE(old.keep_alive());
}

TEST_F(SiteTest, OnlyBoundedReadsRunWithoutAWorker) {
  using bhttp::verb;
  struct Case {
    verb method;
    std::string_view target;
    bool light;
    std::string_view cookie = "";
  } cases[] = {
      {verb::get, "/bounded.asp", true},
      {verb::head, "/bounded.asp", true},
      {verb::post, "/bounded.asp", false},
      {verb::get, "/echo.asp", false},
      {verb::get, "/list.asp?name=a&move=end", true},
      {verb::get, "/list.asp?Page=50", true},
      {verb::get, "/list.asp?Page=51", false},
      {verb::get, "/list.asp?Page=", false},
      {verb::get, "/list.asp?Page=1e9", false},
      {verb::get, "/list.asp?Page=99999999999999999999999", false},
      {verb::get, "/list.asp?keyword=", false},
      {verb::get, "/list.asp", false, "search=a"},
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

TEST_F(SiteTest, VisitCountsAreWrittenTogetherAndAtTheStop) {
  pool_.Acquire(dsn_)->Run(
      "insert into user(name, counter) values ('abc', 3), ('xyz', '')");
  RecordingSource recording(pool_);
  std::optional<http::VisitCounter> counter(std::in_place, recording, 1h,
                                            [](std::string_view) {});
  counter->Start();
  std::vector<std::thread> visitors;
  for (int t = 0; t < 4; ++t) {
    visitors.emplace_back([&] {
      for (int i = 0; i < 25; ++i) counter->Add(dsn_, "abc");
      counter->Add(dsn_, "xyz");
    });
  }
  for (auto& v : visitors) v.join();
  counter->Add(dsn_, "gone");  // deleted meanwhile: no count, no error
  counter->Flush();
  ASSERT_EQ(recording.statements.size(), 5u) << "one update per guestbook";
  const std::string_view by_name = "select name, counter from user order by name";
  EXPECT_EQ(testing::StoreRows(pool_, dsn_, by_name),
            (testing::Rows{{"abc", "103"}, {"xyz", "4"}}));
  counter->Add(dsn_, "abc");
  counter.reset();  // the stop writes what is left
  EXPECT_EQ(testing::StoreRows(pool_, dsn_, by_name),
            (testing::Rows{{"abc", "104"}, {"xyz", "4"}}));
}

TEST_F(SiteTest, AStatementPastTheTimeLimitIs503AndWritesNothing) {
  data::SqlitePool quick(50ms);
  site(&quick);
  const auto start = std::chrono::steady_clock::now();
  Response res = Get("/slow.asp");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(res.result(), bhttp::status::service_unavailable);
  EXPECT_EQ(res[bhttp::field::retry_after], "5");
  EXPECT_NE(host::FromGb18030(res.body()).find("<p>服务器忙，请稍后再试！</p>"),
            std::string::npos);
  EXPECT_EQ(testing::StoreCount(pool_, dsn_, "select * from user"), 0);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind("busy: \"GET /slow.asp HTTP/1.1\": ", 0), 0u) << log_[0];
  site_.reset();
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
