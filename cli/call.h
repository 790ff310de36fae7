// File: call.h — the scripting host: runs one public member of the component
// against a page context given as JSON, and prints the outcome as JSON.
#pragma once

#include <iosfwd>

namespace tb::cli {

// Reads the request from `in`, writes the outcome to `out` and a complaint
// about bad input to `err`. Returns the exit status: 0 when the call ran
// (also when it raised an error), 2 for bad input.
int RunCall(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tb::cli
