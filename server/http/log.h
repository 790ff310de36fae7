// File: log.h — where the host's log lines go: one line per request and one
// per error, each written whole so lines of several threads never mix.
#pragma once

#include <functional>
#include <string_view>

namespace tb::server::http {

using LogSink = std::function<void(std::string_view line)>;

// Writes the line and a line break to stderr in one write.
void LogToStderr(std::string_view line);

}  // namespace tb::server::http
