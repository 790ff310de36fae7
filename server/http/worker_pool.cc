#include "server/http/worker_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace tb::server::http {

WorkerPool::WorkerPool(PoolLimits limits) : limits_(limits) {
  const int n = std::max(1, limits_.threads);
  threads_.reserve(n);
  for (int i = 0; i < n; ++i) threads_.emplace_back([this] { Work(); });
}

void WorkerPool::Share::Release() {
  if (!pool_) return;
  std::lock_guard lock(pool_->mutex_);
  pool_->Unhold(client_);
  pool_ = nullptr;
}

void WorkerPool::Unhold(const std::string& client) {
  auto held = held_.find(client);
  if (--held->second == 0) held_.erase(held);
  last_held_ = std::chrono::steady_clock::now();
}

bool WorkerPool::TrySubmit(std::string client, std::function<void(Share)> job,
                           std::uint64_t* ticket) {
  {
    std::lock_guard lock(mutex_);
    auto held = held_.find(client);
    if (stopping_ || queue_.size() >= limits_.queue ||
        (held != held_.end() && held->second >= limits_.per_client)) {
      return false;
    }
    ++held_[client];
    queue_.push_back({std::move(client), std::move(job), ++tickets_});
    if (ticket) *ticket = tickets_;
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::Withdraw(std::uint64_t ticket) {
  std::function<void(Share)> withdrawn;  // dies outside the lock
  std::lock_guard lock(mutex_);
  auto job = std::find_if(queue_.begin(), queue_.end(),
                          [&](const Job& j) { return j.ticket == ticket; });
  if (job == queue_.end()) return;
  withdrawn = std::move(job->run);
  Unhold(job->client);
  queue_.erase(job);
}

bool WorkerPool::IdleFor(std::chrono::steady_clock::duration d) {
  std::lock_guard lock(mutex_);
  return held_.empty() && std::chrono::steady_clock::now() - last_held_ >= d;
}

void WorkerPool::Stop() {
  std::deque<Job> dropped;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    dropped.swap(queue_);
  }
  ready_.notify_all();
  for (std::thread& t : threads_) t.join();
  // The dropped jobs die here, outside the lock and after the threads: what
  // they hold may lead back to this pool.
}

void WorkerPool::Work() {
  // Lowering a thread's own priority needs no privilege; where it fails the
  // thread simply keeps the process's.
  if (limits_.nice != 0) {
    const auto self = static_cast<id_t>(gettid());
    setpriority(PRIO_PROCESS, self,
                std::min(getpriority(PRIO_PROCESS, self) + limits_.nice, 19));
  }
  std::unique_lock lock(mutex_);
  while (true) {
    ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    job.run(Share(this, std::move(job.client)));
    job.run = nullptr;  // what it holds goes now, not when the next job comes
    lock.lock();
  }
}

}  // namespace tb::server::http
