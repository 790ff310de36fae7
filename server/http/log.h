// File: log.h — where the host's log lines go: one line per request and one
// per error, each written whole so lines of several threads never mix.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tb::server::http {

using LogSink = std::function<void(std::string_view line)>;

// Writes the text to stderr, in as few writes as it takes.
void WriteToStderr(std::string_view text);

// Writes the line and a line break to stderr in one write.
void LogToStderr(std::string_view line);

// Lines gathered and written together, so that a request costs no write of
// its own: a system call per request costs a small page a tenth of its speed.
// The lines go out once kBatchBytes have gathered, on Flush (which `serve`
// calls every 200 ms), before a line that must go out at once (Now) and at
// the end; a crash loses what has gathered since.
class LogBatch {
 public:
  static constexpr std::size_t kBatchBytes = 32 * 1024;

  // `write` takes the gathered lines, each with its line break.
  explicit LogBatch(std::function<void(std::string_view)> write = WriteToStderr)
      : write_(std::move(write)) {}
  ~LogBatch() { Flush(); }
  LogBatch(const LogBatch&) = delete;
  LogBatch& operator=(const LogBatch&) = delete;

  void Add(std::string_view line) { Append(line, false); }
  // Writes the gathered lines and this one.
  void Now(std::string_view line) { Append(line, true); }
  void Flush();

 private:
  void Append(std::string_view line, bool now);
  void WriteOut();  // with mutex_ held

  std::function<void(std::string_view)> write_;
  std::mutex mutex_;  // also keeps the writes of two threads in order
  std::string lines_;
};

}  // namespace tb::server::http
