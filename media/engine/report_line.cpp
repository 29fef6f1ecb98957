#include "media/engine/report_line.h"

#include <atomic>
#include <chrono>
#include <future>

namespace media {

struct ReportLine::Line {
  std::unique_ptr<HandOver> reports;  // hosted by the line's thread
  std::atomic<bool> ended{false};
  // Closed from one of its own reports: nobody waits for the end, and the
  // host (and its hand-over) may be gone by then.
  std::atomic<bool> unwatched{false};
};

void ReportLine::Post(std::function<void()> report) {
  if (!line_) {
    auto line = std::make_shared<Line>();
    std::promise<void> ready;
    // The thread holds the line and the host only: it touches nothing of
    // this object, which a report may end.
    thread_ = std::thread([line, host = host_, started = ready.get_future()]() mutable {
      started.wait();
      while (!line->reports->Closed()) line->reports->Pump(std::chrono::hours(1));
      line->ended = true;
      if (host != nullptr && !line->unwatched) host->Nudge();
    });
    line->reports = std::make_unique<HandOver>(thread_.get_id());
    line_ = std::move(line);
    ready.set_value();
  }
  line_->reports->Post(std::move(report));
}

void ReportLine::Close() {
  if (!line_) return;
  line_->reports->Close();
  if (thread_.get_id() == std::this_thread::get_id()) {
    line_->unwatched = true;
    thread_.detach();
  } else {
    // A closed hand-over turns the reports away at once, and pumping it
    // would only spin.
    if (host_ != nullptr && host_->OnHostThread() && !host_->Closed()) {
      while (!host_->PumpUntil([line = line_] { return line->ended.load(); }, std::chrono::hours(1))) {
      }
    }
    thread_.join();
  }
  line_.reset();
}

}  // namespace media
