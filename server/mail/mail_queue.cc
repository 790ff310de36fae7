#include "server/mail/mail_queue.h"

#include <algorithm>

#include "server/mail/message.h"

namespace tb::server::mail {

MailQueue::MailQueue(Transport transport, http::LogSink log, QueueOptions options)
    : transport_(std::move(transport)),
      log_(std::move(log)),
      options_(options),
      thread_([this] { Run(); }) {}

MailQueue::~MailQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void MailQueue::Send(Mail mail) {
  {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= options_.capacity) {
      log_("mail: the queue is full: dropped the mail to " +
           HeaderText(entries_.front().mail.to));
      entries_.pop_front();
    }
    entries_.push_back({std::move(mail), 0, Clock::now()});
  }
  wake_.notify_all();
}

void MailQueue::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (stopping_) break;
    auto due =
        std::min_element(entries_.begin(), entries_.end(),
                         [](const Entry& a, const Entry& b) { return a.due < b.due; });
    if (due == entries_.end()) {
      wake_.wait(lock);
      continue;
    }
    if (due->due > Clock::now()) {
      wake_.wait_until(lock, due->due);
      continue;
    }
    Entry entry = std::move(*due);
    entries_.erase(due);
    lock.unlock();
    std::optional<Entry> again = Try(std::move(entry), false);
    lock.lock();
    if (again) entries_.push_back(std::move(*again));
  }
  // Stopping: one last try for each mail still here, oldest first.
  std::deque<Entry> left = std::move(entries_);
  lock.unlock();
  for (Entry& entry : left) Try(std::move(entry), true);
}

std::optional<MailQueue::Entry> MailQueue::Try(Entry entry, bool last_chance) {
  ++entry.tries;
  const std::optional<std::string> error = transport_(entry.mail);
  const std::string tries = std::to_string(entry.tries);
  const std::string to = HeaderText(entry.mail.to);
  if (!error) {
    log_("mail: sent to " + to + " (try " + tries + ")");
    return std::nullopt;
  }
  if (last_chance || entry.tries >= options_.attempts) {
    log_("mail: gave up on the mail to " + to + " after " + tries +
         (entry.tries == 1 ? " try: " : " tries: ") + *error);
    return std::nullopt;
  }
  const auto pause = options_.first_retry * (1 << std::min(entry.tries - 1, 20));
  log_("mail: try " + tries + " to " + to + " failed: " + HeaderText(*error) +
       "; trying again in " + std::to_string(pause.count()) + " ms");
  entry.due = Clock::now() + pause;
  return entry;
}

}  // namespace tb::server::mail
