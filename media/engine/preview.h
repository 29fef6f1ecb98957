// The conversion preview: a small window that shows the picture being
// converted, with its time in the caption. The host supplies the window
// (the desktop tool a Qt one; kestrova-cli none), so the engine sees only
// this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace media {

struct Bitmap;

class TPreviewer {
 public:
  virtual ~TPreviewer() = default;
  // Shows the picture; false once the user has closed the window (the
  // engine then stops previewing this task).
  virtual bool Show(const Bitmap& picture, int frameNumber, int64_t pts) = 0;
};

// The host's window maker, which the engine asks for each task's first
// preview picture. None, or one that returns null: no preview window (the
// task behaves as if its window was closed).
using TPreviewerFactory = std::function<std::unique_ptr<TPreviewer>()>;

}  // namespace media
