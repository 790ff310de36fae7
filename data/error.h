// File: error.h — the one error type of the data layer: a store that will not
// open, SQL the engine refuses, a column that does not exist, a recordset used
// out of order. It carries the engine's own message.
#pragma once

#include <stdexcept>
#include <string>

namespace tb::data {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, int code = 0)
      : std::runtime_error(message), code_(code) {}
  // The engine's result code, 0 when the error is the data layer's own.
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace tb::data
