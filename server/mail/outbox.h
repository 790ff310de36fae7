// File: outbox.h — what a page hands over to be mailed. The pages compose
// the mail; the host's outbox sends it later, off the request's path, so
// that a page never waits for the mail server.
//
// Example:
//   if (mail::Outbox* out = env.outbox())
//     out->Send({"abc@x.example", "新留言", "……"});
#pragma once

#include <string>

namespace tb::server::mail {

// One plain-text mail in UTF-8: its one recipient, subject and body. Any
// text may come from a visitor: the outbox keeps line breaks out of headers.
struct Mail {
  std::string to;
  std::string subject;
  std::string body;
};

class Outbox {
 public:
  virtual ~Outbox() = default;
  // Takes the mail to send; returns at once.
  virtual void Send(Mail mail) = 0;
};

}  // namespace tb::server::mail
