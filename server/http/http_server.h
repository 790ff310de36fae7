// File: http_server.h — the HTTP/1.1 listener: asynchronous connections with
// keep-alive on a pool of threads, limits on what a client may send, page
// work on a pool of worker threads, and a graceful stop.
//
// Connections wait for requests without holding a thread, one request of a
// connection at a time. The handler looks at each request on one of the
// io_context's threads and either answers it at once (a file, a redirect, a
// refusal) or hands back work, which a worker thread runs; its response then
// goes back to the connection. So a slow page holds a worker, never the
// threads that accept connections and serve files. Work waits in a bounded
// queue, and one client holds at most `per_client` jobs, queued or running:
// beyond either bound the request is answered 503 with Retry-After at once.
// Work whose client closes the connection while it waits is dropped unrun
// (logged with status 499).
//
// A client gets 431 for a request head over the head limit, 413 for a body
// over the body limit, 400 for a malformed request; a connection silent for
// the read timeout is closed. A peer address holding its share of open
// connections has further ones closed at once. Every answered request is logged as one
// line: client, method, path, status, body bytes, microseconds.
//
// Example:
//   boost::asio::io_context ioc;
//   HttpServer server(ioc, [](Request& req, const address& peer) -> Reply {
//     if (req.target() == "/site.css") return CssResponse(req);
//     return {peer.to_string(), [](const Request& r) { return RunPage(r); }};
//   }, LogToStderr);
//   server.Listen({boost::asio::ip::make_address("127.0.0.1"), 0});
//   ... ioc.run() on several threads; server.Stop() lets them return.
// The io_context must outlive the server.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "server/http/log.h"
#include "server/http/message.h"
#include "server/http/worker_pool.h"

namespace tb::server::http {

struct Limits {
  std::uint32_t head = 16 * 1024;  // request line and header fields
  std::uint64_t body = 1024 * 1024;
  std::chrono::steady_clock::duration read_timeout = std::chrono::seconds(30);
  // Open connections of one peer address; more are closed as they come.
  // Connections from `uncounted` (a proxy in front of the site) are not
  // limited.
  std::size_t connections_per_client = 256;
  std::optional<boost::asio::ip::address> uncounted;
  // The worker threads, the work that may wait for one, and each client's
  // share (queued or running).
  PoolLimits work;
  // With threads, light work runs on a pool of its own rather than on the
  // I/O thread: for a store whose every answer crosses the network, which
  // no thread that serves connections should wait for.
  PoolLimits light_work{.threads = 0};
  // With threads, work that writes runs on a pool of its own, at the nice
  // value of its own: each such job holds the store's write lock, which every
  // other writer waits for, so it must not wait for the cores as slow pages
  // do.
  PoolLimits write_work{.threads = 0};
};

// Work for a worker thread: gives the response to the request.
using Work = std::function<Response(const Request& request)>;

// What the handler makes of a request: the response at once, work for a
// worker thread charged to `client` (whose share is limited), or light work
// run at once on the I/O thread (`light`: bounded, never waiting for a lock)
// or on the light pool when there is one; work that `writes` goes to the
// write pool when there is one.
struct Reply {
  // A response made at once converts to a reply, so that a handler may
  // return either.
  Reply(Response res) : response(std::move(res)) {}
  Reply(std::string client_key, Work page_work)
      : client(std::move(client_key)), work(std::move(page_work)) {}
  Reply() = default;

  std::optional<Response> response;
  std::string client;
  Work work;
  bool light = false;
  bool writes = false;
  // For work that is not light: the answer it may give at once where light
  // work runs on the I/O thread (a page already kept), or nullopt when the
  // work must run.
  using AtOnce = std::function<std::optional<Response>(const Request& request)>;
  AtOnce at_once;
  // For work that is not light, where light work runs on a pool (a store
  // across the network): registers `answer`, to be called from any thread
  // with an answer at once to try (as at_once) once the store's next
  // version read, made by other requests' work, has ended; false when it
  // cannot wait. It is called before the work is queued, which is queued all
  // the same, and whichever comes first answers.
  std::function<bool(std::function<void(AtOnce)> answer)> after_next_read;
};

// Looks at one request on an I/O thread; `peer` is the address the
// connection comes from. It must be quick: slow work goes into the reply.
using Handler =
    std::function<Reply(Request& request, const boost::asio::ip::address& peer)>;

class Connection;

class HttpServer {
 public:
  // `log` takes the errors, `access_log` the line of each request (by
  // default `log` too).
  HttpServer(boost::asio::io_context& ioc, Handler handler, LogSink log,
             Limits limits = {}, LogSink access_log = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds, listens and starts accepting. Throws boost::system::system_error.
  void Listen(const boost::asio::ip::tcp::endpoint& endpoint);
  // The bound address (with the real port when port 0 was asked for).
  boost::asio::ip::tcp::endpoint local_endpoint() const;

  // Stops accepting; each connection finishes the request it has begun
  // (queued work runs too) and closes, idle ones at once. Safe from any
  // thread. Work still queued when the server is destroyed is dropped.
  void Stop();

  // Open connections (for tests).
  std::size_t connection_count() const;

 private:
  friend class Connection;
  // What the connections share with the server; they may outlive it while
  // the io_context drops their handlers.
  struct Shared;

  void Accept();

  boost::asio::io_context& ioc_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer retry_timer_;
  std::shared_ptr<Shared> shared_;
  // Last, so that they end first: no work runs once the rest is gone.
  WorkerPool pool_;
  std::optional<WorkerPool> light_pool_, write_pool_;
};

}  // namespace tb::server::http
