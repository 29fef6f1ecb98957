#include <gtest/gtest.h>

#include "list_reply_cache.h"

namespace ks = kestrova::service;

namespace {

ks::ListReplyCache::Reply Text(const char* text) { return std::make_shared<const std::string>(text); }

TEST(ListReplyCache, KeepsAReplyUntilTheCompanysNextWrite) {
  ks::ListReplyCache cache;
  ks::ListReplyCache::Ticket ticket;
  EXPECT_FALSE(cache.find(1, ticket));
  cache.keep(ticket, Text("one"));
  EXPECT_EQ(*cache.find(1, ticket), "one");
  EXPECT_FALSE(cache.find(2, ticket)) << "companies do not share replies";
  cache.invalidate(1);
  EXPECT_FALSE(cache.find(1, ticket));
}

// A list read from the database before a write committed must not be kept
// after the write's invalidation: its ticket is out of date.
TEST(ListReplyCache, AReplyBuiltBeforeAWriteIsNotKept) {
  ks::ListReplyCache cache;
  ks::ListReplyCache::Ticket before;
  cache.find(1, before);
  cache.invalidate(1);
  cache.keep(before, Text("stale"));
  ks::ListReplyCache::Ticket after;
  EXPECT_FALSE(cache.find(1, after));
  cache.keep(after, Text("fresh"));
  EXPECT_EQ(*cache.find(1, after), "fresh");
}

TEST(ListReplyCache, StaysWithinItsBudget) {
  ks::ListReplyCache cache(10);
  ks::ListReplyCache::Ticket ticket;
  cache.find(1, ticket);
  cache.keep(ticket, Text("123456"));
  cache.find(2, ticket);
  cache.keep(ticket, Text("abcdef"));
  EXPECT_FALSE(cache.find(1, ticket)) << "dropped to make room";
  EXPECT_EQ(*cache.find(2, ticket), "abcdef");
}

}  // namespace
