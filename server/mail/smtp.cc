#include "server/mail/smtp.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <memory>

#include "server/http/session_store.h"
#include "server/mail/message.h"

namespace tb::server::mail {
namespace {

// A server that accepts no connection in 10 s, or takes a minute for one
// mail, counts as failed; the queue tries again later.
constexpr long kConnectSeconds = 10;
constexpr long kTransferSeconds = 60;

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The message, handed to libcurl piece by piece.
struct Upload {
  std::string text;
  std::size_t sent = 0;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* data) {
  auto* upload = static_cast<Upload*>(data);
  const std::size_t n = std::min(size * count, upload->text.size() - upload->sent);
  std::memcpy(buffer, upload->text.data() + upload->sent, n);
  upload->sent += n;
  return n;
}

}  // namespace

SmtpSender::SmtpSender(MailSettings settings) : settings_(std::move(settings)) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

SmtpSender::~SmtpSender() { curl_global_cleanup(); }

std::optional<std::string> SmtpSender::Send(const Mail& mail) {
  // The addresses go into SMTP commands as well as headers.
  if (!IsSendableAddress(mail.to)) return "not an address: " + HeaderText(mail.to);
  if (!IsSendableAddress(settings_.from))
    return "not an address: " + HeaderText(settings_.from);
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return "libcurl cannot start";
  const std::string from = "<" + settings_.from + ">";
  const std::string to = "<" + mail.to + ">";
  std::unique_ptr<curl_slist, ListDeleter> recipients(
      curl_slist_append(nullptr, to.c_str()));
  Upload upload{
      ComposeMessage(mail, settings_.from, std::time(nullptr), http::RandomHex(16))};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, settings_.smtp_url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  if (!settings_.username.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, settings_.username.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, settings_.password.c_str());
  }
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTransferSeconds);
  std::array<char, CURL_ERROR_SIZE> error{};
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error.data());
  const CURLcode result = curl_easy_perform(c);
  if (result == CURLE_OK) return std::nullopt;
  return error[0] != '\0' ? std::string(error.data()) : curl_easy_strerror(result);
}

}  // namespace tb::server::mail
