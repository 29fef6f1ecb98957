// Each company's catalogue reply, kept from one list request to the next
// until the company's catalogue changes. The tool asks for the list after
// every change and at every start, and a web page may ask far more often;
// the reply of a large catalogue costs more to build than to send.
//
// Only this process's writes are seen: the catalogue is written through the
// service alone (the admin commands only add companies, which have nothing
// cached yet), so one service process serves one database.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
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
  };

  explicit ListReplyCache(size_t maxBytes = 256u << 20);

  // The kept reply, or null with a ticket for storing a fresh one.
  Reply find(std::int64_t companyId, Ticket& ticket);
  // Keeps reply unless the catalogue changed since the ticket was taken.
  void keep(const Ticket& ticket, Reply reply);
  // Called after every committed change to the company's catalogue.
  void invalidate(std::int64_t companyId);

 private:
  struct Entry {
    std::uint64_t generation = 0;
    Reply reply;
  };
  size_t maxBytes_;
  std::mutex mutex_;
  std::unordered_map<std::int64_t, Entry> entries_;
  size_t bytes_ = 0;
};

}  // namespace kestrova::service
