#include "server/superuser.h"

#include <array>
#include <cstdint>

#include "component/keys.h"
#include "component/password_hash.h"
#include "data/connection.h"
#include "server/http/session_store.h"

namespace tb::server {
namespace {

constexpr std::string_view kTitle = "超级用户";

// A whole number from 0 to `bound - 1` without bias.
std::uint32_t RandomBelow(std::uint32_t bound) {
  const std::uint64_t range = std::uint64_t{1} << 32;
  const std::uint64_t limit = range - range % bound;
  while (true) {
    std::array<unsigned char, 4> bytes;
    http::SecureRandomBytes(bytes.data(), bytes.size());
    std::uint64_t n = bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                      static_cast<std::uint64_t>(bytes[3]) << 24;
    if (n < limit) return static_cast<std::uint32_t>(n % bound);
  }
}

}  // namespace

std::string RandomPassword() {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::string password;
  for (int i = 0; i < 12; ++i) {
    password += kAlphabet[RandomBelow(static_cast<std::uint32_t>(kAlphabet.size()))];
  }
  return password;
}

std::size_t HashStoredPasswords(data::EngineSource& databases, std::string_view dsn,
                                const SuperuserDetails& details) {
  if (!details.hash_password) return 0;
  data::Connection conn(databases);
  conn.Open(dsn);
  return passwords::HashPlainPasswords(conn);
}

std::optional<SuperuserCreated> EnsureSuperuser(data::EngineSource& databases,
                                                std::string_view dsn,
                                                const SuperuserDetails& details,
                                                const DateTime& now) {
  data::Connection conn(databases);
  conn.Open(dsn);
  data::Transaction transaction(conn);
  const auto& engine = conn.engine();
  if (!engine->Run("select id from user where name = ?", {Value(keys::kSuperuser)})
           .rows.empty()) {
    return std::nullopt;
  }
  SuperuserCreated created{details.password, details.password.empty()};
  if (created.generated) created.password = RandomPassword();
  const std::string time = now.ToText();
  const auto crccode = static_cast<std::int64_t>(111111 + RandomBelow(888889));
  engine->Run(
      "insert into user(name, password, email, homepage, regtime, modifytime, ip, html,"
      " titletop, question, answer, idcard, nettype, crccode, hascrc)"
      " values (?, ?, ?, ?, ?, ?, '127.0.0.1', '2', ?, '', '', '', '0', ?, '0')",
      {Value(keys::kSuperuser),
       Value(passwords::StoredPassword(created.password, details.hash_password)),
       Value(details.email), Value(details.homepage), Value(time), Value(time),
       Value(kTitle), Value(crccode)});
  transaction.Commit();
  return created;
}

}  // namespace tb::server
