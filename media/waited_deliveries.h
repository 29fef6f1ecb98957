// Reports that a component's own thread hands to the host and waits for
// (a slow host then sees fewer, later reports instead of a growing queue),
// with a way out of that wait for the component itself.
//
// HandOver::Call would do the handing, but its caller stays in it until the
// work has run. A host that destroys the component from inside such a report
// would then wait for the component's thread, which waits for that very
// report to return. Here the report is posted, and the waiting thread also
// lets go when the component releases it (ReleaseAll, at the start of its
// destruction); the report itself still runs, or is dropped with a closed
// hand-over, and owns everything it touches.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "media/hand_over.h"

namespace media {

class WaitedDeliveries {
 public:
  WaitedDeliveries() = default;
  WaitedDeliveries(const WaitedDeliveries&) = delete;
  WaitedDeliveries& operator=(const WaitedDeliveries&) = delete;

  // From a thread other than the host's: posts report to host and returns
  // once it has run, was dropped (a closed hand-over) or ReleaseAll was
  // called. An exception thrown by the report is thrown again here when the
  // wait ended with the report. Returns at once after ReleaseAll.
  void PostAndWait(HandOver& host, std::function<void()> report);

  // Ends every wait in progress and every later one at once. The reports
  // already posted still run on the host (they own what they use).
  void ReleaseAll();
  bool Released() const;

 private:
  struct Ticket;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Ticket>> waiting_;
  bool released_ = false;
};

}  // namespace media
