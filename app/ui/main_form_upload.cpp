#include "main_form_upload.h"

#include <chrono>

#include "handler_guard.h"
#include "main_form_sync.h"

namespace kestrova::ui {

namespace {
// How long a closing window lets a run finish its server talk (a scan, the
// delete of a cut-off file) before cutting that off as well.
constexpr std::chrono::seconds kCloseGrace(3);
}  // namespace

MainFormUpload::MainFormUpload(sync::SiteConnection& site, MainFormSyncView& view, Platform& platform,
                               std::function<sync::UploadSetup()> setup)
    : site_(site), view_(view), platform_(platform), setup_(std::move(setup)) {}

MainFormUpload::~MainFormUpload() { finishForClose(); }

void MainFormUpload::handOver(const std::function<void()>& work) {
  handOver_.Call([&] { Guarded(platform_, work); });
}

bool MainFormUpload::running() const { return worker_ && worker_->active(); }

bool MainFormUpload::transferring() const { return worker_ && worker_->transferring(); }

void MainFormUpload::btnscanClick() {
  if (worker_ && (worker_->active() || worker_->transferring())) {
    // The run under way answers the press itself: the panel comes forward,
    // and a file in transfer is reported.
    worker_->btnscanClick();
    return;
  }
  // Each run gets a worker of its own; the previous one has ended, and
  // destroying it reaps its thread.
  worker_.reset();
  worker_ = std::make_unique<sync::UploadWorker>(
      site_, view_, [this](const std::function<void()>& work) { handOver(work); }, setup_());
  worker_->btnscanClick();
}

void MainFormUpload::btnpauseuploadClick() {
  if (worker_) {
    worker_->btnpauseuploadClick();
    return;
  }
  // Before the first run there is nothing to stop; the next run starts with
  // a fresh worker, which forgets the request as a run must.
  view_.showMessage(sync::kMsgStopRequested, "", sync::BoxKind::Ok);
}

void MainFormUpload::finishForClose() {
  if (!worker_) return;
  view_.silenceBoxes();
  if (worker_->active()) {
    worker_->btnpauseuploadClick();
    // Closed from inside one of the run's own boxes: the run cannot move on
    // before that box's frame returns, so waiting here would never end. The
    // stop stays requested and the destructor finishes the run.
    if (handOver_.Depth() > 0) return;
    const auto started = std::chrono::steady_clock::now();
    while (worker_->active()) {
      // The cut is repeated because the client clears it when its next
      // command starts. While `transferring` is set the worker is storing a
      // file; it clears the flag before deleting the partial copy, and hands
      // over a step in between, so the delete is not cut within the grace.
      if (worker_->transferring() || std::chrono::steady_clock::now() - started > kCloseGrace)
        site_.ftp.cancelTransfer();
      handOver_.Pump(std::chrono::milliseconds(20));
    }
  }
  worker_.reset();
}

}  // namespace kestrova::ui
