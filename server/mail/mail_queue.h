// File: mail_queue.h — the site's outbox: a bounded queue of mails and one
// thread that sends them, trying again with growing pauses.
//
// A page's Send only queues the mail. The thread sends each through the
// transport; a failure is logged and tried again after `first_retry`, then
// twice as long each time, until `attempts` tries have failed and the mail
// is given up (logged). A full queue drops its oldest mail (logged). Every
// mail sent is logged with its recipient. When the queue is destroyed, each
// mail still in it gets one last try at once.
//
// Example:
//   SmtpSender smtp(settings);
//   MailQueue queue([&](const Mail& m) { return smtp.Send(m); }, LogToStderr);
//   queue.Send({"abc@x.example", "新留言", "……"});
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "server/http/log.h"
#include "server/mail/outbox.h"

namespace tb::server::mail {

struct QueueOptions {
  std::size_t capacity = 1000;
  int attempts = 5;
  // The pause after the first failed try; each later pause is twice the last
  // (30 s, 1, 2 and 4 minutes: the five tries span about eight minutes).
  std::chrono::milliseconds first_retry = std::chrono::seconds(30);
};

class MailQueue final : public Outbox {
 public:
  // Sends one mail: nullopt when it went, else what went wrong.
  using Transport = std::function<std::optional<std::string>(const Mail&)>;

  MailQueue(Transport transport, http::LogSink log, QueueOptions options = {});
  ~MailQueue() override;
  MailQueue(const MailQueue&) = delete;
  MailQueue& operator=(const MailQueue&) = delete;

  void Send(Mail mail) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    Mail mail;
    int tries = 0;
    Clock::time_point due;
  };
  void Run();
  // Sends `entry` once; returns it when it is to be tried again.
  std::optional<Entry> Try(Entry entry, bool last_chance);

  Transport transport_;
  http::LogSink log_;
  QueueOptions options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Entry> entries_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace tb::server::mail
