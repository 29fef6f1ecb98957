// Whom a per-client limit counts: the connection's address, or the client a
// trusted proxy names. A forged X-Forwarded-For must never buy a fresh
// budget.
#include <gtest/gtest.h>

#include <stdexcept>

#include "client_address.h"

using kestrova::service::ClientAddress;
using kestrova::service::TrustedProxies;

TEST(ClientAddressTest, OnlyTrustedHopsAreBelieved) {
  struct Case {
    const char* proxies;
    const char* peer;
    const char* forwardedFor;
    const char* client;
  };
  const Case cases[] = {
      // No proxies named: the header is anyone's to write.
      {"", "203.0.113.7", "10.9.9.9", "203.0.113.7"},
      // A client talking to us directly while proxies are named.
      {"127.0.0.1", "203.0.113.7", "10.9.9.9", "203.0.113.7"},
      // nginx replacing the header with the address it saw.
      {"127.0.0.1", "127.0.0.1", "198.51.100.4", "198.51.100.4"},
      // A proxy that appends: what the client wrote itself is left of what
      // our proxy saw, and is not read.
      {"127.0.0.1", "127.0.0.1", "10.9.9.9, 198.51.100.4", "198.51.100.4"},
      // Two of our own proxies in a row.
      {"127.0.0.1,10.0.0.0/8", "127.0.0.1", "1.1.1.1, 198.51.100.4, 10.2.3.4", "198.51.100.4"},
      // Only proxies, all the way: the left-most is the best we know.
      {"10.0.0.0/8", "10.0.0.1", "10.0.0.2", "10.0.0.2"},
      // From a trusted proxy with no header: the proxy itself.
      {"127.0.0.1", "127.0.0.1", "", "127.0.0.1"},
      // Garbage in the header stops at the hop that sent it.
      {"127.0.0.1", "127.0.0.1", "not-an-address", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "198.51.100.4:5555", "127.0.0.1"},
      // A dual-stack socket names IPv4 clients in mapped form.
      {"127.0.0.1", "::ffff:127.0.0.1", "::ffff:198.51.100.4", "198.51.100.4"},
      {"2001:db8::/32", "2001:db8::1", "2001:db8:0:0::ff, 2001:0db8:1::5", "2001:db8::ff"},
      {"127.0.0.0/31", "127.0.0.2", "198.51.100.4", "127.0.0.2"},
  };
  for (const Case& c : cases) {
    auto proxies = TrustedProxies::Parse(c.proxies);
    EXPECT_EQ(ClientAddress(c.peer, c.forwardedFor, proxies), c.client)
        << "proxies " << c.proxies << ", peer " << c.peer << ", header " << c.forwardedFor;
  }
}

TEST(ClientAddressTest, AProxyListThatCannotBeReadIsRefused) {
  for (const char* list : {"nginx", "127.0.0.1/33", "::1/129", "10.0.0.0/", "10.0.0.0/x", "1.2.3.4, bad"})
    EXPECT_THROW(TrustedProxies::Parse(list), std::invalid_argument) << list;
  EXPECT_NO_THROW(TrustedProxies::Parse(" 127.0.0.1 , ::1 ,10.0.0.0/8"));
}
