#include "media/av_owners.h"

#include "media/av_headers.h"
#include "media/entry_points.h"
#include "media/unicode_io.h"

namespace media {
namespace {

// Unloading a library empties its slots. An object still owned then is left
// alone: the code that could free it is gone, and calling the empty slot would
// crash whoever outlived the library (a probe destroyed at the host's exit).
template <typename Free, typename... Args>
void FreeIfLoaded(Free free, Args... args) {
  if (free != nullptr) free(args...);
}

}  // namespace

void FrameFree::operator()(AVFrame* frame) const { FreeIfLoaded(Av().av_frame_free, &frame); }
void PacketFree::operator()(AVPacket* packet) const { FreeIfLoaded(Av().av_packet_free, &packet); }
void CodecContextFree::operator()(AVCodecContext* context) const {
  FreeIfLoaded(Av().avcodec_free_context, &context);
}
void FilterGraphFree::operator()(AVFilterGraph* graph) const { FreeIfLoaded(Av().avfilter_graph_free, &graph); }
void SwrFree::operator()(SwrContext* context) const { FreeIfLoaded(Av().swr_free, &context); }
void SwsFree::operator()(SwsContext* context) const { FreeIfLoaded(Av().sws_freeContext, context); }
void AudioFifoFree::operator()(AVAudioFifo* fifo) const { FreeIfLoaded(Av().av_audio_fifo_free, fifo); }
void BitstreamFilterFree::operator()(AVBSFContext* filter) const { FreeIfLoaded(Av().av_bsf_free, &filter); }
void AvMallocFree::operator()(void* bytes) const { FreeIfLoaded(Av().av_free, bytes); }

void SubtitleFree::operator()(AVSubtitle* subtitle) const {
  FreeIfLoaded(Av().avsubtitle_free, subtitle);
  delete subtitle;
}

void FormatContextFree::operator()(AVFormatContext* context) const {
  FreeIfLoaded(Av().avformat_free_context, context);
}

void InputContextClose::operator()(AVFormatContext* context) const {
  if (Av().avformat_close_input != nullptr) CloseInputFile(&context);
}

void OutputContextClose::operator()(AVFormatContext* context) const {
  if (Av().avformat_free_context == nullptr) return;
  if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) Av().avio_closep(&context->pb);
  Av().avformat_free_context(context);
}

FramePtr NewFrame() { return FramePtr(Av().av_frame_alloc()); }
PacketPtr NewPacket() { return PacketPtr(Av().av_packet_alloc()); }

}  // namespace media
