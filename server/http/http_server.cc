#include "server/http/http_server.h"

#include <array>
#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "host/ascii.h"
#include "server/http/client_network.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using beast::error_code;

// After an error answer the client may still be sending; its bytes are read
// and dropped for a moment so that the answer is not lost to a reset.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 4 * 1024 * 1024;
// What a connection's read buffer holds beyond a whole head: the body's data
// goes on to the request as it comes, so only a chunk's size line, its
// extension or a trailer could fill it, and they are refused past this.
constexpr std::size_t kBufferBeyondHead = 64 * 1024;
// How long the light pool must have had no work before a request that
// waits for a worker may be answered at once after a version read.
constexpr auto kLightPagesGone = std::chrono::milliseconds(20);

// A response's status line and fields as they go out, ending with the blank
// line: what Beast's serializer writes for a response whose length is set,
// built in one piece so that the response goes out as two buffers.
std::string Head(const Response& res) {
  std::string head;
  head.reserve(512);
  head += res.version() == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
  head += std::to_string(res.result_int());
  head += ' ';
  head += res.reason();
  head += "\r\n";
  for (const auto& field : res) {
    head += field.name_string();
    head += ": ";
    head += field.value();
    head += "\r\n";
  }
  head += "\r\n";
  return head;
}

bool IsHttpError(const error_code& ec) {
  return ec.category() == bhttp::make_error_code(bhttp::error::bad_method).category();
}

// What a connection does once its response is written.
enum class After { kNextRequest, kClose, kLinger };

// The status logged for work dropped because its client went away first
// (as nginx logs it); nothing is sent.
constexpr int kClientGone = 499;

}  // namespace

struct HttpServer::Shared {
  Handler handler;
  LogSink log, access_log;
  Limits limits;
  WorkerPool* pool = nullptr;
  WorkerPool* light_pool = nullptr;  // none: light work runs on the I/O thread
  WorkerPool* write_pool = nullptr;  // none: writing work runs on `pool`
  std::mutex mutex;
  std::atomic<bool> stopping = false;
  std::unordered_map<const void*, std::weak_ptr<Connection>> connections;
  // Open connections by client (Client), of the counted peers.
  std::unordered_map<asio::ip::address, std::size_t> per_client;

  // The client `peer` is counted as (client_network.h); none for the
  // uncounted peer, however its address is written.
  std::optional<asio::ip::address> Client(const asio::ip::address& peer) const {
    if (limits.uncounted && SameAddress(peer, *limits.uncounted)) return std::nullopt;
    return ClientNetwork(peer);
  }
  // Counts a new connection from `peer`; false when its client has its
  // share. Under `mutex`.
  bool Admit(const asio::ip::address& peer) {
    const auto client = Client(peer);
    if (!client) return true;
    auto [it, added] = per_client.try_emplace(*client, 0);
    if (it->second >= limits.connections_per_client) {
      if (added) per_client.erase(it);
      return false;
    }
    ++it->second;
    return true;
  }
  // Under `mutex`.
  void Release(const asio::ip::address& peer) {
    const auto client = Client(peer);
    if (!client) return;
    auto it = per_client.find(*client);
    if (it != per_client.end() && --it->second == 0) per_client.erase(it);
  }
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  using Shared = HttpServer::Shared;

  // `peer` has been admitted (Shared::Admit).
  Connection(std::shared_ptr<Shared> shared, tcp::socket socket, asio::ip::address peer)
      : shared_(std::move(shared)),
        stream_(std::move(socket)),
        buffer_(shared_->limits.head + kBufferBeyondHead),
        peer_(std::move(peer)) {}

  ~Connection() {
    std::lock_guard lock(shared_->mutex);
    shared_->connections.erase(this);
    shared_->Release(peer_);
  }

  void Start() {
    asio::dispatch(stream_.get_executor(),
                   beast::bind_front_handler(&Connection::ReadHead, shared_from_this()));
  }

  // Closes the connection when it waits for a request; otherwise it closes
  // after the response to the request it has begun.
  void Stop() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] {
      self->stopping_ = true;
      if (self->reading_ && !self->parser_->got_some() && self->buffer_.size() == 0) {
        self->stream_.cancel();
      }
    });
  }

 private:
  const Limits& limits() const { return shared_->limits; }

  void ReadHead() {
    if (stopping_ && buffer_.size() == 0) return Close();
    parser_.emplace();
    parser_->header_limit(limits().head);
    parser_->body_limit(limits().body);
    method_ = "-";
    path_ = "-";
    stream_.expires_after(limits().read_timeout);
    reading_ = true;
    bhttp::async_read_header(
        stream_, buffer_, *parser_,
        beast::bind_front_handler(&Connection::OnHead, shared_from_this()));
  }

  void OnHead(error_code ec, std::size_t) {
    reading_ = false;
    if (ec) return OnReadError(ec);
    started_ = std::chrono::steady_clock::now();
    const Request& req = parser_->get();
    method_ = std::string(req.method_string());
    path_ = std::string(req.target().substr(0, req.target().find('?')));
    // A body that does not end with "chunked" has no length the parser
    // knows: its bytes would be taken for the next request.
    if (req.find(bhttp::field::transfer_encoding) != req.end() && !parser_->chunked()) {
      return Fail(Status::bad_request);
    }
    if (parser_->is_done()) return Handle();
    if (req.version() >= 11 &&
        host::EqualsIgnoreCase(req[bhttp::field::expect], "100-continue")) {
      auto cont = std::make_shared<bhttp::response<bhttp::empty_body>>(
          bhttp::status::continue_, req.version());
      stream_.expires_after(limits().read_timeout);
      bhttp::async_write(stream_, *cont,
                         [self = shared_from_this(), cont](error_code ec, std::size_t) {
                           if (ec) return self->Close();
                           self->ReadBody();
                         });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    stream_.expires_after(limits().read_timeout);
    reading_ = true;
    bhttp::async_read(stream_, buffer_, *parser_,
                      beast::bind_front_handler(&Connection::OnBody, shared_from_this()));
  }

  void OnBody(error_code ec, std::size_t) {
    reading_ = false;
    if (ec) return OnReadError(ec);
    Handle();
  }

  void OnReadError(const error_code& ec) {
    if (ec == bhttp::error::header_limit) {
      return Fail(Status::request_header_fields_too_large);
    }
    if (ec == bhttp::error::body_limit) return Fail(Status::payload_too_large);
    // A clean end, a client gone silent or away, a stop: nothing to answer.
    if (ec == bhttp::error::end_of_stream || ec == bhttp::error::partial_message ||
        !IsHttpError(ec)) {
      return Close();
    }
    Fail(Status::bad_request);
  }

  void Handle() {
    auto req = std::make_shared<Request>(parser_->release());
    Reply reply;
    try {
      reply = shared_->handler(*req, peer_);
    } catch (const std::exception& e) {
      reply = Failed(*req, e);
    }
    if (reply.response) return Answer(std::move(*reply.response));
    if (!shared_->light_pool) {
      if (reply.light) return Answer(Run(*req, reply.work));
      if (reply.at_once) {
        if (auto res = RunAtOnce(*req, reply.at_once)) return Answer(std::move(*res));
      }
    }
    WorkerPool& pool = reply.light                           ? *shared_->light_pool
                       : reply.writes && shared_->write_pool ? *shared_->write_pool
                                                             : *shared_->pool;
    // Where the request may also be answered at once after the store's next
    // version read: set by whichever answers it, its work or that answer,
    // which then takes the work back. Null where only the work answers.
    struct Taken {
      std::atomic<bool> taken = false;
      std::uint64_t ticket = 0;  // the work's in its pool
    };
    std::shared_ptr<Taken> taken;
    if (shared_->light_pool && reply.after_next_read) {
      taken = std::make_shared<Taken>();
      reply.after_next_read(
          [weak = weak_from_this(), req, taken, pool = &pool](Reply::AtOnce at_once) {
            if (auto self = weak.lock(); self && !taken->taken) {
              asio::post(self->stream_.get_executor(),
                         [self, req, taken, pool, at_once = std::move(at_once)] {
                           // Bounded pages at work, or just now, come first:
                           // the request waits for its worker then.
                           if (taken->taken || self->gone_ ||
                               !self->shared_->light_pool->IdleFor(kLightPagesGone))
                             return;
                           auto res = RunAtOnce(*req, at_once);
                           if (!res || taken->taken.exchange(true)) return;
                           pool->Withdraw(taken->ticket);
                           self->EndWaiting();
                           self->Answer(std::move(*res));
                         });
            }
          });
    }
    // The work holds the connection and keeps the io_context running until
    // its response is back on the connection's strand.
    auto job =
        [self = shared_from_this(), req, taken, work = std::move(reply.work),
         guard = asio::make_work_guard(stream_.get_executor())](WorkerPool::Share share) {
          if (taken && taken->taken.exchange(true)) return;
          self->RunWork(*req, work, std::move(share));
        };
    if (!pool.TrySubmit(std::move(reply.client), std::move(job),
                        taken ? &taken->ticket : nullptr)) {
      if (taken) taken->taken = true;
      return Answer(AsAsked(
          ErrorResponse(Status::service_unavailable, req->version(), req->keep_alive()),
          *req));
    }
    waiting_ = true;
    WatchClient();
  }

  Response Failed(const Request& req, const std::exception& e) {
    shared_->log(std::string("error: \"") + method_ + " " + std::string(req.target()) +
                 "\": " + e.what());
    return ErrorResponse(Status::internal_server_error, req.version(), false);
  }

  Response Run(const Request& req, const Work& work) {
    try {
      return work(req);
    } catch (const std::exception& e) {
      return Failed(req, e);
    }
  }

  // A failure of the answer at once leaves the request to its work.
  static std::optional<Response> RunAtOnce(const Request& req,
                                           const Reply::AtOnce& at_once) {
    try {
      return at_once(req);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  // On a worker thread.
  void RunWork(const Request& req, const Work& work, WorkerPool::Share share) {
    if (gone_) return Log(kClientGone, 0);
    Response res = Run(req, work);
    share.Release();
    asio::post(stream_.get_executor(),
               [self = shared_from_this(), res = std::move(res)]() mutable {
                 self->EndWaiting();
                 self->Answer(std::move(res));
               });
  }

  // The request's answer is here: the client is no longer watched.
  void EndWaiting() {
    waiting_ = false;
    error_code ignored;
    stream_.socket().cancel(ignored);  // the watch
  }

  // While its work waits, the connection watches its socket: a client that
  // closes it has gone, and its work is dropped when a worker takes it up.
  // Bytes of a next request end the watch; that client is still there.
  void WatchClient() {
    stream_.socket().async_wait(
        tcp::socket::wait_read, [self = shared_from_this()](error_code ec) {
          if (!self->waiting_ || ec == asio::error::operation_aborted) return;
          auto& socket = self->stream_.socket();
          char byte;
          if (!ec) socket.non_blocking(true, ec);
          if (!ec) socket.receive(asio::buffer(&byte, 1), tcp::socket::message_peek, ec);
          if (ec == asio::error::would_block) return self->WatchClient();
          if (!ec) return;
          self->gone_ = true;
          self->Close();
        });
  }

  void Answer(Response res) {
    // A stop may be on its way to this connection's strand: say so now.
    bool keep_alive = res.keep_alive() && !stopping_ && !shared_->stopping;
    res.keep_alive(keep_alive);
    Write(std::move(res), keep_alive ? After::kNextRequest : After::kClose);
  }

  // An error answer before the request could be read whole: the connection
  // closes after it.
  void Fail(Status status) {
    started_ = std::chrono::steady_clock::now();
    Write(ErrorResponse(status, 11, false), After::kLinger);
  }

  void Write(Response res, After after) {
    response_ = std::make_shared<Response>(std::move(res));
    head_ = Head(*response_);
    stream_.expires_after(limits().read_timeout);
    const std::array<asio::const_buffer, 2> buffers{asio::buffer(head_),
                                                    asio::buffer(response_->body())};
    asio::async_write(stream_, buffers,
                      [self = shared_from_this(), after](error_code ec, std::size_t) {
                        self->OnWrite(ec, after);
                      });
  }

  // The access log line of the request in hand.
  void Log(int status, std::size_t bytes) {
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - started_)
                      .count();
    shared_->access_log(peer_.to_string() + " " + method_ + " " + path_ + " " +
                        std::to_string(status) + " " + std::to_string(bytes) + " " +
                        std::to_string(micros) + "us");
  }

  void OnWrite(error_code ec, After after) {
    Log(response_->result_int(), response_->body().size());
    response_.reset();
    if (ec) return Close();
    switch (after) {
      case After::kNextRequest:
        return ReadHead();
      case After::kClose:
        return Close();
      case After::kLinger:
        return Linger();
    }
  }

  void Linger() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    buffer_.clear();
    stream_.expires_after(kLingerTime);
    Drain();
  }

  void Drain() {
    stream_.async_read_some(asio::buffer(drain_),
                            [self = shared_from_this()](error_code ec, std::size_t n) {
                              self->drained_ += n;
                              if (ec || self->drained_ > kLingerBytes) {
                                return self->Close();
                              }
                              self->Drain();
                            });
  }

  void Close() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  std::shared_ptr<Shared> shared_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  std::shared_ptr<Response> response_;
  std::string head_;  // of response_
  asio::ip::address peer_;
  bool reading_ = false;
  bool stopping_ = false;
  bool waiting_ = false;            // for its work's response
  std::atomic<bool> gone_ = false;  // the client left while the work waited
  std::chrono::steady_clock::time_point started_;
  std::string method_ = "-", path_ = "-";
  std::array<char, 4096> drain_;
  std::size_t drained_ = 0;
};

HttpServer::HttpServer(asio::io_context& ioc, Handler handler, LogSink log, Limits limits,
                       LogSink access_log)
    : ioc_(ioc),
      acceptor_(asio::make_strand(ioc)),
      retry_timer_(acceptor_.get_executor()),
      shared_(std::make_shared<Shared>()),
      pool_(limits.work) {
  shared_->handler = std::move(handler);
  shared_->access_log = access_log ? std::move(access_log) : log;
  shared_->log = std::move(log);
  shared_->limits = limits;
  shared_->pool = &pool_;
  if (limits.light_work.threads > 0)
    shared_->light_pool = &light_pool_.emplace(limits.light_work);
  if (limits.write_work.threads > 0)
    shared_->write_pool = &write_pool_.emplace(limits.write_work);
}

HttpServer::~HttpServer() = default;

void HttpServer::Listen(const tcp::endpoint& endpoint) {
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(asio::socket_base::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen(asio::socket_base::max_listen_connections);
  asio::dispatch(acceptor_.get_executor(), [this] { Accept(); });
}

tcp::endpoint HttpServer::local_endpoint() const { return acceptor_.local_endpoint(); }

void HttpServer::Accept() {
  acceptor_.async_accept(asio::make_strand(ioc_), [this, shared = shared_](
                                                      error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (ec) {
      // Out of descriptors or a similar passing trouble: try again soon
      // rather than spinning.
      shared->log("accept: " + ec.message());
      retry_timer_.expires_after(std::chrono::milliseconds(100));
      retry_timer_.async_wait([this](error_code wait_ec) {
        if (!wait_ec) Accept();
      });
      return;
    }
    error_code peer_ec;
    const asio::ip::address peer = socket.remote_endpoint(peer_ec).address();
    std::shared_ptr<Connection> c;
    {
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) return;
      if (!peer_ec && shared->Admit(peer)) {
        c = std::make_shared<Connection>(shared, std::move(socket), peer);
        shared->connections.emplace(c.get(), c);
      }
    }
    if (c) {
      c->Start();
    } else {
      error_code ignored;
      socket.close(ignored);  // one address holding too many, or gone already
    }
    Accept();
  });
}

void HttpServer::Stop() {
  std::vector<std::weak_ptr<Connection>> open;
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->stopping) return;
    shared_->stopping = true;
    for (const auto& [key, c] : shared_->connections) open.push_back(c);
  }
  asio::dispatch(acceptor_.get_executor(), [this] {
    error_code ignored;
    acceptor_.close(ignored);
    retry_timer_.cancel();
  });
  for (const auto& w : open) {
    if (auto c = w.lock()) c->Stop();
  }
}

std::size_t HttpServer::connection_count() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->connections.size();
}

}  // namespace tb::server::http
