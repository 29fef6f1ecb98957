#include "media/engine/sample_planes.h"

#include "media/engine/engine_av.h"

namespace media {

SamplePlanes& SamplePlanes::operator=(SamplePlanes&& other) noexcept {
  if (this != &other) {
    Free();
    planes_.swap(other.planes_);
    capacity_ = other.capacity_;
    other.capacity_ = 0;
  }
  return *this;
}

bool SamplePlanes::Reserve(int channels, int samples, int sampleFormat) {
  if (samples <= capacity_ && !planes_.empty()) return true;
  Free();
  planes_.assign(channels > 0 ? channels : 1, nullptr);
  if (AV(av_samples_alloc)(planes_.data(), nullptr, channels, samples, static_cast<AVSampleFormat>(sampleFormat), 0) <
      0) {
    planes_.clear();
    return false;
  }
  capacity_ = samples;
  return true;
}

void SamplePlanes::Free() {
  if (!planes_.empty() && planes_[0] != nullptr) AV(av_freep)(&planes_[0]);
  planes_.clear();
  capacity_ = 0;
}

}  // namespace media
