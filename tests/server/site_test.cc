// The site behind the listener, run on requests in memory with pages of its
// own: routing, the page's response, sessions, cookies, errors.
#include "server/site.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "data/connection.h"
#include "data/error.h"
#include "data/mariadb_engine.h"
#include "data/store_pool.h"
#include "host/encoding.h"
#include "server/http/page_cache.h"
#include "server/pages/pages.h"
#include "tests/server/client.h"
#include "tests/support/cases.h"
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

// An expiry set before the value, a name set again in another letter case
// (the same cookie), and a plain cookie; with `go`, a redirect there, which
// drops what the page wrote.
void CookiePage(PageEnv& env) {
  auto& res = env.context().response();
  res.Write("written");
  res.SetCookieExpires("abcly_hasfw", "2026-03-06 14:07:09");
  res.SetCookie("abcly_hasfw", "1");
  res.SetCookieExpires("ly_name", "June 4,2008");
  res.SetCookie("ly_name", "留言");
  res.SetCookie("LY_NAME", "again");
  res.SetCookie("plain", "x");
  if (const std::string go = env.context().request().Query("go"); !go.empty())
    res.Redirect(go);
}

void StorePage(PageEnv& env) {
  data::Connection conn(env.context().server().Databases());
  conn.Open(env.component().DSNtemp());
  env.context().response().Write(
      conn.Execute("select count(*) as n from user")["n"].Text());
}

// Registers a guestbook, then runs a statement of many seconds, in one
// transaction (on MariaDB one whose rows are on their way when it stops).
void SlowPage(PageEnv& env) {
  data::Connection conn(env.context().server().Databases());
  conn.Open(env.component().DSNtemp());
  data::Transaction tx(conn);
  conn.Execute("insert into user(name) values ('slow')");
  conn.Execute(data::MariaTargetOf(env.component().DSNtemp())
                   ? "select seq from seq_1_to_1000000000"
                   : "with recursive k(i) as (select 1 union all select i + 1 from k "
                     "where i < 1e8) select count(*) from k");
  tx.Commit();
}

constexpr Route kTestRoutes[] = {
    {"echo.asp", EchoPage},
    {"login.asp", LoginPage},
    {"cookie.asp", CookiePage},
    {"store.asp", StorePage},
    {"throw.asp", [](PageEnv&) { throw std::runtime_error("boom"); }},
    {"slow.asp", SlowPage},
    {"bounded.asp", EchoPage, Cost::kBounded},
    {"list.asp", EchoPage, Cost::kListing},
    {"show.asp", pages::ShowPage, Cost::kListing},
};

const Route* FindTestRoute(std::string_view path) {
  for (const Route& r : kTestRoutes)
    if (host::EqualsIgnoreCase(r.path, path)) return &r;
  return nullptr;
}

constexpr std::string_view kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
constexpr Asset kTestAsset{"pic/Boy1.gif", "image/gif", kGif};

const Asset* FindTestAsset(std::string_view path) {
  return host::EqualsIgnoreCase(path, kTestAsset.path) ? &kTestAsset : nullptr;
}

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
    if (!site_ || pool)
      site_.emplace(
          options_, pool ? *pool : pool_, sessions_, visits_,
          [this](std::string_view line) { log_.emplace_back(line); }, FindTestRoute,
          FindTestAsset);
    return *site_;
  }

  // Sends `req`, Host: 127.0.0.1 added to an HTTP/1.1 request without one
  // and an empty Host taken out.
  Response Send(Request req, std::string_view peer = "10.1.2.3") {
    if (req.version() == 11 && !req.count(bhttp::field::host))
      req.set(bhttp::field::host, "127.0.0.1");
    else if (req[bhttp::field::host].empty())
      req.erase(bhttp::field::host);
    req.prepare_payload();
    return site().Handle(req, asio::ip::make_address(std::string(peer)));
  }
  Response Get(std::string_view target) {
    return Send(Request{bhttp::verb::get, target, 11});
  }

  data::StorePool pool_;
  testing::TestStore store_{pool_};
  std::string dsn_ = store_.dsn();
  http::MemorySessionStore sessions_{20min};
  http::VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  SiteOptions options_;
  std::optional<Site> site_;
  std::vector<std::string> log_;
};

// Routing by path and method, and the response's status, headers and body.
TEST_F(SiteTest, Responses) {
  std::string record;
  for (const auto& c : testing::ReadCases("server/site_responses.txt")) {
    std::istringstream words(c[0]);
    std::string method, target, version = "HTTP/1.1";
    words >> method >> target >> version;
    Request req{bhttp::string_to_verb(method), target, version == "HTTP/1.0" ? 10 : 11};
    std::istringstream headers(c.size() > 1 ? c[1] : "");
    for (std::string line; std::getline(headers, line);)
      req.set(line.substr(0, line.find(':')), line.substr(line.find(':') + 1));
    if (c.size() > 2) req.body() = c[2];
    record +=
        "## " + testing::CaseText(c) + "\n" + testing::ResponseText(Send(std::move(req)));
  }
  testing::ExpectGolden("server/site_responses.txt", record);
  const std::size_t opened = pool_.sqlite().opened();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Get("/store.asp").body(), "0");
  EXPECT_EQ(pool_.sqlite().opened(), opened) << "later requests reuse the open handle";
}

TEST_F(SiteTest, OnlyBoundedReadsRunWithoutAWorker) {
  http::PageCache pages(1 << 20, 1 << 18);
  options_.pages = &pages;
  for (const auto& c : testing::ReadCases("server/site_light.txt")) {
    Request req{bhttp::string_to_verb(c[0]), c[1], 11};
    req.set(bhttp::field::host, "127.0.0.1");
    if (c.size() > 3) req.set(bhttp::field::cookie, c[3]);
    std::optional<http::SessionHold> held;
    if (c.size() > 4) held.emplace(sessions_.Hold(c[3].substr(c[3].find('=') + 1)));
    http::Reply reply = site().Dispatch(req, asio::ip::make_address("10.1.2.3"));
    EXPECT_FALSE(reply.response) << c[1];
    EXPECT_EQ(reply.light             ? "light"
              : reply.at_once         ? "kept or worker"
              : reply.after_next_read ? "kept after a read or worker"
                                      : "worker",
              c[2])
        << c[1];
  }
}

// A deep page, once a worker has rendered it, is answered at once as it
// was rendered, while the store stands.
TEST_F(SiteTest, AKeptDeepPageIsAnsweredAtOnce) {
  http::PageCache pages(1 << 20, 1 << 18);
  options_.pages = &pages;
  testing::StoreScalar(pool_, dsn_, "insert into user(name) values ('abc')");
  const std::string post =
      "insert into liuyan(name, subject) with recursive k(i) as (select 1 union all "
      "select i + 1 from k where i < 600) select 'abc', 'm' || i from k";
  testing::StoreScalar(pool_, dsn_, post);
  Request req{bhttp::verb::get, "/show.asp?name=abc&Page=55", 11};
  req.set(bhttp::field::host, "127.0.0.1");
  const auto reply = [&] {
    return site().Dispatch(req, asio::ip::make_address("10.1.2.3"));
  };
  ASSERT_TRUE(reply().at_once);
  EXPECT_FALSE(reply().at_once(req)) << "not kept yet";
  const std::string rendered = reply().work(req).body();
  EXPECT_NE(rendered.find(">m55<"), std::string::npos);
  const auto kept = reply().at_once(req);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->body(), rendered);
  testing::StoreScalar(pool_, dsn_, "delete from liuyan where subject = 'm1'");
  EXPECT_FALSE(reply().at_once(req)) << "the store has changed";
}

// The error page, as tests/golden/server/site_responses.txt holds it for
// throw.asp: nothing of the inside leaks.
TEST_F(SiteTest, StoreFailureIs500AndTheSiteGoesOn) {
  options_.properties.Set("DSNtemp", Value("sqlite:/no/such/folder/x.db"));
  const std::string failed = testing::ResponseText(Get("/store.asp?name=abc"));
  EXPECT_EQ(failed, testing::ResponseText(Get("/throw.asp")));
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_TRUE(
      log_[0].starts_with("error: \"GET /store.asp?name=abc HTTP/1.1\": cannot open "))
      << log_[0];
  EXPECT_EQ(log_[1], "error: \"GET /throw.asp HTTP/1.1\": boom");
  EXPECT_EQ(Get("/echo.asp").result(), bhttp::status::ok);
}

// A session store that cannot answer now is a busy store: 503, not 500.
TEST_F(SiteTest, ABusySessionStoreIs503) {
  struct Busy final : http::SessionStore {
    http::SessionHold Hold(std::string_view) override { throw data::Unavailable("busy"); }
    std::optional<http::SessionValues> Load(std::string_view) override { return {}; }
    void Save(std::string_view, const http::SessionValues&) override {}
    void Erase(std::string_view) override {}
    std::size_t EraseLogins(std::string_view, std::string_view) override { return 0; }
    std::size_t Sweep() override { return 0; }
  } busy;
  Site busy_site(
      options_, pool_, busy, visits_, [](std::string_view) {}, FindTestRoute,
      FindTestAsset);
  Request req{bhttp::verb::get, "/echo.asp", 11};
  req.set(bhttp::field::host, "127.0.0.1");
  req.set(bhttp::field::cookie, "TBSESSION=abc");
  EXPECT_EQ(busy_site.Handle(req, asio::ip::make_address("10.1.2.3")).result(),
            bhttp::status::service_unavailable);
}

TEST_F(SiteTest, VisitCountsAreWrittenTogetherAndAtTheStop) {
  // An empty counter: '' where SQLite keeps it, NULL on MariaDB.
  pool_.Acquire(dsn_)->Run(
      std::string("insert into user(name, counter) values ('abc', 3), ") +
      (store_.mariadb() ? "('xyz', null)" : "('xyz', '')"));
  testing::RecordingSource recording(pool_);
  std::optional<http::VisitCounter> counter(std::in_place, recording, 1h,
                                            [](std::string_view) {});
  counter->Start();
  std::vector<std::thread> visitors;
  for (int t = 0; t < 4; ++t)
    visitors.emplace_back([&] {
      for (int i = 0; i < 25; ++i) counter->Add(dsn_, "abc");
      counter->Add(dsn_, "xyz");
    });
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
  data::StorePool quick(50ms);
  site(&quick);
  for (int again = 0; again < 2; ++again) {  // the same statements on the same handle
    const auto start = std::chrono::steady_clock::now();
    Response res = Get("/slow.asp");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(res.result(), bhttp::status::service_unavailable);
    EXPECT_EQ(res[bhttp::field::retry_after], "5");
    EXPECT_NE(host::FromGb18030(res.body()).find("<p>服务器忙，请稍后再试！</p>"),
              std::string::npos);
    EXPECT_EQ(testing::StoreCount(pool_, dsn_, "select * from user"), 0);
    ASSERT_EQ(log_.size(), again + 1u);
    EXPECT_EQ(log_[again].rfind("busy: \"GET /slow.asp HTTP/1.1\": ", 0), 0u) << log_[0];
  }
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
  sessions_.Save("s1", {{"ly_log", Value("yes")}});
  for (const auto& c : testing::ReadCases("server/site_cross_origin.txt")) {
    Request req{bhttp::string_to_verb(c[0]), c[1], 11};
    req.set(bhttp::field::cookie, "TBSESSION=s1");
    for (auto [column, field] : {std::pair{2, "Sec-Fetch-Site"},
                                 {3, "Sec-Fetch-Dest"},
                                 {4, "Origin"},
                                 {6, "Referer"}})
      if (!c[column].empty()) req.set(field, c[column]);
    if (c[5] == "https") req.set("X-Forwarded-Proto", "https");
    EXPECT_EQ(std::to_string(
                  Send(req, c[5] == "https" ? "127.0.0.2" : "10.1.2.3").result_int()),
              c[7])
        << testing::CaseText(c);
  }
  EXPECT_TRUE(sessions_.Load("s1")) << "the log-off did not run";
}

}  // namespace
}  // namespace tb::server
