#include "server/http/visit_counter.h"

#include "data/connection.h"
#include "data/schema.h"

namespace tb::server::http {

VisitCounter::VisitCounter(data::EngineSource& databases,
                           std::chrono::milliseconds interval, LogSink log)
    : databases_(databases), interval_(interval), log_(std::move(log)) {}

void VisitCounter::Add(std::string_view dsn, std::string_view name) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = pending_.empty();
    auto store = pending_.find(dsn);
    if (store == pending_.end())
      store = pending_.emplace(dsn, Counts::mapped_type()).first;
    ++store->second[std::string(name)];
  }
  if (first) wake_.notify_one();
}

void VisitCounter::Flush() {
  std::lock_guard flushing(flush_mutex_);
  Counts counts;
  {
    std::lock_guard lock(mutex_);
    counts.swap(pending_);
  }
  for (auto& [dsn, books] : counts) {
    try {
      data::Connection conn(databases_);
      conn.Open(dsn);
      data::Transaction tx(conn);
      for (const auto& [name, visits] : books)
        data::AddVisits(*conn.engine(), name, visits);
      tx.Commit();
      failing_ = false;
    } catch (const std::exception& e) {
      if (!failing_) log_("visit counts kept for later: " + std::string(e.what()));
      failing_ = true;
      // Back with the counts that gathered meanwhile, for the next write.
      std::lock_guard lock(mutex_);
      auto& pending = pending_[dsn];
      for (const auto& [name, visits] : books) pending[name] += visits;
    }
  }
}

void VisitCounter::Start() {
  std::lock_guard lock(mutex_);
  if (!thread_.joinable() && !stopping_) thread_ = std::thread([this] { Run(); });
}

void VisitCounter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  Flush();
  std::lock_guard lock(mutex_);
  for (const auto& [dsn, books] : pending_) {
    for (const auto& [name, visits] : books) {
      log_("visit counts lost: " + std::to_string(visits) + " of " + name);
    }
  }
  pending_.clear();
}

void VisitCounter::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    // Let the visits of the interval gather before writing them together.
    if (wake_.wait_for(lock, interval_, [this] { return stopping_; })) return;
    lock.unlock();
    Flush();
    lock.lock();
  }
}

}  // namespace tb::server::http
