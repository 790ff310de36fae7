#include "server/serve.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "check/validate.h"
#include "data/connection.h"
#include "data/error.h"
#include "data/schema.h"
#include "data/store_pool.h"
#include "server/config.h"
#include "server/http/db_session_store.h"
#include "server/http/http_server.h"
#include "server/http/log.h"
#include "server/http/page_cache.h"
#include "server/http/session_store.h"
#include "server/http/visit_counter.h"
#include "server/limits/store_limit_counts.h"
#include "server/mail/mail_queue.h"
#include "server/mail/smtp.h"
#include "server/site.h"
#include "server/superuser.h"

namespace tb::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using http::LogToStderr;

// Page requests that may wait per worker thread before the site answers 503:
// enough to ride out a burst, few enough that the wait stays a few seconds.
constexpr std::size_t kQueuedPerWorker = 16;
// The page workers yield the cores to the I/O threads under full load, so
// that files and bounded pages stay quick beside a flood of slow pages.
constexpr int kWorkerNice = 19;
// Pages that write (every POST) run on threads of their own at the site's
// own priority: each holds the store's write lock while it writes, and the
// other writers wait for it, so it must not wait for the cores as slow
// pages do. Writes take turns at the lock, so two threads keep it busy.
constexpr int kWriters = 2;
// How often gathered visit counts are written; a crash loses at most these.
constexpr auto kVisitWriteInterval = std::chrono::milliseconds(200);
// How often the gathered access lines are written; a crash loses at most these.
constexpr auto kLogInterval = std::chrono::milliseconds(200);
// How often queued messages get their search words on MariaDB, and how many
// at a time: each batch holds its messages against changes for a moment,
// and in memory (a megabyte each at most, from the site's forms).
constexpr auto kIndexInterval = std::chrono::milliseconds(200);
constexpr std::size_t kIndexBatch = 64;
// The page cache: 32 MB holds a thousand guestbook pages of 30 kB; a page
// over 1 MB (a guestbook page of long messages) costs more memory than it
// saves time.
constexpr std::size_t kPageCacheBytes = 32 << 20;
constexpr std::size_t kPageCacheBytesPerPage = 1 << 20;

// Makes sure the superuser exists. When the store cannot be reached at
// start, it tries again before each page until it succeeds, so that the
// superuser exists before anyone can register.
class SuperuserCheck {
 public:
  SuperuserCheck(data::EngineSource& databases, std::string dsn, SuperuserDetails details)
      : databases_(databases), dsn_(std::move(dsn)), details_(std::move(details)) {}

  // Returns the store's complaint when it cannot be reached.
  std::optional<std::string> Run() {
    if (done_) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (done_) return std::nullopt;
    try {
      auto now = DateTime::FromTimePoint(std::chrono::system_clock::now());
      // With hashing on, passwords stored as typed before are hashed: all
      // of them at the first start with it on; later starts find none.
      if (const std::size_t hashed = HashStoredPasswords(databases_, dsn_, details_)) {
        LogToStderr("hashed the plain-text passwords of " + std::to_string(hashed) +
                    " guestbooks");
      }
      if (auto created = EnsureSuperuser(databases_, dsn_, details_, now)) {
        LogToStderr(created->generated
                        ? "created the superuser \"admin\" with the password " +
                              created->password
                        : std::string("created the superuser \"admin\" with the password "
                                      "given by --admin-password"));
      }
      done_ = true;
      return std::nullopt;
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
  }

 private:
  data::EngineSource& databases_;
  std::string dsn_;
  SuperuserDetails details_;
  std::mutex mutex_;
  std::atomic<bool> done_ = false;
};

// Without TZ, the C library checks /etc/localtime on every conversion of a
// local time (several per page, for cookie expiries and the clock); naming
// the same file once makes it read the zone once. Before any thread starts.
void NameTheLocalZone() {
  if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
}

// Lets the process hold as many connections as the system allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Every response is built in fresh buffers and freed once written. By default
// the allocator hands the freed top of its heap back to the system past
// 128 kB, so under load it shrinks and regrows the heap many times a second,
// and each regrown page faults in again (a fifth of a small page's cost). A
// few megabytes kept per heap end that at a bounded price.
void KeepFreedMemory() {
  constexpr int kKeptFree = 4 << 20;
  mallopt(M_TRIM_THRESHOLD, kKeptFree);
}

tcp::endpoint Resolve(asio::io_context& ioc, const std::string& host,
                      unsigned short port) {
  boost::system::error_code ec;
  auto address = asio::ip::make_address(host, ec);
  if (!ec) return {address, port};
  tcp::resolver resolver(ioc);
  auto results = resolver.resolve(host, std::to_string(port));
  return results.begin()->endpoint();
}

// Runs a task every interval on a thread of its own, so that slow work on
// the store never holds a thread that serves connections. A task that
// fails is logged once, and tried again next time.
class Chore {
 public:
  Chore(std::string name, std::chrono::milliseconds every, std::function<void()> task)
      : name_(std::move(name)), every_(every), task_(std::move(task)) {}
  void Start() {
    thread_ = std::jthread([this](std::stop_token stop) {
      std::unique_lock lock(mutex_);
      bool failing = false;
      while (!wake_.wait_for(lock, stop, every_, [] { return false; }) &&
             !stop.stop_requested()) {
        try {
          task_();
          failing = false;
        } catch (const std::exception& e) {
          if (!failing) LogToStderr(name_ + ": " + e.what());
          failing = true;
        }
      }
    });
  }
  void Stop() { thread_.request_stop(); }

 private:
  std::string name_;
  std::chrono::milliseconds every_;
  std::function<void()> task_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;  // last: joined before the rest goes
};

// The graceful stop: on SIGINT or SIGTERM stop accepting, let the open
// requests finish, and let the threads return once no connection is left.
// A second signal stops at once.
class Stopper {
 public:
  Stopper(asio::io_context& ioc, http::HttpServer& server, Chore& sweeper)
      : ioc_(ioc),
        signals_(ioc, SIGINT, SIGTERM),
        poll_(ioc),
        server_(server),
        sweeper_(sweeper) {}

  void Start() {
    signals_.async_wait([this](boost::system::error_code ec, int) {
      if (ec) return;
      LogToStderr("stopping: finishing the requests in hand");
      server_.Stop();
      sweeper_.Stop();
      signals_.async_wait([this](boost::system::error_code ec2, int) {
        if (!ec2) ioc_.stop();
      });
      Poll();
    });
  }

 private:
  void Poll() {
    if (server_.connection_count() == 0) {
      signals_.cancel();
      return;
    }
    poll_.expires_after(std::chrono::milliseconds(20));
    poll_.async_wait([this](boost::system::error_code ec) {
      if (!ec) Poll();
    });
  }

  asio::io_context& ioc_;
  asio::signal_set signals_;
  asio::steady_timer poll_;
  http::HttpServer& server_;
  Chore& sweeper_;
};

void RunLoop(asio::io_context& ioc) {
  while (true) {
    try {
      ioc.run();
      return;
    } catch (const std::exception& e) {
      LogToStderr(std::string("error: ") + e.what());
    }
  }
}

int Fail(const std::string& message, int status) {
  std::cerr << "tavobook serve: " << message << "\n";
  return status;
}

}  // namespace

std::optional<std::string> CreateStoreFolder(const std::string& db_path) {
  auto folder = std::filesystem::path(db_path).parent_path();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) return "cannot create " + folder.string() + ": " + ec.message();
  return std::nullopt;
}

int Serve(const ServeOptions& options) {
  ServeSettings settings;
  try {
    settings = LoadSettings(options);
  } catch (const ConfigError& e) {
    return Fail(e.what(), 2);
  }
  if (!settings.admin_password.empty()) {
    std::string checked = settings.admin_password;
    if (!check::CheckPassword(checked) || checked != settings.admin_password) {
      return Fail(
          "--admin-password: 4 to 15 characters, without blanks at the ends and "
          "without ' > \\",
          2);
    }
  }
  std::optional<asio::ip::address> trusted_proxy;
  if (!settings.trusted_proxy.empty()) {
    boost::system::error_code ec;
    trusted_proxy = asio::ip::make_address(settings.trusted_proxy, ec);
    if (ec) return Fail("trusted_proxy: not an address: " + settings.trusted_proxy, 2);
  }
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const std::string dsn = settings.properties.Get("DSNtemp").Text();
  // Pages mostly wait for the store, so twice as many workers as cores. On a
  // MariaDB store they wait for the network: eight per core, and as many
  // again for the bounded pages, which would otherwise wait on the threads
  // that serve connections.
  const bool remote = data::IsMariaDsn(dsn);
  const int threads = settings.threads > 0 ? settings.threads : cores;
  const int workers = settings.workers > 0 ? settings.workers : (remote ? 8 : 2) * cores;
  http::Limits limits;
  limits.connections_per_client = settings.max_connections_per_client;
  limits.uncounted = trusted_proxy;
  limits.work = {workers, kQueuedPerWorker * workers,
                 static_cast<std::size_t>(settings.max_requests_per_client), kWorkerNice};
  if (remote)
    limits.light_work = {workers, kQueuedPerWorker * workers, limits.work.per_client};
  limits.write_work = {kWriters, kQueuedPerWorker * workers, limits.work.per_client};

  std::signal(SIGPIPE, SIG_IGN);
  RaiseDescriptorLimit();
  KeepFreedMemory();
  NameTheLocalZone();
  if (!settings.db_path.empty()) {
    if (auto complaint = CreateStoreFolder(settings.db_path)) LogToStderr(*complaint);
  }

  asio::io_context ioc(threads);
  data::StorePool pool(settings.query_timeout);
  const http::SessionLimits session_limits{.max_sessions = settings.max_sessions};
  // With session_store = "database" every server on the store shares the
  // sessions and the counts per client address; else the site counts in
  // memory (no limits given to it).
  std::unique_ptr<http::SessionStore> sessions;
  std::optional<ClientLimits> shared_limits;
  if (settings.sessions_in_store) {
    sessions = std::make_unique<http::DatabaseSessionStore>(
        pool, dsn, settings.session_timeout, http::DatabaseSessionStore::Clock{},
        session_limits);
    shared_limits.emplace(settings.max_posts_per_minute,
                          std::make_unique<StoreLimitCounts>(pool, dsn));
  } else {
    sessions = std::make_unique<http::MemorySessionStore>(
        settings.session_timeout, http::MemorySessionStore::Clock{}, session_limits);
  }
  // The access lines are written in batches; every other line at once,
  // after the lines gathered before it. Destroyed last, writing the rest.
  http::LogBatch log_lines;
  const http::LogSink log = [&log_lines](std::string_view line) { log_lines.Now(line); };
  Chore log_writer("log", kLogInterval, [&log_lines] { log_lines.Flush(); });
  log_writer.Start();
  // Destroyed after the server and the site, so that it writes the counts of
  // every page that ran.
  http::VisitCounter visits(pool, kVisitWriteInterval, log);
  visits.Start();
  http::PageCache pages(kPageCacheBytes, kPageCacheBytesPerPage);
  // Destroyed after the site, so that the mail of every page that ran gets
  // its try.
  std::optional<mail::SmtpSender> smtp;
  std::optional<mail::MailQueue> outbox;
  if (settings.mail.enabled) {
    smtp.emplace(settings.mail);
    outbox.emplace([&smtp](const mail::Mail& m) { return smtp->Send(m); }, log);
  }
  std::optional<Site> site;
  http::HttpServer server(
      ioc,
      [&site](http::Request& req, const asio::ip::address& peer) {
        return site->Dispatch(req, peer);
      },
      log, limits, [&log_lines](std::string_view line) { log_lines.Add(line); });
  try {
    server.Listen(Resolve(ioc, settings.listen_host, settings.listen_port));
  } catch (const boost::system::system_error& e) {
    // The operator's next step, not Boost's source location: a taken port
    // is the usual reason, and `make run` passes the port on.
    if (e.code() == asio::error::address_in_use) {
      std::cerr << "port " << settings.listen_port
                << " is in use: choose another with PORT=... (make run) or --listen\n";
      return 1;
    }
    return Fail("cannot listen on " + settings.listen_host + ":" +
                    std::to_string(settings.listen_port) + ": " + e.code().message(),
                1);
  } catch (const std::exception& e) {
    return Fail("cannot listen on " + settings.listen_host + ":" +
                    std::to_string(settings.listen_port) + ": " + e.what(),
                1);
  }
  const std::string url = SiteUrl(settings.listen_host, server.local_endpoint().port());
  if (!settings.properties.WasSet("LybUrl"))
    settings.properties.Set("LybUrl", Value(url));

  SuperuserCheck superuser(
      pool, dsn,
      {settings.admin_password, settings.properties.Get("LybUrl").Text(),
       settings.properties.Get("AdminEmail").Text(), settings.hash_passwords});
  if (auto complaint = superuser.Run()) {
    log("the store cannot be reached now (" + *complaint +
        "); the superuser is checked again before each page");
  }
  site.emplace(
      SiteOptions{settings.properties, settings.ad_script_url, trusted_proxy, &pages,
                  settings.max_posts_per_minute, settings.hash_passwords,
                  outbox ? &*outbox : nullptr, shared_limits ? &*shared_limits : nullptr},
      pool, *sessions, visits, log);
  site->SetBeforePage([&superuser] { superuser.Run(); });

  // Forgets ended sessions, and counts per client address that no longer
  // count: a sweep of a large store takes a while.
  Chore sweeper("sweep",
                std::clamp<std::chrono::milliseconds>(settings.session_timeout / 4,
                                                      std::chrono::seconds(1),
                                                      std::chrono::seconds(60)),
                [&sessions, &shared_limits] {
                  sessions->Sweep();
                  if (shared_limits) shared_limits->Sweep();
                });
  sweeper.Start();
  // MariaDB's search index: the words of the messages queued since.
  Chore indexer("search index", kIndexInterval, [&pool, &dsn] {
    data::Connection conn(pool);
    conn.Open(dsn);
    data::IndexPendingGrams(conn, kIndexBatch);
  });
  if (remote) indexer.Start();
  Stopper stopper(ioc, server, sweeper);
  stopper.Start();

  std::cout << "listening on " << url << std::endl;
  std::vector<std::thread> io_threads;
  for (int i = 1; i < threads; ++i) io_threads.emplace_back([&ioc] { RunLoop(ioc); });
  RunLoop(ioc);
  for (auto& t : io_threads) t.join();
  log("stopped");
  return 0;
}

}  // namespace tb::server
