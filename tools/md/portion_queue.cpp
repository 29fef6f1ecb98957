#include "portion_queue.h"

#include <algorithm>
#include <climits>

namespace md {

PortionQueue::PortionQueue(int streamCount, int64_t portionLength, int64_t bufferLimit)
    : queues_(streamCount), length_(std::max<int64_t>(1, portionLength)), bufferLimit_(bufferLimit) {}

void PortionQueue::Push(int stream, PacketPtr packet, int64_t start, int64_t end) {
  buffered_ += packet->size;
  queues_[stream].push_back({std::move(packet), start, end});
}

int64_t PortionQueue::FirstStartBeyond(int stream, int64_t limit) const {
  // Only the packets of the coming portion and one more are looked at: the
  // queue is in time order.
  for (const Entry& e : queues_[stream])
    if (e.end > limit) return e.start;
  return INT64_MAX;
}

bool PortionQueue::Ready(int64_t limit) const {
  if (finished_ || buffered_ >= bufferLimit_) return true;
  // Every stream must show where its run of this portion ends; one that has
  // shown nothing yet may still bring packets of this stretch.
  for (size_t s = 0; s < queues_.size(); ++s)
    if (FirstStartBeyond(static_cast<int>(s), limit) == INT64_MAX) return false;
  return true;
}

bool PortionQueue::PopPortion(std::vector<PacketPtr>& out) {
  int64_t earliest = INT64_MAX;
  for (const auto& q : queues_)
    if (!q.empty()) earliest = std::min(earliest, q.front().start);
  if (earliest == INT64_MAX) return false;
  // The first portion starts with the earliest packet, and a stretch in
  // which no stream has anything is skipped rather than cut into empty
  // portions. Nothing is settled before every stream has had its say.
  const int64_t start = std::max(portionStart_, earliest);
  const int64_t limit = start + length_;
  if (!Ready(limit)) return false;
  portionStart_ = start;

  int64_t next = INT64_MAX;
  for (size_t s = 0; s < queues_.size(); ++s) next = std::min(next, FirstStartBeyond(static_cast<int>(s), limit));
  // A single packet longer than a portion makes a portion of its own.
  if (next <= portionStart_) next = portionStart_ + 1;

  for (auto& q : queues_) {
    while (!q.empty() && q.front().start < next) {
      buffered_ -= q.front().packet->size;
      out.push_back(std::move(q.front().packet));
      q.pop_front();
    }
  }
  // When everything waiting went out (the end, or no room to wait longer),
  // the next portion starts with whatever comes next.
  if (next != INT64_MAX) portionStart_ = next;
  return true;
}

}  // namespace md
