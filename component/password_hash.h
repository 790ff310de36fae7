// File: password_hash.h — owners' passwords kept as Argon2id hashes.
//
// With hashing on (the operator's `[security] hash_passwords`), a password
// is stored as libsodium's Argon2id string ("$argon2id$v=19$m=...") and every
// comparison verifies against it. A stored value that is no such hash is
// plain text from before, compared exactly, so that a store keeps working
// whichever way the setting stands.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "data/connection.h"

namespace tb::passwords {

// Whether `stored` is a hash as HashPassword writes it.
// Example: IsPasswordHash("Secret1") is false.
bool IsPasswordHash(std::string_view stored);

// An Argon2id hash of `password`, salted at random; limits chosen so that a
// check costs a few tens of milliseconds.
// Example: IsPasswordHash(HashPassword("Secret1")) is true.
std::string HashPassword(std::string_view password);

// Whether `given` is the password kept as `stored`: a hash is verified,
// plain text compared exactly.
// Example: PasswordMatches(HashPassword("Secret1"), "Secret1") is true.
bool PasswordMatches(std::string_view stored, std::string_view given);

// What is stored for `password`: its hash when `hashing`, else the text.
// Example: StoredPassword("Secret1", false) == "Secret1".
std::string StoredPassword(std::string_view password, bool hashing);

// Replaces every password of the store still held as plain text by its hash,
// in one transaction; returns how many it replaced.
// Example: HashPlainPasswords(conn);  // at start, with hashing on
std::size_t HashPlainPasswords(data::Connection& conn);

}  // namespace tb::passwords
