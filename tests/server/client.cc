#include "tests/server/client.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "host/encoding.h"

namespace tb::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;

namespace {

asio::io_context& Context() {
  thread_local asio::io_context ioc;
  return ioc;
}

// Runs one asynchronous operation to its end; returns its error.
template <typename Start>
beast::error_code RunOne(Start start) {
  beast::error_code result;
  Context().restart();
  start([&result](beast::error_code ec, std::size_t = 0) { result = ec; });
  Context().run();
  return result;
}

}  // namespace

Client::Client(unsigned short port) : stream_(Context()) {
  stream_.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
}

Response Client::Send(Request req) {
  if (req.find(bhttp::field::host) == req.end()) req.set(bhttp::field::host, "127.0.0.1");
  req.prepare_payload();
  stream_.expires_after(std::chrono::seconds(20));
  auto ec = RunOne([&](auto handler) { bhttp::async_write(stream_, req, handler); });
  if (ec) throw beast::system_error(ec);
  auto res = Read();
  if (!res) throw std::runtime_error("no response");
  return *res;
}

std::optional<Response> Client::SendRaw(std::string_view bytes, bool read) {
  stream_.expires_after(std::chrono::seconds(20));
  auto ec = RunOne([&](auto handler) {
    asio::async_write(stream_, asio::buffer(bytes.data(), bytes.size()), handler);
  });
  // The server may answer and close before it has read everything sent.
  if (ec && ec != asio::error::connection_reset && ec != asio::error::broken_pipe)
    throw beast::system_error(ec);
  if (!read) return std::nullopt;
  return Read();
}

std::optional<Response> Client::Read() {
  stream_.expires_after(std::chrono::seconds(20));
  bhttp::response_parser<bhttp::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  auto ec =
      RunOne([&](auto handler) { bhttp::async_read(stream_, buffer_, parser, handler); });
  if (ec) return std::nullopt;
  return parser.release();
}

bool Client::ClosedWithin(std::chrono::milliseconds time) {
  stream_.expires_after(time);
  char byte;
  auto ec = RunOne(
      [&](auto handler) { stream_.async_read_some(asio::buffer(&byte, 1), handler); });
  return ec == asio::error::eof || ec == asio::error::connection_reset;
}

std::string ResponseText(const Response& res) {
  std::string out = std::to_string(res.result_int()) +
                    (res.keep_alive() ? " keep-alive\n" : " close\n");
  for (const auto& field : res)
    out += std::string(field.name_string()) + ": " + std::string(field.value()) + "\n";
  out += "\n";
  // The style sheet's version changes with its every edit.
  static const std::regex kVersion("\\?v=[0-9a-f]{8}");
  if (res[bhttp::field::content_type].starts_with("text/"))
    return out +
           std::regex_replace(host::FromGb18030(res.body()), kVersion, "?v=(hash)") +
           "\n";
  for (unsigned char c : res.body()) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7f && c != '\\' ? std::string(1, char(c)) : hex;
  }
  return out + "\n";
}

ServeProcess::ServeProcess(std::vector<std::string> args) {
  char err_template[] = "/tmp/tavobook-serve-err-XXXXXX";
  const int err_fd = mkstemp(err_template);
  int out_pipe[2];
  if (err_fd < 0 || pipe(out_pipe) != 0) throw std::runtime_error("mkstemp or pipe");
  err_path_ = err_template;
  std::string binary = std::string(TB_BINARY_DIR) + "/tavobook";
  args.insert(args.begin(), {binary, "serve"});
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_fd);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_fd);
  out_ = out_pipe[0];
  // Read stdout up to the first line break, waiting at most 200 times 0.1 s.
  char buf[256];
  ssize_t n = 1;
  for (int wait = 0; wait < 200 && n > 0 && pending_.find('\n') == std::string::npos;
       ++wait) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) > 0 && (n = read(out_, buf, sizeof buf)) > 0)
      pending_.append(buf, static_cast<std::size_t>(n));
  }
  std::size_t eol = pending_.find('\n');
  if (eol == std::string::npos) return;
  listening_ = pending_.substr(0, eol);
  pending_.erase(0, eol + 1);
  std::smatch m;
  static const std::regex kLine("listening on http://127\\.0\\.0\\.1:([0-9]+)/");
  if (std::regex_match(listening_, m, kLine))
    port_ = static_cast<unsigned short>(std::stoi(m[1]));
}

ServeProcess::~ServeProcess() {
  if (pid_ > 0) Stop(SIGKILL);
  if (out_ >= 0) close(out_);
  std::error_code ec;
  std::filesystem::remove(err_path_, ec);
}

int ServeProcess::Stop(int signal) {
  if (pid_ > 0) kill(pid_, signal);
  return Wait();
}

int ServeProcess::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ServeProcess::Stderr() const {
  std::ifstream in(err_path_);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string ServeProcess::RestOfStdout() {
  char buf[256];
  ssize_t n;
  while ((n = read(out_, buf, sizeof buf)) > 0)
    pending_.append(buf, static_cast<std::size_t>(n));
  return pending_;
}

}  // namespace tb::testing
