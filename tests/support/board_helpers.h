// File: board_helpers.h — transcripts for the guestbook page, message form
// and superuser suites: each case's outcome written as text, and the whole
// record compared with one golden file.
//
// Example:
//   std::string log;
//   for (const auto& c : cases) {
//     Request({{"name", c.name}});
//     book().ShowBook();
//     log += "## " + c.name + "\n" + Outcome(page());
//   }
//   ExpectGolden("ShowBook/refusals.txt", log);
#pragma once

#include <string>
#include <string_view>

#include "component/guestbook.h"
#include "data/engine.h"
#include "host/memory/memory_page.h"

namespace tb::testing {

// A value as a transcript shows it: text in double quotes, a number bare,
// "-" when empty.
std::string Shown(const Value& value);

// What a request left in `page`, a line each: the body, the redirect (when
// one), every cookie set with its expiry and every session value.
std::string Outcome(const host::MapPage& page);

// Every row `sql` gives on the store at `dsn`, a "column=value" line each
// (a NULL shown as "-"), each row ending with an empty line.
std::string RowsText(data::EngineSource& pool, std::string_view dsn,
                     std::string_view sql);

// One request of its own, as a worker of the site runs it: a component with
// the store `dsn`, bound to `page`, runs `member`.
void RunPage(host::MapPage& page, std::string_view dsn, void (Guestbook::*member)());

}  // namespace tb::testing
