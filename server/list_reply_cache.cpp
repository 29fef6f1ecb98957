#include "list_reply_cache.h"

namespace kestrova::service {

ListReplyCache::ListReplyCache(size_t maxBytes) : maxBytes_(maxBytes) {}

ListReplyCache::Reply ListReplyCache::find(std::int64_t companyId, Ticket& ticket,
                                           std::optional<std::uint64_t> storeVersion) {
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[companyId];
  // Another process changed the catalogue since the reply was built.
  if (entry.reply && entry.storeVersion != storeVersion) {
    drop(entry);
    ++entry.generation;
  }
  ticket = {companyId, entry.generation, storeVersion};
  return entry.reply;
}

void ListReplyCache::drop(Entry& entry) {
  if (entry.reply) bytes_ -= entry.reply->size();
  entry.reply.reset();
}

void ListReplyCache::keep(const Ticket& ticket, Reply reply) {
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[ticket.companyId];
  if (entry.generation != ticket.generation || entry.reply) return;
  // Past the budget the oldest state is simply dropped: the replies are
  // rebuilt on demand, and a budget this large is only reached by very many
  // companies.
  if (bytes_ + reply->size() > maxBytes_) {
    for (auto& [id, other] : entries_) other.reply.reset();
    bytes_ = 0;
  }
  bytes_ += reply->size();
  entry.reply = std::move(reply);
  entry.storeVersion = ticket.storeVersion;
}

void ListReplyCache::invalidate(std::int64_t companyId) {
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[companyId];
  ++entry.generation;
  drop(entry);
}

}  // namespace kestrova::service
