// The listener over real sockets: keep-alive, limits, timeouts, many
// connections, page work on the workers, the access log and the graceful stop.
#include "server/http/http_server.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <latch>
#include <mutex>
#include <regex>
#include <thread>

#include "tests/server/client.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using testing::Client;

class HttpServerTest : public ::testing::Test {
 protected:
  ~HttpServerTest() override {
    OpenGate();
    Shutdown();
  }

  // "/page" is work for a worker, charged to the client named by the field
  // X-Client, that waits for the gate; anything else is answered at once.
  void Start(Limits limits = {}) {
    server_.emplace(
        ioc_,
        [this](Request& req, const asio::ip::address&) -> Reply {
          ++handled_;
          if (req.target() == "/page") {
            return {std::string(req["X-Client"]), [this](const Request& r) {
                      worker_nice_ = getpriority(PRIO_PROCESS, gettid());
                      ++started_;
                      gate_.wait();
                      return HtmlResponse(Status::ok, "page", r.version(),
                                          r.keep_alive());
                    }};
          }
          std::string body = "hello";
          if (req.target() == "/light") {
            Reply light{"", [](const Request& r) {
                          return HtmlResponse(Status::ok, "light", r.version(),
                                              r.keep_alive());
                        }};
            light.light = true;
            return light;
          }
          if (req.target() == "/slow") {
            std::this_thread::sleep_for(500ms);
            body = "slow done";
          } else if (req.target().starts_with("/size")) {
            body = std::to_string(req.body().size());
          }
          return HtmlResponse(Status::ok, body, req.version(), req.keep_alive());
        },
        [this](std::string_view line) {
          std::lock_guard lock(log_mutex_);
          log_.emplace_back(line);
        },
        limits);
    server_->Listen({asio::ip::make_address("127.0.0.1"), 0});
    port_ = server_->local_endpoint().port();
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { ioc_.run(); });
  }

  // Stops the server and waits for its threads.
  void Shutdown() {
    if (!server_) return;
    server_->Stop();
    for (int i = 0; i < 250 && server_->connection_count() > 0; ++i) {
      std::this_thread::sleep_for(20ms);
    }
    for (auto& t : threads_) t.join();
    threads_.clear();
    server_.reset();
  }

  std::vector<std::string> Log() {
    std::lock_guard lock(log_mutex_);
    return log_;
  }

  void OpenGate() {
    if (!gate_.try_wait()) gate_.count_down();
  }

  // Sends a request for "/page" from `client` without reading the answer.
  std::unique_ptr<Client> SendPage(std::string_view client) {
    auto c = std::make_unique<Client>(port_);
    c->SendRaw(
        "GET /page HTTP/1.1\r\nHost: a\r\nX-Client: " + std::string(client) + "\r\n\r\n",
        false);
    return c;
  }

  // Waits until `count` (started_ or handled_) reaches n.
  static void WaitFor(const std::atomic<int>& count, int n) {
    for (int i = 0; i < 1000 && count < n; ++i) std::this_thread::sleep_for(2ms);
    ASSERT_EQ(count, n);
  }

  asio::io_context ioc_;
  std::optional<HttpServer> server_;
  std::vector<std::thread> threads_;
  unsigned short port_ = 0;
  std::atomic<int> handled_ = 0;
  std::atomic<int> started_ = 0;  // page work begun
  std::atomic<int> worker_nice_ = -100;
  std::latch gate_{1};
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

TEST_F(HttpServerTest, KeepAliveServesSeveralRequestsOnOneConnection) {
  Start();
  Client c(port_);
  for (int i = 0; i < 3; ++i) {
    Response res = c.Get("/");
    EXPECT_EQ(res.result(), Status::ok);
    EXPECT_EQ(res.body(), "hello");
    EXPECT_TRUE(res.keep_alive());
  }
  EXPECT_EQ(server_->connection_count(), 1u);
}

TEST_F(HttpServerTest, PipelinedRequestsAnswerInOrder) {
  Start();
  Client c(port_);
  c.SendRaw(
      "GET / HTTP/1.1\r\nHost: a\r\n\r\n"
      "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc",
      false);
  auto first = c.Read();
  auto second = c.Read();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->body(), "hello");
  EXPECT_EQ(second->body(), "3");
}

TEST_F(HttpServerTest, ConnectionCloseIsHonoured) {
  Start();
  Client c(port_);
  auto res = c.SendRaw("GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n");
  ASSERT_TRUE(res);
  EXPECT_FALSE(res->keep_alive());
  EXPECT_TRUE(c.ClosedWithin(2s));
}

TEST_F(HttpServerTest, BodyLimit) {
  Start();
  {
    Client c(port_);
    Request req = testing::FormPost("/size", std::string(1024 * 1024, 'a'));
    EXPECT_EQ(c.Send(req).body(), "1048576") << "exactly the limit is accepted";
  }
  struct Case {
    std::string name, head, body;
  } cases[] = {
      {"declared", "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 1048577\r\n\r\n",
       std::string(64 * 1024, 'a')},
      {"chunked", "POST /size HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n",
       "100000\r\n" + std::string(0x100000, 'a') + "\r\n10\r\n" + std::string(16, 'a') +
           "\r\n0\r\n\r\n"},
  };
  for (const auto& c : cases) {
    Client client(port_);
    auto res = client.SendRaw(c.head + c.body);
    ASSERT_TRUE(res) << c.name;
    EXPECT_EQ(res->result(), Status::payload_too_large) << c.name;
    EXPECT_FALSE(res->keep_alive());
    EXPECT_EQ(res->base()[bhttp::field::content_type], "text/html; charset=gb2312");
    EXPECT_TRUE(client.ClosedWithin(5s)) << c.name;
  }
}

TEST_F(HttpServerTest, ExpectContinue) {
  Start();
  Client c(port_);
  c.SendRaw(
      "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\nExpect: "
      "100-continue\r\n\r\n",
      false);
  auto interim = c.Read();
  ASSERT_TRUE(interim);
  EXPECT_EQ(interim->result(), Status::continue_);
  auto res = c.SendRaw("abcde");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body(), "5");

  // Too large: refused before the body is sent.
  Client big(port_);
  auto refused = big.SendRaw(
      "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 9999999\r\n"
      "Expect: 100-continue\r\n\r\n");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result(), Status::payload_too_large);
}

TEST_F(HttpServerTest, HeadLimit) {
  Start();
  {
    Client c(port_);
    auto res = c.SendRaw(
        "GET / HTTP/1.1\r\nHost: a\r\nX-Fill: " + std::string(15000, 'x') + "\r\n\r\n");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->result(), Status::ok);
  }
  Client c(port_);
  auto res = c.SendRaw("GET / HTTP/1.1\r\nHost: a\r\nX-Fill: " + std::string(17000, 'x') +
                       "\r\n\r\n");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->result(), Status::request_header_fields_too_large);
  EXPECT_TRUE(c.ClosedWithin(5s));
}

TEST_F(HttpServerTest, MalformedRequestsGet400AndClose) {
  Start();
  const std::string_view requests[] = {
      "GARBAGE\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: a\r\nContent-Length: abc\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Header\r\n\r\n",
      "GET / XTTP/1.1\r\n\r\n",
      "GET  / HTTP/1.1\r\n\r\n",
      "POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
  };
  for (std::string_view raw : requests) {
    Client c(port_);
    auto res = c.SendRaw(raw);
    ASSERT_TRUE(res) << raw;
    EXPECT_EQ(res->result(), Status::bad_request) << raw;
    EXPECT_FALSE(res->keep_alive());
    EXPECT_TRUE(c.ClosedWithin(5s)) << raw;
  }
  EXPECT_EQ(handled_, 0);
}

TEST_F(HttpServerTest, SilentClientsAreDropped) {
  Limits limits;
  limits.read_timeout = 300ms;
  Start(limits);
  Client silent(port_);
  Client partial(port_);
  partial.SendRaw("GET / HTTP/1.1\r\nHost:", false);
  Client idle(port_);
  EXPECT_EQ(idle.Get("/").result(), Status::ok);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent.ClosedWithin(3s));
  EXPECT_TRUE(partial.ClosedWithin(3s));
  EXPECT_TRUE(idle.ClosedWithin(3s)) << "an idle keep-alive connection too";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(HttpServerTest, OneAddressHoldsOnlyItsShareOfConnections) {
  Limits limits;
  limits.connections_per_client = 2;
  Start(limits);
  auto first = std::make_unique<Client>(port_);
  Client second(port_);
  EXPECT_EQ(first->Get("/").result(), Status::ok);
  EXPECT_EQ(second.Get("/").result(), Status::ok);
  Client third(port_);
  EXPECT_TRUE(third.ClosedWithin(1s));
  first.reset();
  for (int i = 0; i < 100 && server_->connection_count() > 1; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  Client again(port_);
  EXPECT_EQ(again.Get("/").result(), Status::ok) << "a closed one frees its place";
}

TEST_F(HttpServerTest, HoldsManyIdleConnectionsOnTwoThreads) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  // Each connection costs two descriptors here: the client's and the server's.
  const std::size_t n = std::min<std::size_t>(1000, (limit.rlim_cur - 64) / 2);
  Limits limits;
  limits.connections_per_client = n + 1;
  Start(limits);
  std::vector<std::unique_ptr<Client>> clients;
  for (std::size_t i = 0; i < n; ++i) {
    clients.push_back(std::make_unique<Client>(port_));
    if (i % 2 == 0) {
      EXPECT_EQ(clients.back()->Get("/").result(), Status::ok);
    }
  }
  for (int i = 0; i < 250 && server_->connection_count() < n; ++i) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(server_->connection_count(), n);
  auto start = std::chrono::steady_clock::now();
  Client fresh(port_);
  EXPECT_EQ(fresh.Get("/").result(), Status::ok);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  // Every one of them can still be served.
  for (auto& c : clients) ASSERT_EQ(c->Get("/").result(), Status::ok);
}

TEST_F(HttpServerTest, OneAccessLogLinePerRequest) {
  Start();
  Client c(port_);
  c.Get("/size?x=secret");
  c.SendRaw("GARBAGE\r\n\r\n");
  for (int i = 0; i < 100 && Log().size() < 2; ++i) std::this_thread::sleep_for(10ms);
  auto log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(
      std::regex_match(log[0], std::regex("127\\.0\\.0\\.1 GET /size 200 1 [0-9]+us")))
      << log[0];
  EXPECT_TRUE(
      std::regex_match(log[1], std::regex("127\\.0\\.0\\.1 - - 400 [0-9]+ [0-9]+us")))
      << log[1];
}

TEST_F(HttpServerTest, GracefulStopFinishesRequestsInHand) {
  Start();
  Client idle(port_);
  EXPECT_EQ(idle.Get("/").result(), Status::ok);
  Client busy(port_);
  busy.SendRaw("GET /slow HTTP/1.1\r\nHost: a\r\n\r\n", false);
  std::this_thread::sleep_for(150ms);
  server_->Stop();
  auto res = busy.Read();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body(), "slow done");
  EXPECT_FALSE(res->keep_alive());
  EXPECT_TRUE(busy.ClosedWithin(2s));
  EXPECT_TRUE(idle.ClosedWithin(2s));
  EXPECT_THROW(Client late(port_), boost::system::system_error);
  // The threads return once nothing is left.
  for (auto& t : threads_) t.join();
  threads_.clear();
  EXPECT_EQ(server_->connection_count(), 0u);
  server_.reset();
}

TEST_F(HttpServerTest, FilesAndLightWorkAreServedWhileEveryWorkerIsBusy) {
  Limits limits;
  limits.work = {.threads = 2, .queue = 4, .per_client = 8, .nice = 3};
  Start(limits);
  const int own_nice = getpriority(PRIO_PROCESS, gettid());
  auto a = SendPage("a");
  auto b = SendPage("b");
  WaitFor(started_, 2);
  EXPECT_EQ(worker_nice_, std::min(own_nice + 3, 19));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Client(port_).Get("/").body(), "hello");
  EXPECT_EQ(Client(port_).Get("/light").body(), "light");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  OpenGate();
  for (auto* c : {a.get(), b.get()}) EXPECT_EQ(c->Read()->body(), "page");
}

TEST_F(HttpServerTest, AClientsNextRequestFindsItsLastOneDone) {
  Limits limits;
  limits.work = {.threads = 2, .queue = 4, .per_client = 1};
  Start(limits);
  OpenGate();
  Client c(port_);
  Request page{bhttp::verb::get, "/page", 11};
  for (int i = 0; i < 200; ++i) ASSERT_EQ(c.Send(page).result(), Status::ok) << i;
}

TEST_F(HttpServerTest, BusyAnswers503AtOnceBeyondTheClientsShareOrTheQueue) {
  Limits limits;
  limits.work = {.threads = 1, .queue = 2, .per_client = 2};
  Start(limits);
  auto expect_busy = [this](std::string_view client, std::string_view why) {
    auto start = std::chrono::steady_clock::now();
    auto res = SendPage(client)->Read();
    ASSERT_TRUE(res) << why;
    EXPECT_EQ(res->result(), Status::service_unavailable) << why;
    EXPECT_EQ((*res)[bhttp::field::retry_after], "5");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << why;
  };
  auto running = SendPage("a");
  WaitFor(started_, 1);
  auto queued_a = SendPage("a");
  WaitFor(handled_, 2);
  expect_busy("a", "a holds its two");
  auto queued_b = SendPage("b");
  WaitFor(handled_, 4);
  expect_busy("c", "the queue holds two");
  OpenGate();
  for (auto* c : {running.get(), queued_a.get(), queued_b.get()}) {
    EXPECT_EQ(c->Read()->body(), "page");
  }
}

TEST_F(HttpServerTest, WorkOfAClientThatLeftIsDroppedAndStopFinishesTheQueue) {
  Limits limits;
  limits.work = {.threads = 1, .queue = 4, .per_client = 8};
  Start(limits);
  auto running = SendPage("a");
  WaitFor(started_, 1);
  auto queued = SendPage("b");
  // A client that sends its request and closes: the server closes too.
  tcp::socket left(ioc_);
  left.connect({asio::ip::make_address("127.0.0.1"), port_});
  timeval wait{.tv_sec = 5, .tv_usec = 0};
  setsockopt(left.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  asio::write(left, asio::buffer(std::string_view("GET /page HTTP/1.1\r\n\r\n")));
  left.shutdown(tcp::socket::shutdown_send);
  char byte;
  boost::system::error_code ec;
  left.read_some(asio::buffer(&byte, 1), ec);
  EXPECT_EQ(ec, asio::error::eof);
  WaitFor(handled_, 3);
  server_->Stop();
  OpenGate();
  for (auto* c : {running.get(), queued.get()}) {
    auto res = c->Read();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body(), "page") << "queued work runs after a stop";
    EXPECT_FALSE(res->keep_alive());
  }
  Shutdown();
  EXPECT_EQ(started_, 2) << "the work of the client that left never ran";
  auto log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find(" 499 ") != l.npos; }),
            1);
}

}  // namespace
}  // namespace tb::server::http
