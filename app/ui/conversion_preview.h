// The "同步预览" window: a small always-on-top window showing the picture
// the engine is converting, with its time in the caption. The engine's
// worker threads hand pictures over without waiting; once the user closes
// the window the running task stops previewing, and the next task shows it
// again. It goes away with its task and opens at the centre of the screen,
// so it never stays on top of windows that have moved on.
#pragma once

#include <QLabel>
#include <atomic>
#include <memory>

#include "media/engine/preview.h"
#include "media/hand_over.h"

namespace kestrova::ui {

class ConversionPreviewWindow : public QLabel {
 public:
  explicit ConversionPreviewWindow(QWidget* owner);
  void showPicture(const QImage& picture, int64_t pts);
  // Set when the user closes the window; cleared for every new task.
  const std::shared_ptr<std::atomic<bool>>& closedByUser() const { return closed_; }
  // Set when the task ended; cleared for every new task. Pictures still on
  // their way then do not bring the window back.
  const std::shared_ptr<std::atomic<bool>>& taskOver() const { return taskOver_; }
  // The task whose pictures it shows has ended (or the batch went): hides.
  void taskEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::shared_ptr<std::atomic<bool>> closed_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<bool>> taskOver_ = std::make_shared<std::atomic<bool>>(false);
};

// One per task, made by the engine on its worker thread.
class ConversionPreviewer : public media::TPreviewer {
 public:
  ConversionPreviewer(media::HandOver& handOver, ConversionPreviewWindow& window);
  bool Show(const media::Bitmap& picture, int frameNumber, int64_t pts) override;

 private:
  media::HandOver& handOver_;
  ConversionPreviewWindow& window_;
  std::shared_ptr<std::atomic<bool>> closed_;
  std::shared_ptr<std::atomic<bool>> taskOver_;
};

}  // namespace kestrova::ui
