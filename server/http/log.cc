#include "server/http/log.h"

#include <unistd.h>

namespace tb::server::http {

void WriteToStderr(std::string_view text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void LogToStderr(std::string_view line) {
  std::string whole(line);
  whole += '\n';
  WriteToStderr(whole);
}

void LogBatch::Append(std::string_view line, bool now) {
  std::lock_guard lock(mutex_);
  (lines_ += line) += '\n';
  if (now || lines_.size() >= kBatchBytes) WriteOut();
}

void LogBatch::Flush() {
  std::lock_guard lock(mutex_);
  if (!lines_.empty()) WriteOut();
}

void LogBatch::WriteOut() {
  write_(lines_);
  lines_.clear();
}

}  // namespace tb::server::http
