#include "password_hash.h"

#include <sodium.h>

#include <algorithm>
#include <semaphore>
#include <stdexcept>
#include <thread>

namespace kestrova::service {

// Interactive limits (a fraction of a second, 64 MiB) keep sign-in snappy on
// a small server while still making offline guessing expensive.
constexpr unsigned long long kOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t kMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

// Each hash or verification takes kMemLimit of memory; a burst of sign-ins on
// every worker thread at once would take that many times over. Letting only
// as many run as there are cores keeps memory bounded without slowing them.
std::counting_semaphore<>& HashingSlots() {
  static std::counting_semaphore<> slots(std::max(2u, std::thread::hardware_concurrency()));
  return slots;
}

struct HashingSlot {
  HashingSlot() { HashingSlots().acquire(); }
  ~HashingSlot() { HashingSlots().release(); }
};

void InitCrypto() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

std::string HashPassword(const std::string& password) {
  InitCrypto();
  char out[crypto_pwhash_STRBYTES];
  HashingSlot slot;
  if (crypto_pwhash_str(out, password.data(), password.size(), kOpsLimit, kMemLimit) != 0)
    throw std::runtime_error("out of memory while hashing a password");
  return out;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
  InitCrypto();
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  HashingSlot slot;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

namespace {
const std::string& DummyHash() {
  static const std::string dummy = HashPassword("kestrova-no-such-account");
  return dummy;
}
}  // namespace

void PrepareDummyHash() { DummyHash(); }

void VerifyAgainstDummyHash(const std::string& password) { VerifyPassword(DummyHash(), password); }

}  // namespace kestrova::service
