#include "server/http/log.h"

#include <unistd.h>

#include <string>

namespace tb::server::http {

void LogToStderr(std::string_view line) {
  std::string whole(line);
  whole += '\n';
  const char* p = whole.data();
  std::size_t left = whole.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace tb::server::http
