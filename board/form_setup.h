// File: form_setup.h — what both message form methods do before a form is
// written: issue the form key that the acceptance step checks, find the
// guestbook's row, and keep the guestbook within its message limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/connection.h"
#include "host/page.h"
#include "host/value.h"

namespace tb::board::form {

// The most messages one visit to the form page removes.
inline constexpr int kPruneBatch = 50;

// The page a bad or unknown guestbook name is sent to.
inline constexpr std::string_view kUserNameErrorPage = "user_name_error.asp";

// A fresh form key: a whole number from 99999999 to 199899999 (nine digits,
// eight only for the lowest), drawn from the host's random source.
// Example: std::to_string(NewFormKey(server)).size() == 9 (almost always).
std::int64_t NewFormKey(host::Server& server);

// When the guestbook's `messages` (its count, read by FindBookCounted) are
// more than `max_num`, deletes its oldest (by regtime, then by id) up to
// kPruneBatch of them, as one change. An empty or non-numeric `max_num`
// sets no limit.
// Example: with max_num 5 and 6 messages, all 6 go; with 5, none.
void PruneOverLimit(data::Connection& db, std::string_view name, const Value& max_num,
                    const Value& messages);

}  // namespace tb::board::form
