#include "media/player/host_surface.h"

#include <atomic>
#include <cstring>

#include "media/entry_points.h"
#include "media/hand_over.h"
#include "media/av_owners.h"
#include "media/player/pipeline.h"

namespace media::player {

struct HostSurface::Scaler {
  SwsPtr context;
  int sourceWidth = 0, sourceHeight = 0, targetWidth = 0, targetHeight = 0;
};

struct HostSurface::Announcer {
  std::function<void()> onPicture;
  std::atomic<bool> pending{false};
  bool alive = true;  // host thread only
};

HostSurface::HostSurface(HandOver* hostHandOver, int width, int height, std::function<void()> onPicture)
    : handOver_(hostHandOver), scaler_(std::make_unique<Scaler>()), announcer_(std::make_shared<Announcer>()) {
  announcer_->onPicture = std::move(onPicture);
  std::string ignored;
  SetMode(width, height, ignored);
}

HostSurface::~HostSurface() { announcer_->alive = false; }

bool HostSurface::SetMode(int width, int height, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = "the surface has no size";
    return false;
  }
  std::lock_guard lock(mutex_);
  if (canvas_.width == width && canvas_.height == height) return true;
  canvas_.width = width;
  canvas_.height = height;
  canvas_.stride = width * 4;
  canvas_.pixels.resize(size_t(canvas_.stride) * size_t(height));
  FillBlack();
  return true;
}

void HostSurface::Clear() {
  std::lock_guard lock(mutex_);
  FillBlack();
}

void HostSurface::FillBlack() {
  for (size_t at = 0; at < canvas_.pixels.size(); at += 4) {
    canvas_.pixels[at] = canvas_.pixels[at + 1] = canvas_.pixels[at + 2] = 0;
    canvas_.pixels[at + 3] = 255;  // opaque
  }
  canvas_.ptsUs = canvas_.shownAtUs = -1;
}

int HostSurface::Width() const {
  std::lock_guard lock(mutex_);
  return canvas_.width;
}

int HostSurface::Height() const {
  std::lock_guard lock(mutex_);
  return canvas_.height;
}

SurfacePicture HostSurface::Snapshot() const {
  std::lock_guard lock(mutex_);
  return canvas_;
}

void HostSurface::Show(const YuvPicture& picture, const DisplayArea& area, int64_t ptsUs) {
  {
    std::lock_guard lock(mutex_);
    DisplayArea clipped = area;
    if (clipped.left < 0 || clipped.top < 0 || clipped.left + clipped.width > canvas_.width ||
        clipped.top + clipped.height > canvas_.height || clipped.width <= 0 || clipped.height <= 0 ||
        picture.width <= 0 || picture.height <= 0) {
      return;
    }
    Scaler& s = *scaler_;
    if (!s.context || s.sourceWidth != picture.width || s.sourceHeight != picture.height ||
        s.targetWidth != clipped.width || s.targetHeight != clipped.height) {
      s.context.reset(Av().sws_getContext(picture.width, picture.height, AV_PIX_FMT_YUV420P, clipped.width,
                                          clipped.height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
      s.sourceWidth = picture.width;
      s.sourceHeight = picture.height;
      s.targetWidth = clipped.width;
      s.targetHeight = clipped.height;
      if (!s.context) return;
    }
    uint8_t* target[4] = {canvas_.pixels.data() + size_t(clipped.top) * size_t(canvas_.stride) +
                              size_t(clipped.left) * 4,
                          nullptr, nullptr, nullptr};
    int targetStride[4] = {canvas_.stride, 0, 0, 0};
    Av().sws_scale(s.context.get(), picture.planes, picture.strides, 0, picture.height, target, targetStride);
    canvas_.ptsUs = ptsUs;
    canvas_.shownAtUs = NowUs();
  }
  Announce();
}

void HostSurface::Redraw() { Announce(); }

void HostSurface::Announce() {
  if (!handOver_ || !announcer_->onPicture) return;
  if (announcer_->pending.exchange(true)) return;  // the call on its way takes this picture too
  std::shared_ptr<Announcer> announcer = announcer_;
  handOver_->Post([announcer] {
    announcer->pending = false;
    if (announcer->alive) announcer->onPicture();
  });
}

}  // namespace media::player
