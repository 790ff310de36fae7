#include "component/password_hash.h"

#include <sodium.h>

#include <array>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tb::passwords {
namespace {

constexpr std::string_view kPrefix = "$argon2id$";
// Two passes over 19 MiB: about 15 ms on one core of the development machine,
// while a guess still costs an attacker that much memory.
constexpr unsigned long long kOpsLimit = 2;
constexpr std::size_t kMemLimit = 19u << 20;

void InitSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

}  // namespace

bool IsPasswordHash(std::string_view stored) {
  return stored.size() > kPrefix.size() + 16 &&
         stored.substr(0, kPrefix.size()) == kPrefix;
}

std::string HashPassword(std::string_view password) {
  InitSodium();
  std::array<char, crypto_pwhash_STRBYTES> out{};
  if (crypto_pwhash_str_alg(out.data(), password.data(), password.size(), kOpsLimit,
                            kMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("out of memory hashing a password");
  }
  return out.data();
}

bool PasswordMatches(std::string_view stored, std::string_view given) {
  if (!IsPasswordHash(stored)) return stored == given;
  InitSodium();
  const std::string hash(stored);  // NUL-terminated for libsodium
  return crypto_pwhash_str_verify(hash.c_str(), given.data(), given.size()) == 0;
}

std::string StoredPassword(std::string_view password, bool hashing) {
  return hashing ? HashPassword(password) : std::string(password);
}

std::size_t HashPlainPasswords(data::Connection& conn) {
  data::Transaction tx(conn);
  std::vector<std::pair<Value, std::string>> plain;
  for (auto rs =
           conn.Execute("select id, password from user where substr(password, 1, ?) <> ?",
                        {Value(static_cast<std::int64_t>(kPrefix.size())),
                         Value(std::string(kPrefix))});
       !rs.Eof(); rs.MoveNext()) {
    std::string password = rs["password"].Text();
    if (!IsPasswordHash(password)) plain.emplace_back(rs["id"], std::move(password));
  }
  for (const auto& [id, password] : plain) {
    conn.Execute("update user set password = ? where id = ?",
                 {Value(HashPassword(password)), id});
  }
  tx.Commit();
  return plain.size();
}

}  // namespace tb::passwords
