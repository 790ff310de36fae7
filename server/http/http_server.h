// File: http_server.h — the HTTP/1.1 listener: asynchronous connections with
// keep-alive on a pool of threads, limits on what a client may send, and a
// graceful stop.
//
// Connections wait for requests without holding a thread; a request runs on
// one of the io_context's threads, one request of a connection at a time.
// A client gets 431 for a request head over the head limit, 413 for a body
// over the body limit, 400 for a malformed request; a connection silent for
// the read timeout is closed. Every answered request is logged as one line:
// client, method, path, status, body bytes, microseconds.
//
// Example:
//   boost::asio::io_context ioc;
//   HttpServer server(ioc, [](Request& req, const address&) { ... }, LogToStderr);
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

#include "server/http/log.h"
#include "server/http/message.h"

namespace tb::server::http {

struct Limits {
  std::uint32_t head = 16 * 1024;  // request line and header fields
  std::uint64_t body = 1024 * 1024;
  std::chrono::steady_clock::duration read_timeout = std::chrono::seconds(30);
};

// Answers one request; `peer` is the address the connection comes from.
using Handler =
    std::function<Response(Request& request, const boost::asio::ip::address& peer)>;

class Connection;

class HttpServer {
 public:
  HttpServer(boost::asio::io_context& ioc, Handler handler, LogSink log,
             Limits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds, listens and starts accepting. Throws boost::system::system_error.
  void Listen(const boost::asio::ip::tcp::endpoint& endpoint);
  // The bound address (with the real port when port 0 was asked for).
  boost::asio::ip::tcp::endpoint local_endpoint() const;

  // Stops accepting; each connection finishes the request it has begun and
  // closes, idle ones at once. Safe from any thread.
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
};

}  // namespace tb::server::http
