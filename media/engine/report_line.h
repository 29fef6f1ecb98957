// Termination reports of a batch run on worker threads travel along one line:
// a thread of the engine's own that delivers them in the order they were
// raised, so an ending task never waits for a handler, a handler never runs
// on a task's thread, and the batch end (raised last) arrives last.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "media/hand_over.h"

namespace media {

class ReportLine {
 public:
  // host: the engine's hand-over, pumped while Close waits on its thread
  // (a handler may be waiting for the host). May be null.
  explicit ReportLine(HandOver* host) : host_(host) {}
  ~ReportLine() { Close(); }
  ReportLine(const ReportLine&) = delete;
  ReportLine& operator=(const ReportLine&) = delete;

  // Queues a report; the line's thread starts with the first one.
  void Post(std::function<void()> report);
  // Drops what has not been delivered and ends the thread: waits for a
  // delivery in progress, unless called from a report on the line itself
  // (the host ending the engine from its batch-end handler); the thread then
  // ends by itself once that report has returned.
  void Close();

 private:
  struct Line;  // shared with the thread, which may outlive the object

  HandOver* host_;
  std::shared_ptr<Line> line_;
  std::thread thread_;
};

}  // namespace media
