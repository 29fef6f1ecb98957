// Owners for the library objects the player holds: each one is freed by its
// own free function through the loader's entry points, exactly once.
#pragma once

#include <memory>

#include "media/entry_points.h"

namespace media::player {

struct FrameFree {
  void operator()(AVFrame* frame) const { Av().av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { Av().av_packet_free(&packet); }
};
struct CodecContextFree {
  void operator()(AVCodecContext* context) const { Av().avcodec_free_context(&context); }
};
struct FilterGraphFree {
  void operator()(AVFilterGraph* graph) const { Av().avfilter_graph_free(&graph); }
};
struct SwrFree {
  void operator()(SwrContext* context) const { Av().swr_free(&context); }
};
struct SwsFree {
  void operator()(SwsContext* context) const { Av().sws_freeContext(context); }
};
struct SubtitleFree {
  void operator()(AVSubtitle* subtitle) const {
    Av().avsubtitle_free(subtitle);
    delete subtitle;
  }
};

using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SubtitlePtr = std::unique_ptr<AVSubtitle, SubtitleFree>;

inline FramePtr NewFrame() { return FramePtr(Av().av_frame_alloc()); }
inline PacketPtr NewPacket() { return PacketPtr(Av().av_packet_alloc()); }

}  // namespace media::player
