// Sample planes made by av_samples_alloc, owned: one block that planes[0]
// points at, freed when the owner goes (on error paths too).
#pragma once

#include <cstdint>
#include <vector>

namespace media {

class SamplePlanes {
 public:
  SamplePlanes() = default;
  ~SamplePlanes() { Free(); }
  SamplePlanes(const SamplePlanes&) = delete;
  SamplePlanes& operator=(const SamplePlanes&) = delete;
  SamplePlanes(SamplePlanes&& other) noexcept { *this = static_cast<SamplePlanes&&>(other); }
  SamplePlanes& operator=(SamplePlanes&& other) noexcept;

  // Room for at least `samples` per channel in the sample format (an
  // AVSampleFormat); grown only. False when memory runs out (the planes are
  // then empty).
  bool Reserve(int channels, int samples, int sampleFormat);
  uint8_t** data() { return planes_.data(); }

 private:
  void Free();
  std::vector<uint8_t*> planes_;
  int capacity_ = 0;
};

}  // namespace media
