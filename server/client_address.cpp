#include "client_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <stdexcept>

namespace kestrova::service {
namespace {

using Bytes = std::array<unsigned char, 16>;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// IPv4 addresses become IPv4-mapped IPv6 ones, so "1.2.3.4" and
// "::ffff:1.2.3.4" (how a dual-stack socket names the same client) compare
// equal. *wasV4 says which form the text had.
std::optional<Bytes> ReadAddress(std::string_view text, bool* wasV4 = nullptr) {
  std::string copy(text);
  Bytes bytes{};
  in_addr v4{};
  if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
    bytes[10] = bytes[11] = 0xff;
    std::copy_n(reinterpret_cast<const unsigned char*>(&v4), 4, bytes.begin() + 12);
    if (wasV4) *wasV4 = true;
    return bytes;
  }
  if (inet_pton(AF_INET6, copy.c_str(), bytes.data()) == 1) {
    if (wasV4) *wasV4 = false;
    return bytes;
  }
  return std::nullopt;
}

bool PrefixMatches(const Bytes& a, const Bytes& b, unsigned bits) {
  for (unsigned i = 0; i < 16 && bits > 0; ++i, bits = bits >= 8 ? bits - 8 : 0) {
    unsigned mask = bits >= 8 ? 0xff : (0xff << (8 - bits)) & 0xff;
    if ((a[i] & mask) != (b[i] & mask)) return false;
  }
  return true;
}

std::string Text(const Bytes& bytes) {
  char out[INET6_ADDRSTRLEN] = {};
  bool mapped = std::all_of(bytes.begin(), bytes.begin() + 10, [](unsigned char b) { return b == 0; }) &&
                bytes[10] == 0xff && bytes[11] == 0xff;
  if (mapped) inet_ntop(AF_INET, bytes.data() + 12, out, sizeof out);
  else inet_ntop(AF_INET6, bytes.data(), out, sizeof out);
  return out;
}

}  // namespace

TrustedProxies TrustedProxies::Parse(std::string_view list) {
  TrustedProxies proxies;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view entry = Trim(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (entry.empty()) continue;
    size_t slash = entry.find('/');
    bool v4 = false;
    auto address = ReadAddress(entry.substr(0, slash), &v4);
    unsigned maxBits = v4 ? 32 : 128, bits = maxBits;
    bool ok = address.has_value();
    if (ok && slash != std::string_view::npos) {
      std::string_view digits = entry.substr(slash + 1);
      ok = !digits.empty() && digits.size() <= 3 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (ok) bits = static_cast<unsigned>(std::stoul(std::string(digits)));
      ok = ok && bits <= maxBits;
    }
    if (!ok) throw std::invalid_argument("--trusted-proxy: \"" + std::string(entry) + "\" is not an address or ADDRESS/BITS");
    proxies.networks_.push_back({*address, v4 ? bits + 96 : bits});
  }
  return proxies;
}

bool TrustedProxies::contains(std::string_view address) const {
  auto bytes = ReadAddress(Trim(address));
  if (!bytes) return false;
  return std::any_of(networks_.begin(), networks_.end(),
                     [&](const Network& network) { return PrefixMatches(*bytes, network.bytes, network.bits); });
}

std::string ClientAddress(std::string_view peer, std::string_view forwardedFor, const TrustedProxies& proxies) {
  auto hop = ReadAddress(peer);
  if (!hop) return std::string(peer);
  std::string client = Text(*hop);
  // Right to left: each entry was written by the hop after it, so it is
  // believed only while that hop is one of ours.
  while (proxies.contains(client) && !forwardedFor.empty()) {
    size_t comma = forwardedFor.rfind(',');
    std::string_view entry = Trim(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    forwardedFor = comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
    auto named = ReadAddress(entry);
    if (!named) break;
    client = Text(*named);
  }
  return client;
}

}  // namespace kestrova::service
