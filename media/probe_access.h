// The library object behind a probe, for the media library's own code (the
// engine binds a task's probe to its opened input, the player its own) and
// its tests. Hosts only see what the probe tells. Internal.
#pragma once

#include "media/av_forward.h"
#include "media/probe.h"

namespace media {

struct ProbeInputAccess {
  // Null when no file is open.
  static AVFormatContext* Input(const TCustomAVProbe& probe) { return probe.input_; }
  // Adopts an input someone else opened: read from, never closed or seeked
  // (null lets go of it).
  static void Attach(TCustomAVProbe& probe, AVFormatContext* context) { probe.AttachInput(context); }
};

}  // namespace media
