// The upload run of the synchronisation panel as the main window drives it:
// one UploadWorker per press of "扫描并上传" (btnscan, or btnUpload2 on the
// catalogue panel), the hand-over of its window work to the GUI thread, the
// stop button, and finishing a run when the window closes.
#pragma once

#include <functional>
#include <memory>

#include "qt_hand_over.h"
#include "upload_worker.h"

namespace kestrova::ui {

class MainFormSyncView;
class Platform;

class MainFormUpload {
 public:
  // setup is read at the start of every run (the hidden extension field may
  // differ from the one the window was made with).
  MainFormUpload(sync::SiteConnection& site, MainFormSyncView& view, Platform& platform,
                 std::function<sync::UploadSetup()> setup);
  // Finishes a run still going, as finishForClose does.
  ~MainFormUpload();
  MainFormUpload(const MainFormUpload&) = delete;
  MainFormUpload& operator=(const MainFormUpload&) = delete;

  void btnscanClick();
  void btnpauseuploadClick();

  // A run is under way (from the press until its end steps are done).
  bool running() const;
  // A file transfer is marked as under way (the run's `transferring`).
  bool transferring() const;

  // For a closing window: asks the run to stop, cuts off the file in
  // transfer (the run then deletes its partial server copy), and runs the
  // run's handed-over work here until the run has ended. Shows none of the
  // run's boxes: nobody is left to answer them. Never waits on a server for
  // long: whatever outlasts a short grace period is cut off too. Called from
  // inside one of the run's own boxes, it only asks the run to stop.
  void finishForClose();

 private:
  void handOver(const std::function<void()>& work);

  sync::SiteConnection& site_;
  MainFormSyncView& view_;
  Platform& platform_;
  std::function<sync::UploadSetup()> setup_;
  QtHandOver handOver_;
  // Destroyed before the hand-over: a worker's thread is joined while the
  // hand-over it might wait on still exists.
  std::unique_ptr<sync::UploadWorker> worker_;
};

}  // namespace kestrova::ui
