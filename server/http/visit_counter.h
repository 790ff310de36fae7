// File: visit_counter.h — the HTTP host's visit counts: gathered in memory and
// written a moment later, many in one transaction, so that a visit to a
// guestbook costs no write of its own.
//
// A thread writes what has gathered at most once every interval (200 ms in
// serve): per store, one transaction with one AddVisits per guestbook. Counts
// that cannot be written (the store locked or out of reach) stay for the next
// time. Stop() writes what is left, so a clean stop loses no count; a crash
// loses at most the counts of the last interval.
//
// Example:
//   VisitCounter counter(pool, std::chrono::milliseconds(200), LogToStderr);
//   counter.Start();
//   counter.Add("sqlite:data/tavobook.db", "abc");  // from any thread
//   counter.Stop();  // "abc" has its count
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "data/engine.h"
#include "server/http/log.h"

namespace tb::server::http {

class VisitCounter {
 public:
  VisitCounter(data::EngineSource& databases, std::chrono::milliseconds interval,
               LogSink log);
  // Stops, writing what is left.
  ~VisitCounter() { Stop(); }
  VisitCounter(const VisitCounter&) = delete;
  VisitCounter& operator=(const VisitCounter&) = delete;

  // Counts one visit to the guestbook `name` in the store `dsn`.
  void Add(std::string_view dsn, std::string_view name);

  // Writes every count gathered so far, now.
  void Flush();

  // Starts the thread that writes the counts every interval.
  void Start();
  // Ends that thread and writes what is left; counts that still cannot be
  // written are logged as lost.
  void Stop();

 private:
  // Visits by guestbook name, by store.
  using Counts = std::map<std::string, std::map<std::string, std::int64_t>, std::less<>>;

  void Run();

  data::EngineSource& databases_;
  const std::chrono::milliseconds interval_;
  LogSink log_;
  std::mutex flush_mutex_;  // one writer at a time
  bool failing_ = false;    // the last write failed (logged once)
  std::mutex mutex_;
  std::condition_variable wake_;
  Counts pending_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tb::server::http
