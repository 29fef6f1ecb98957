// Owners for the libraries' objects: each frees its object with the
// library's own free function when it goes, on every path (errors included).
// Internal to the media library.
#pragma once

#include <memory>
#include <vector>

#include "media/engine/engine_av.h"

namespace media {

struct PacketFree {
  void operator()(AVPacket* p) const { AV(av_packet_free)(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

inline PacketPtr NewPacket() { return PacketPtr(AV(av_packet_alloc)()); }

struct FrameFree {
  void operator()(AVFrame* f) const { AV(av_frame_free)(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// Sample planes made by av_samples_alloc: one block, planes[0] owns it.
class SamplePlanes {
 public:
  SamplePlanes() = default;
  ~SamplePlanes() { Free(); }
  SamplePlanes(const SamplePlanes&) = delete;
  SamplePlanes& operator=(const SamplePlanes&) = delete;
  SamplePlanes(SamplePlanes&& other) noexcept { *this = std::move(other); }
  SamplePlanes& operator=(SamplePlanes&& other) noexcept {
    if (this != &other) {
      Free();
      planes_.swap(other.planes_);
      capacity_ = other.capacity_;
      other.capacity_ = 0;
    }
    return *this;
  }

  // Room for at least `samples` per channel; grown only. False when memory
  // runs out (the planes are then empty).
  bool Reserve(int channels, int samples, AVSampleFormat format) {
    if (samples <= capacity_ && !planes_.empty()) return true;
    Free();
    planes_.assign(channels > 0 ? channels : 1, nullptr);
    if (AV(av_samples_alloc)(planes_.data(), nullptr, channels, samples, format, 0) < 0) {
      planes_.clear();
      return false;
    }
    capacity_ = samples;
    return true;
  }
  uint8_t** data() { return planes_.data(); }

 private:
  void Free() {
    if (!planes_.empty()) AV(av_freep)(&planes_[0]);
    planes_.clear();
    capacity_ = 0;
  }
  std::vector<uint8_t*> planes_;
  int capacity_ = 0;
};

}  // namespace media
