// File: call.h — the scripting host: runs one public member of the component
// against a page context given as JSON, and prints the outcome as JSON.
#pragma once

#include <iosfwd>
#include <string>

namespace tb::cli {

// Reads the request from `in`, writes the outcome to `out` and a complaint
// about bad input to `err`. Returns the exit status: 0 when the call ran
// (also when it raised an error), 2 for bad input.
// Without DSNtemp among the input's properties the call uses the store that
// `tavobook serve` uses by default, creating its folder.
int RunCall(std::istream& in, std::ostream& out, std::ostream& err);

// What `tavobook call --help` shows below its usage: the input and output
// keys and every member of the component with its kind, one per line, taken
// from the dispatch table.
// Example: CallHelp() holds the line "  ShowBook          method".
std::string CallHelp();

}  // namespace tb::cli
