// File: error.h — the errors of the data layer: a store that will not open,
// SQL the engine refuses, a column that does not exist, a recordset used out
// of order (Error); a store that cannot take a write now (Unavailable: read
// only, disk full, an I/O error, locked), and a statement stopped for taking
// too long (Timeout, one kind of Unavailable). All carry the engine's own
// message.
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

// The store could not carry out a statement for a passing reason of its
// own (it is read only, its disk is full, an I/O error, another holds its
// lock). The engine has undone what the statement began, and a Transaction
// around it rolls back, so nothing is left half-written; reads may still
// work, and the same request may succeed later.
class Unavailable : public Error {
 public:
  using Error::Error;
};

// A statement ran, or waited for the store's lock, past the query time
// limit and was stopped. The engine has undone what the statement began, and
// a Transaction around it rolls back, so nothing is left half-written. The
// store is busy rather than broken: the same request may succeed later.
// Example: catch (const data::Timeout&) { answer "busy, try again later"; }
class Timeout : public Unavailable {
 public:
  using Unavailable::Unavailable;
};

}  // namespace tb::data
