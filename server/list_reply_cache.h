// Each company's catalogue reply, kept from one list request to the next
// until the company's catalogue changes. The tool asks for the list after
// every change and at every start, and a web page may ask far more often;
// the reply of a large catalogue costs more to build than to send.
//
// This process's writes clear the company's reply at once. When other
// processes write the same database, the store's catalogue version tells:
// a reply is kept with the version it was built from and served only while
// the database still has that version.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace kestrova::service {

class ListReplyCache {
 public:
  using Reply = std::shared_ptr<const std::string>;

  // Identifies the catalogue state a reply was built from. Taken before
  // reading the database, it keeps a reply built from data that a write
  // changed meanwhile out of the cache.
  struct Ticket {
    std::int64_t companyId = 0;
    std::uint64_t generation = 0;
    std::optional<std::uint64_t> storeVersion;
  };

  explicit ListReplyCache(size_t maxBytes = 256u << 20);

  // The kept reply, or null with a ticket for storing a fresh one.
  // storeVersion: the company's catalogue version in the database, read
  // before this call, when other processes may write it.
  Reply find(std::int64_t companyId, Ticket& ticket, std::optional<std::uint64_t> storeVersion = std::nullopt);
  // Keeps reply unless the catalogue changed since the ticket was taken.
  void keep(const Ticket& ticket, Reply reply);
  // Called after every committed change to the company's catalogue.
  void invalidate(std::int64_t companyId);

 private:
  struct Entry {
    std::uint64_t generation = 0;
    std::optional<std::uint64_t> storeVersion;
    Reply reply;
  };
  void drop(Entry& entry);
  size_t maxBytes_;
  std::mutex mutex_;
  std::unordered_map<std::int64_t, Entry> entries_;
  size_t bytes_ = 0;
};

}  // namespace kestrova::service
