#include "media/engine/report_line.h"

#include <chrono>
#include <future>

namespace media {

void ReportLine::Post(std::function<void()> report) {
  if (!line_) {
    std::promise<void> ready;
    thread_ = std::thread([this, started = ready.get_future()]() mutable {
      started.wait();
      while (!line_->Closed()) line_->Pump(std::chrono::hours(1));
      ended_ = true;
      if (host_ != nullptr) host_->Nudge();
    });
    line_ = std::make_unique<HandOver>(thread_.get_id());
    ready.set_value();
  }
  line_->Post(std::move(report));
}

void ReportLine::Close() {
  if (!line_) return;
  line_->Close();
  if (host_ != nullptr && host_->OnHostThread()) {
    while (!host_->PumpUntil([this] { return ended_.load(); }, std::chrono::hours(1))) {
    }
  }
  thread_.join();
  line_.reset();
  ended_ = false;
}

}  // namespace media
