// Owners for the libraries' objects: each frees its object with the
// library's own free function when it goes, on every path (errors included).
// Internal to the media library.
#pragma once

#include <memory>

#include "media/engine/engine_av.h"
#include "media/engine/frame_ptr.h"
#include "media/engine/sample_planes.h"

namespace media {

struct PacketFree {
  void operator()(AVPacket* p) const { AV(av_packet_free)(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

inline PacketPtr NewPacket() { return PacketPtr(AV(av_packet_alloc)()); }

}  // namespace media
