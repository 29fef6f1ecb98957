#include "media/av_owners.h"

#include "media/av_headers.h"
#include "media/entry_points.h"
#include "media/unicode_io.h"

namespace media {

void FrameFree::operator()(AVFrame* frame) const { Av().av_frame_free(&frame); }
void PacketFree::operator()(AVPacket* packet) const { Av().av_packet_free(&packet); }
void CodecContextFree::operator()(AVCodecContext* context) const { Av().avcodec_free_context(&context); }
void FilterGraphFree::operator()(AVFilterGraph* graph) const { Av().avfilter_graph_free(&graph); }
void SwrFree::operator()(SwrContext* context) const { Av().swr_free(&context); }
void SwsFree::operator()(SwsContext* context) const { Av().sws_freeContext(context); }
void AudioFifoFree::operator()(AVAudioFifo* fifo) const { Av().av_audio_fifo_free(fifo); }
void BitstreamFilterFree::operator()(AVBSFContext* filter) const { Av().av_bsf_free(&filter); }

void SubtitleFree::operator()(AVSubtitle* subtitle) const {
  Av().avsubtitle_free(subtitle);
  delete subtitle;
}

void InputContextClose::operator()(AVFormatContext* context) const { CloseInputFile(&context); }

void OutputContextClose::operator()(AVFormatContext* context) const {
  if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) Av().avio_closep(&context->pb);
  Av().avformat_free_context(context);
}

FramePtr NewFrame() { return FramePtr(Av().av_frame_alloc()); }
PacketPtr NewPacket() { return PacketPtr(Av().av_packet_alloc()); }

}  // namespace media
