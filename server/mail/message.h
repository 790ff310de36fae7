// File: message.h — a mail as the SMTP server gets it: headers and body in
// the Internet message format, plain text in UTF-8.
//
// No header takes a CR or LF from the values it is given: line breaks and
// other control characters become blanks, and a subject beyond ASCII is
// written as RFC 2047 encoded words. The body goes as base64, so that no
// line of a message, however long, or a line holding a lone ".", reaches
// the server as it was typed.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "server/mail/outbox.h"

namespace tb::server::mail {

// Whether `address` may stand in a header and an SMTP command: one
// local@domain of printable ASCII without blanks, double quotes, brackets, commas
// or semicolons, at most 254 characters.
// Example: IsSendableAddress("a@b.example") is true;
//          IsSendableAddress("a@b.example\r\nBcc: c@d") is false.
bool IsSendableAddress(std::string_view address);

// `text` fit for one header line: every control character a blank.
// Example: HeaderText("a\r\nBcc: x") == "a  Bcc: x".
std::string HeaderText(std::string_view text);

// A header value as is when it is printable ASCII, else as encoded words
// ("=?UTF-8?B?...?="), each at most 60 characters and never splitting a
// character, joined by CRLF and a blank.
// Example: EncodeHeaderWords("新留言") == "=?UTF-8?B?5paw55WZ6KiA?=".
std::string EncodeHeaderWords(std::string_view text);

// The whole message from `from` with its Date (from `now`) and Message-ID
// (`id`, the part before the "@" of the sender's domain), lines ending in CRLF.
// Example: ComposeMessage({"a@b.example", "Hi", "Text"}, "site@c.example",
//                         std::time(nullptr), "1a2b3c")
std::string ComposeMessage(const Mail& mail, std::string_view from, std::time_t now,
                           std::string_view id);

}  // namespace tb::server::mail
