#include "server/mail/message.h"

#include <sodium.h>

#include <array>

namespace tb::server::mail {
namespace {

std::string Base64(std::string_view bytes) {
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL),
                  '\0');
  sodium_bin2base64(out.data(), out.size(),
                    reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.pop_back();  // the terminating NUL
  return out;
}

bool PrintableAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

// The length of the UTF-8 sequence that starts with `lead`.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xf0) return 4;
  if (lead >= 0xe0) return 3;
  if (lead >= 0xc0) return 2;
  return 1;
}

std::string DomainOf(std::string_view address) {
  const std::size_t at = address.rfind('@');
  return at == std::string_view::npos ? "localhost" : std::string(address.substr(at + 1));
}

}  // namespace

bool IsSendableAddress(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  const std::size_t at = address.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == address.size() ||
      address.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  for (unsigned char c : address) {
    if (c <= 0x20 || c >= 0x7f) return false;
    if (std::string_view("<>()[]\\,;:\"").find(static_cast<char>(c)) !=
        std::string_view::npos)
      return false;
  }
  return true;
}

std::string HeaderText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return out;
}

std::string EncodeHeaderWords(std::string_view text) {
  const std::string clean = HeaderText(text);
  if (PrintableAscii(clean)) return clean;
  // 36 bytes (12 Chinese characters) make 48 characters of base64, a word
  // of 60 with "=?UTF-8?B?" and "?=": with "Subject: " before it, every line
  // stays within 76 characters.
  constexpr std::size_t kBytesPerWord = 36;
  std::string out;
  std::size_t start = 0;
  while (start < clean.size()) {
    std::size_t end = start;
    while (end < clean.size()) {
      const std::size_t next =
          end + SequenceLength(static_cast<unsigned char>(clean[end]));
      if (next - start > kBytesPerWord) break;
      end = std::min(next, clean.size());
    }
    if (!out.empty()) out += "\r\n ";
    out +=
        "=?UTF-8?B?" + Base64(std::string_view(clean).substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

std::string ComposeMessage(const Mail& mail, std::string_view from, std::time_t now,
                           std::string_view id) {
  std::array<char, 64> date{};
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(date.data(), date.size(), "%a, %d %b %Y %H:%M:%S %z", &tm);
  std::string out;
  out += "Date: " + std::string(date.data()) + "\r\n";
  out += "From: " + HeaderText(from) + "\r\n";
  out += "To: " + HeaderText(mail.to) + "\r\n";
  out += "Subject: " + EncodeHeaderWords(mail.subject) + "\r\n";
  out += "Message-ID: <" + HeaderText(id) + "@" + HeaderText(DomainOf(from)) + ">\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: base64\r\n\r\n";
  const std::string body = Base64(mail.body);
  for (std::size_t i = 0; i < body.size(); i += 76) out += body.substr(i, 76) + "\r\n";
  return out;
}

}  // namespace tb::server::mail
