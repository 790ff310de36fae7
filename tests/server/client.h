// File: client.h — what the server tests share: a blocking HTTP client over
// one TCP connection, responses as text, and the built `tavobook serve` run
// as a child process.
#pragma once

#include <sys/types.h>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "data/engine.h"
#include "server/http/message.h"

namespace tb::testing {

using server::http::Request;
using server::http::Response;

// One connection to 127.0.0.1:port. Every operation gives up after a time;
// clients of one thread share one io_context.
class Client {
 public:
  explicit Client(unsigned short port);

  // Sends the request as it stands (Host and Content-Length are added when
  // missing) and reads the response.
  Response Send(Request req);
  Response Get(std::string_view target) {
    return Send(Request{server::http::bhttp::verb::get, target, 11});
  }
  // Sends raw bytes; reads a response unless `read` is false.
  std::optional<Response> SendRaw(std::string_view bytes, bool read = true);
  // Reads one response (after SendRaw with read false).
  std::optional<Response> Read();
  // True when the server has closed the connection (reads end of stream
  // within the time given).
  bool ClosedWithin(std::chrono::milliseconds time);

 private:
  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
};

// A response as text: the status and whether it keeps the connection, each
// header field, a blank line and the body (text decoded from GB18030, other
// bytes than printable ASCII written \xHH, the style sheet's version
// hidden).
std::string ResponseText(const Response& res);

// `tavobook serve` with the arguments given, its stdout read up to the
// "listening on" line, its stderr kept in a file.
class ServeProcess {
 public:
  explicit ServeProcess(std::vector<std::string> args);
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // The "listening on" line without its line break; empty when the server
  // ended without one.
  const std::string& listening() const { return listening_; }
  unsigned short port() const { return port_; }
  // Sends the signal and waits; returns the exit status (-1 when killed by a
  // signal).
  int Stop(int signal);
  // Waits for the process to end by itself; returns the exit status.
  int Wait();
  // All the process wrote to stderr so far.
  std::string Stderr() const;
  // Everything on stdout after the listening line, once the process ended.
  std::string RestOfStdout();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::filesystem::path err_path_;
  std::string listening_;
  std::string pending_;
  unsigned short port_ = 0;
};

}  // namespace tb::testing
