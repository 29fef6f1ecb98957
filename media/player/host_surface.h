// A display that keeps what the player shows in a picture of its own, for a
// host that paints it (the desktop tool's preview panel) or reads it (tests).
// The surface has the host's size; the player letterboxes into it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "media/player/display.h"

namespace media {
class HandOver;
}

namespace media::player {

// 32-bit pixels, 0xAARRGGBB in native byte order (B, G, R, A in memory), top row first.
struct SurfacePicture {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row
  std::vector<uint8_t> pixels;
  int64_t ptsUs = -1;      // of the picture shown last
  int64_t shownAtUs = -1;  // when it was shown, on the steady clock
  uint32_t Pixel(int x, int y) const {
    const uint8_t* p = pixels.data() + size_t(y) * size_t(stride) + size_t(x) * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
};

class HostSurface : public Display {
 public:
  // onPicture runs on the host's thread (through the hand-over, without
  // waiting) after a new picture was shown; pictures shown while one such
  // call is still pending are taken by that call.
  HostSurface(HandOver* hostHandOver, int width, int height, std::function<void()> onPicture);
  ~HostSurface() override;

  // A copy of what the surface shows now.
  SurfacePicture Snapshot() const;
  // Back to black (before another file plays into it).
  void Clear();

  bool SetMode(int width, int height, std::string& error) override;
  int Width() const override;
  int Height() const override;
  void Show(const YuvPicture& picture, const DisplayArea& area, int64_t ptsUs) override;
  void Redraw() override;

 private:
  struct Scaler;
  struct Announcer;
  void Announce();
  void FillBlack();  // mutex_ held

  HandOver* handOver_;
  mutable std::mutex mutex_;
  SurfacePicture canvas_;
  std::unique_ptr<Scaler> scaler_;
  std::shared_ptr<Announcer> announcer_;  // shared with work still on its way to the host
};

}  // namespace media::player
