// The address a request comes from, for limits kept per client. Behind a
// reverse proxy every connection comes from the proxy, which names the client
// in X-Forwarded-For. Anyone can write that header, so it is believed only on
// connections from proxies the operator named (--trusted-proxy), and only as
// far back as the chain of named proxies reaches.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::service {

class TrustedProxies {
 public:
  // "ADDRESS" or "ADDRESS/BITS" (IPv4 or IPv6), comma separated; empty: none.
  // Throws std::invalid_argument naming the entry it cannot read.
  static TrustedProxies Parse(std::string_view list);

  bool empty() const { return networks_.empty(); }
  bool contains(std::string_view address) const;

 private:
  struct Network {
    std::array<unsigned char, 16> bytes;  // IPv4 as ::ffff:a.b.c.d
    unsigned bits;
  };
  std::vector<Network> networks_;
};

// The client behind `peer` (the connection's address): peer itself unless
// it is a trusted proxy; then the right-most X-Forwarded-For entry that is
// not a trusted proxy. An entry that is not an address ends the walk at the
// hop that sent it.
std::string ClientAddress(std::string_view peer, std::string_view forwardedFor, const TrustedProxies& proxies);

}  // namespace kestrova::service
