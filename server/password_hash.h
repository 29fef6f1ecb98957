// Passwords are kept only as Argon2id hashes (libsodium's self-describing
// "$argon2id$..." strings), never in clear.
#pragma once

#include <string>

namespace kestrova::service {

// Hashes a password; throws std::runtime_error if libsodium runs out of memory.
std::string HashPassword(const std::string& password);

// True when password matches the stored hash. A malformed hash never matches.
bool VerifyPassword(const std::string& hash, const std::string& password);

// Spends about the time a real verification takes, so a wrong account name
// cannot be told from a wrong password by the reply time.
void VerifyAgainstDummyHash(const std::string& password);

// Makes the decoy hash the call above verifies against. The service calls it
// at start-up: made on first use instead, it would make the first
// unknown-account sign-in twice as slow as the others, which tells.
void PrepareDummyHash();

// Sets libsodium up once; every entry point above calls it.
void InitCrypto();

}  // namespace kestrova::service
