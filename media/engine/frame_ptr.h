// An owned picture or audio frame, for headers that only forward-declare the
// libraries' structures (the free function lives in frame_ptr.cpp).
#pragma once

#include <memory>

#include "media/av_forward.h"

namespace media {

struct FrameFree {
  void operator()(AVFrame* frame) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

}  // namespace media
