// Owners for the libraries' objects, for the whole media library (engine,
// probe, player): each frees its object with the library's own free function
// when it goes, on every path (errors included), exactly once. The free
// functions live in av_owners.cpp, so headers that only forward-declare the
// libraries' structures (av_forward.h) can hold owners too. An owner that goes
// after its library was unloaded leaves its object alone: the code that could
// free it went with the library. Shared with the public probe header (the
// probe's private part holds its objects in these owners); hosts never use it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "media/av_forward.h"

namespace media {

struct FrameFree {
  void operator()(AVFrame* frame) const;
};
struct PacketFree {
  void operator()(AVPacket* packet) const;
};
struct CodecContextFree {
  void operator()(AVCodecContext* context) const;
};
struct FilterGraphFree {
  void operator()(AVFilterGraph* graph) const;
};
struct SwrFree {
  void operator()(SwrContext* context) const;
};
struct SwsFree {
  void operator()(SwsContext* context) const;
};
struct AudioFifoFree {
  void operator()(AVAudioFifo* fifo) const;
};
struct BitstreamFilterFree {
  void operator()(AVBSFContext* filter) const;
};
// A subtitle made with `new`: its rectangles go first, then the record.
struct SubtitleFree {
  void operator()(AVSubtitle* subtitle) const;
};
// A format context that never opened a file (an option table).
struct FormatContextFree {
  void operator()(AVFormatContext* context) const;
};
// An opened input (also one opened through our Unicode file layer).
struct InputContextClose {
  void operator()(AVFormatContext* context) const;
};
// An output: a file still open (one made by avio_open) is closed, except by
// writers that open their own files (marked no-file), then the context goes
// with the streams it owns. The engine's outputs close their files
// themselves first (output_staging.h), which leaves nothing open here.
struct OutputContextClose {
  void operator()(AVFormatContext* context) const;
};
// Bytes from av_malloc (a plain block, not a reference-counted buffer).
struct AvMallocFree {
  void operator()(void* bytes) const;
};
struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using BitstreamFilterPtr = std::unique_ptr<AVBSFContext, BitstreamFilterFree>;
using SubtitlePtr = std::unique_ptr<AVSubtitle, SubtitleFree>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextFree>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextClose>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextClose>;
using AvMallocPtr = std::unique_ptr<uint8_t[], AvMallocFree>;
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

// Empty (null) when memory runs out.
FramePtr NewFrame();
PacketPtr NewPacket();

}  // namespace media
