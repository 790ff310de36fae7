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
#include <functional>
#include <latch>
#include <mutex>
#include <regex>
#include <thread>

#include "tests/server/client.h"
#include "tests/support/cases.h"

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
  // X-Client, that waits for the gate; "/light" is light work, "/write" work
  // that writes, "/kept" work with an answer at once, "/parked" one after
  // the next version read, which comes at once; "/slow" takes
  // half a second, "/size" answers the body's size and anything else "hello".
  void Start(const std::function<void(Limits&)>& set = {}) {
    Limits limits;
    if (set) set(limits);
    auto handle = [this](Request& req, const asio::ip::address&) -> Reply {
      ++handled_;
      const std::string target(req.target());
      if (target == "/slow") std::this_thread::sleep_for(500ms);
      const bool work_target = target == "/page" || target == "/light" ||
                               target == "/write" || target == "/kept" ||
                               target == "/parked";
      const std::string body = target == "/kept"   ? "kept by a worker"
                               : work_target       ? target.substr(1)
                               : target == "/slow" ? "slow done"
                               : target.starts_with("/size")
                                   ? std::to_string(req.body().size())
                                   : "hello";
      auto answer = [this, target, body](const Request& r) {
        if (target == "/light")
          light_on_io_ = ioc_.get_executor().running_in_this_thread();
        if (target == "/write") writer_nice_ = getpriority(PRIO_PROCESS, gettid());
        if (target == "/page") {
          worker_nice_ = getpriority(PRIO_PROCESS, gettid());
          ++started_;
          gate_.wait();
        }
        return HtmlResponse(Status::ok, body, r.version(), r.keep_alive());
      };
      if (!work_target) return answer(req);
      Reply work{std::string(req["X-Client"]), answer};
      work.light = target == "/light";
      work.writes = target == "/write";
      work.at_once = [target](const Request& r) -> std::optional<Response> {
        if (target != "/kept") return std::nullopt;
        return HtmlResponse(Status::ok, "kept", r.version(), r.keep_alive());
      };
      work.after_next_read = [target](auto answer) {
        if (target != "/parked") return false;
        answer([](const Request& r) {
          return std::optional(HtmlResponse(Status::ok, "at once", r.version(), true));
        });
        return true;
      };
      return work;
    };
    server_.emplace(
        ioc_, handle,
        [this](std::string_view line) {
          std::lock_guard lock(log_mutex_);
          log_.emplace_back(line);
        },
        limits);
    server_->Listen({asio::ip::make_address("127.0.0.1"), 0});
    port_ = server_->local_endpoint().port();
    ioc_.restart();
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { ioc_.run(); });
  }

  void Shutdown() {
    if (!server_) return;
    server_->Stop();
    WaitUntil([this] { return server_->connection_count() == 0; });
    for (auto& t : threads_) t.join();
    threads_.clear();
    server_.reset();
  }

  // Waits up to five seconds for `done`.
  template <typename Done>
  static void WaitUntil(Done done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
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
    WaitUntil([&] { return count >= n; });
    ASSERT_EQ(count, n);
  }

  asio::io_context ioc_;
  std::optional<HttpServer> server_;
  std::vector<std::thread> threads_;
  unsigned short port_ = 0;
  std::atomic<int> handled_ = 0;
  std::atomic<int> started_ = 0;  // page work begun
  std::atomic<int> worker_nice_ = -100, writer_nice_ = -100;
  std::atomic<bool> light_on_io_ = false;
  std::latch gate_{1};
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

TEST_F(HttpServerTest, KeepAlivePipeliningAndExpectContinue) {
  Start();
  Client c(port_);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(c.Get("/").keep_alive());
  EXPECT_EQ(server_->connection_count(), 1u);
  c.SendRaw(
      "GET / HTTP/1.1\r\nHost: a\r\n\r\n"
      "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc",
      false);
  EXPECT_EQ(c.Read().value().body(), "hello");
  EXPECT_EQ(c.Read().value().body(), "3");
  c.SendRaw(
      "POST /size HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n"
      "Expect: 100-continue\r\n\r\n",
      false);
  EXPECT_EQ(c.Read().value().result(), Status::continue_);
  EXPECT_EQ(c.SendRaw("abcde").value().body(), "5");
}

// Each answered with its status, and closed when it is an error.
TEST_F(HttpServerTest, LimitsAndMalformedRequests) {
  Start();
  int answered = 0;
  for (const auto& c : testing::ReadCases("server/http_limits.txt")) {
    SCOPED_TRACE(c.line);
    Client client(port_);
    auto res = client.SendRaw(c[0]);
    ASSERT_TRUE(res);
    EXPECT_EQ(std::to_string(res->result_int()), c[1]);
    EXPECT_EQ(res->version(), c[0].starts_with("GET / HTTP/1.0") ? 10u : 11u);
    const bool closes = c[2] == "closes";
    EXPECT_EQ(res->keep_alive(), !closes);
    EXPECT_EQ(client.ClosedWithin(closes ? 5s : 50ms), closes);
    if (res->result() == Status::ok) {
      EXPECT_EQ(res->body(), c[3]);
      ++answered;
    } else {
      EXPECT_EQ((*res)[bhttp::field::content_type], "text/html; charset=gb2312");
    }
  }
  EXPECT_EQ(handled_, answered) << "no refused request reaches the handler";
}

TEST_F(HttpServerTest, SilentClientsAreDropped) {
  Start([](Limits& l) { l.read_timeout = 300ms; });
  Client silent(port_), partial(port_), idle(port_);
  partial.SendRaw("GET / HTTP/1.1\r\nHost:", false);
  EXPECT_EQ(idle.Get("/").result(), Status::ok);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent.ClosedWithin(3s));
  EXPECT_TRUE(partial.ClosedWithin(3s));
  EXPECT_TRUE(idle.ClosedWithin(3s)) << "an idle keep-alive connection too";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(HttpServerTest, OneAddressHoldsOnlyItsShareOfConnections) {
  Start([&](Limits& l) { l.connections_per_client = 2; });
  auto first = std::make_unique<Client>(port_);
  Client second(port_);
  EXPECT_EQ(first->Get("/").result(), Status::ok);
  EXPECT_EQ(second.Get("/").result(), Status::ok);
  Client third(port_);
  EXPECT_TRUE(third.ClosedWithin(1s));
  first.reset();
  WaitUntil([this] { return server_->connection_count() <= 1; });
  EXPECT_EQ(Client(port_).Get("/").result(), Status::ok)
      << "a closed one frees its place";
}

// A proxy's own address is written as IPv6 when a dual-stack listener sees it.
TEST_F(HttpServerTest, TheProxyIsNotCountedHoweverItsAddressIsWritten) {
  Start([&](Limits& l) {
    l.connections_per_client = 1;
    l.uncounted = boost::asio::ip::make_address("::ffff:127.0.0.1");
  });
  Client first(port_), second(port_);
  EXPECT_EQ(first.Get("/").result(), Status::ok);
  EXPECT_EQ(second.Get("/").result(), Status::ok);
}

TEST_F(HttpServerTest, HoldsManyIdleConnectionsOnTwoThreads) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  // Each connection costs two descriptors here: the client's and the server's.
  const std::size_t n = std::min<std::size_t>(1000, (limit.rlim_cur - 64) / 2);
  Start([&](Limits& l) { l.connections_per_client = n + 1; });
  std::vector<std::unique_ptr<Client>> clients;
  for (std::size_t i = 0; i < n; ++i) {
    clients.push_back(std::make_unique<Client>(port_));
    if (i % 2 == 0) {
      EXPECT_EQ(clients.back()->Get("/").result(), Status::ok);
    }
  }
  WaitUntil([&] { return server_->connection_count() >= n; });
  EXPECT_EQ(server_->connection_count(), n);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Client(port_).Get("/").result(), Status::ok);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  for (auto& c : clients) ASSERT_EQ(c->Get("/").result(), Status::ok);
}

TEST_F(HttpServerTest, OneAccessLogLinePerRequest) {
  Start();
  Client c(port_);
  c.Get("/size?x=secret");
  c.SendRaw("GARBAGE\r\n\r\n");
  WaitUntil([this] { return Log().size() >= 2; });
  std::string log;
  for (const std::string& line : Log()) log += line + "\n";
  EXPECT_TRUE(
      std::regex_match(log, std::regex("127\\.0\\.0\\.1 GET /size 200 1 [0-9]+us\n"
                                       "127\\.0\\.0\\.1 - - 400 [0-9]+ [0-9]+us\n")))
      << log;
}

// Access lines wait for a batch; an error line goes out at once, after them.
TEST(LogBatchTest, WritesGatheredLinesTogetherAndInOrder) {
  std::vector<std::string> writes;
  const std::string full(LogBatch::kBatchBytes, 'x');
  {
    LogBatch batch([&](std::string_view text) { writes.emplace_back(text); });
    batch.Add("a");
    batch.Add("b");
    EXPECT_TRUE(writes.empty());
    batch.Now("error");
    batch.Add(full);
    batch.Add("c");
    batch.Flush();
    batch.Flush();
    batch.Add("d");
  }
  EXPECT_EQ(writes,
            (std::vector<std::string>{"a\nb\nerror\n", full + "\n", "c\n", "d\n"}));
}

TEST_F(HttpServerTest, GracefulStopFinishesRequestsInHand) {
  Start();
  Client idle(port_), busy(port_);
  EXPECT_EQ(idle.Get("/").result(), Status::ok);
  busy.SendRaw("GET /slow HTTP/1.1\r\nHost: a\r\n\r\n", false);
  std::this_thread::sleep_for(150ms);
  server_->Stop();
  const Response res = busy.Read().value();
  EXPECT_EQ(res.body(), "slow done");
  EXPECT_FALSE(res.keep_alive());
  EXPECT_TRUE(busy.ClosedWithin(2s));
  EXPECT_TRUE(idle.ClosedWithin(2s));
  EXPECT_THROW(Client late(port_), boost::system::system_error);
  // The threads return once nothing is left.
  for (auto& t : threads_) t.join();
  threads_.clear();
  EXPECT_EQ(server_->connection_count(), 0u);
}

TEST_F(HttpServerTest, FilesLightWorkAndWritesAreServedWhileEveryWorkerIsBusy) {
  Start([](Limits& l) {
    l.work = {.threads = 2, .queue = 4, .per_client = 8, .nice = 3};
    l.write_work = {.threads = 1};
  });
  const int own_nice = getpriority(PRIO_PROCESS, gettid());
  auto a = SendPage("a");
  auto b = SendPage("b");
  WaitFor(started_, 2);
  EXPECT_EQ(worker_nice_, std::min(own_nice + 3, 19));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Client(port_).Get("/").body(), "hello");
  EXPECT_EQ(Client(port_).Get("/light").body(), "light");
  EXPECT_TRUE(light_on_io_);
  EXPECT_EQ(Client(port_).Get("/kept").body(), "kept");    // answered at once
  EXPECT_EQ(Client(port_).Get("/write").body(), "write");  // on its own pool
  EXPECT_EQ(writer_nice_, own_nice);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  OpenGate();
  for (auto* c : {a.get(), b.get()}) EXPECT_EQ(c->Read().value().body(), "page");
  // With threads of its own, light work leaves the I/O threads.
  Shutdown();
  Start([](Limits& l) { l.light_work.threads = 1; });
  EXPECT_EQ(Client(port_).Get("/light").body(), "light");
  EXPECT_FALSE(light_on_io_);
  EXPECT_EQ(Client(port_).Get("/kept").body(), "kept by a worker");
}

// With a light pool, waiting work may be answered after the next read, once,
// and its place in the queue and the client's share is free again at once.
TEST_F(HttpServerTest, WorkWaitingForAWorkerIsAnsweredAfterTheNextVersionRead) {
  Start([](Limits& l) {
    l.work = {.threads = 1, .queue = 1, .per_client = 1};
    l.light_work.threads = 1;
  });
  auto a = SendPage("a");
  WaitFor(started_, 1);
  Client c(port_);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(c.Get("/parked").body(), "at once");
  OpenGate();
  EXPECT_EQ(a->Read().value().body(), "page");
  std::this_thread::sleep_for(100ms);     // the worker's turn at "/parked" passes
  EXPECT_EQ(c.Get("/").body(), "hello");  // and wrote nothing
}

TEST_F(HttpServerTest, AClientsNextRequestFindsItsLastOneDone) {
  Start([](Limits& l) { l.work = {.threads = 2, .queue = 4, .per_client = 1}; });
  OpenGate();
  Client c(port_);
  Request page{bhttp::verb::get, "/page", 11};
  for (int i = 0; i < 200; ++i) ASSERT_EQ(c.Send(page).result(), Status::ok) << i;
}

TEST_F(HttpServerTest, BusyAnswers503AtOnceBeyondTheClientsShareOrTheQueue) {
  Start([](Limits& l) { l.work = {.threads = 1, .queue = 2, .per_client = 2}; });
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
  for (auto* c : {running.get(), queued_a.get(), queued_b.get()})
    EXPECT_EQ(c->Read().value().body(), "page");
}

TEST_F(HttpServerTest, WorkOfAClientThatLeftIsDroppedAndStopFinishesTheQueue) {
  Start([](Limits& l) { l.work = {.threads = 1, .queue = 4, .per_client = 8}; });
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
    const Response res = c->Read().value();
    EXPECT_EQ(res.body(), "page") << "queued work runs after a stop";
    EXPECT_FALSE(res.keep_alive());
  }
  Shutdown();
  EXPECT_EQ(started_, 2) << "the work of the client that left never ran";
  EXPECT_EQ(std::ranges::count_if(
                Log(), [](const std::string& l) { return l.find(" 499 ") != l.npos; }),
            1);
}

}  // namespace
}  // namespace tb::server::http
