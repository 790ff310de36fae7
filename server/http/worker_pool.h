// File: worker_pool.h — a fixed number of threads that run the site's page
// work, so that a slow page never holds a thread that serves connections.
//
// The queue is bounded, and so are the jobs of one client, queued or running:
// a request beyond either is refused at once (the listener answers 503)
// rather than waiting behind everyone else's.
//
// Example:
//   WorkerPool pool({.threads = 4, .queue = 64, .per_client = 8});
//   bool queued = pool.TrySubmit("10.1.2.3", [](WorkerPool::Share share) {
//     auto res = RunPage();
//     share.Release();  // before the client can see the answer
//     Send(res);
//   });
//   if (!queued) AnswerBusy();
//   pool.Stop();  // waits for the running jobs, drops the queued ones
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tb::server::http {

struct PoolLimits {
  int threads = 2;
  std::size_t queue = 32;      // jobs waiting for a thread
  std::size_t per_client = 8;  // jobs of one client, queued or running
  // Added to the threads' nice value: with a positive one, when the cores
  // are all busy, the threads that serve files and bounded pages get them
  // first, and the work of slow pages waits (Linux schedules each thread by
  // its own nice value).
  int nice = 0;
};

class WorkerPool {
 public:
  // A job's place among its client's share, given back by Release() or when
  // destroyed. A job that answers its client releases it first, so that the
  // client's next request never finds this one still counted.
  class Share {
   public:
    Share(Share&& other) noexcept
        : pool_(std::exchange(other.pool_, nullptr)), client_(std::move(other.client_)) {}
    Share& operator=(Share&&) = delete;
    ~Share() { Release(); }
    void Release();

   private:
    friend class WorkerPool;
    Share(WorkerPool* pool, std::string client)
        : pool_(pool), client_(std::move(client)) {}
    WorkerPool* pool_;
    std::string client_;
  };

  explicit WorkerPool(PoolLimits limits);
  ~WorkerPool() { Stop(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues `job`, charged to `client` until it releases its Share (at the
  // latest when it returns). False, with nothing queued, when the queue is
  // full, the client already holds its share, or the pool has stopped. A job
  // must not throw.
  // With `ticket`, sets it to a number that Withdraw takes.
  bool TrySubmit(std::string client, std::function<void(Share)> job,
                 std::uint64_t* ticket = nullptr);
  // Takes the job of `ticket` back, with its client's share, when it is still
  // queued: a request answered otherwise leaves no place taken.
  void Withdraw(std::uint64_t ticket);

  // Whether no job has been queued or running (holding its share) for `d`.
  bool IdleFor(std::chrono::steady_clock::duration d);

  // Lets the running jobs finish and ends the threads; queued jobs are
  // destroyed without running. Safe to call twice.
  void Stop();

 private:
  struct Job {
    std::string client;
    std::function<void(Share)> run;
    std::uint64_t ticket = 0;
  };

  void Work();
  // Gives a job's place in its client's share back; under the lock.
  void Unhold(const std::string& client);

  const PoolLimits limits_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> queue_;
  std::map<std::string, std::size_t, std::less<>> held_;  // by client
  std::chrono::steady_clock::time_point last_held_;       // when one was last
  std::uint64_t tickets_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tb::server::http
