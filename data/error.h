// File: error.h — the errors of the data layer: a store that will not open,
// SQL the engine refuses, a column that does not exist, a recordset used out
// of order (Error), and a statement stopped for taking too long (Timeout).
// Both carry the engine's own message.
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

// A statement ran, or waited for the store's lock, past the query time
// limit and was stopped. The engine has undone what the statement began, and
// a Transaction around it rolls back, so nothing is left half-written. The
// store is busy rather than broken: the same request may succeed later.
// Example: catch (const data::Timeout&) { answer "busy, try again later"; }
class Timeout : public Error {
 public:
  using Error::Error;
};

}  // namespace tb::data
