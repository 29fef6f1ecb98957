// The figures a video encoder attaches to each packet (quality, picture type,
// squared error sums with PSNR asked for), for the last picture and the whole
// run. Internal to the engine.
#pragma once

#include <cstdint>
#include <string>

#include "media/av_forward.h"

namespace media {

// Peak signal-to-noise ratio of an 8-bit plane from its error sum divided by
// (pixels × 255²); a perfect copy reports a fixed ceiling.
double Psnr(double normalisedError);

struct EncoderStats {
  float lastQuality = 0;       // from the last encoded packet
  uint64_t lastError[3] = {};  // squared error sums of the last coded picture (with psnr)
  uint64_t errorSum[3] = {};   // and over the whole run
  bool hasErrors = false;
  int64_t codedPictures = 0;

  // Takes the figures of one encoded packet; returns its picture type letter
  // ('?' when the packet has none).
  char Take(const AVPacket* packet);
  // "PSNR=Y:.. U:.. V:.. *:.. " for the last picture, or over the whole run
  // when isLast; empty without error sums.
  std::string PsnrText(const AVCodecContext* enc, bool isLast) const;
};

}  // namespace media
