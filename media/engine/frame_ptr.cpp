#include "media/engine/frame_ptr.h"

#include "media/engine/engine_av.h"

namespace media {

void FrameFree::operator()(AVFrame* frame) const { AV(av_frame_free)(&frame); }

}  // namespace media
