// File: smtp.h — sends one mail through an SMTP server with libcurl.
//
// `smtp://HOST:PORT` speaks plain SMTP and upgrades with STARTTLS when the
// server offers it; `smtps://HOST:PORT` speaks TLS from the start. A user
// name logs in (AUTH) with its password.
//
// Example:
//   SmtpSender smtp({.enabled = true, .smtp_url = "smtp://127.0.0.1:2525",
//                    .from = "gb@site.example"});
//   if (auto error = smtp.Send({"abc@x.example", "Hi", "Text"})) Log(*error);
#pragma once

#include <optional>
#include <string>

#include "server/mail/outbox.h"

namespace tb::server::mail {

// The `[mail]` table of the configuration.
struct MailSettings {
  bool enabled = false;
  std::string smtp_url;  // smtp://HOST[:PORT] or smtps://HOST[:PORT]
  std::string from;      // the sender's address
  std::string username, password;
};

class SmtpSender {
 public:
  explicit SmtpSender(MailSettings settings);
  ~SmtpSender();
  SmtpSender(const SmtpSender&) = delete;
  SmtpSender& operator=(const SmtpSender&) = delete;

  // Sends `mail`; nullopt once the server took it, else what went wrong.
  std::optional<std::string> Send(const Mail& mail);

 private:
  MailSettings settings_;
};

}  // namespace tb::server::mail
