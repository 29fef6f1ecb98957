// Creating a task and returning it to its default settings.
#include "media/engine/engine_av.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"
#include "media/bitmap.h"
#include "media/unicode_io.h"

namespace media {

TCustomFFmpeg::TCustomFFmpeg(int maxFiles)
    : maxFiles_(maxFiles),
      hookConverter_(std::make_unique<TBitmapConverter>()),
      previewConverter_(std::make_unique<TBitmapConverter>()) {
  if (Av().avformat_alloc_context != nullptr) Reset();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  Stop(true);
  if (worker_.joinable()) worker_.join();
  if (terminator_.joinable()) terminator_.join();
  if (Av().avformat_alloc_context != nullptr) CloseFiles();
  FreeOptionContexts(optionContexts_);
  FrameHookRelease(hooks_);
}

void TCustomFFmpeg::Reset() {
  CloseFiles();
  FreeOptionContexts(optionContexts_);
  optionContexts_ = nullptr;
  settings_ = TaskSettings{};
  optionContexts_ = CreateOptionContexts(settings_.swsFlags);
  genericKinds_.clear();
  joined_ = false;
  joinSegment_ = 0;
  totalDuration_ = -1;
}

void TCustomFFmpeg::CloseFiles() {
  for (OutputStream& ost : outputStreams_) {
    if (ost.enc != nullptr) AV(avcodec_free_context)(&ost.enc);
    if (ost.sws != nullptr) AV(sws_freeContext)(ost.sws);
    if (ost.scaled != nullptr) AV(av_frame_free)(&ost.scaled);
    if (ost.graph != nullptr) AV(avfilter_graph_free)(&ost.graph);
    if (ost.filtered != nullptr) AV(av_frame_free)(&ost.filtered);
    if (ost.swr != nullptr) AV(swr_free)(&ost.swr);
    if (ost.fifo != nullptr) AV(av_audio_fifo_free)(ost.fifo);
    if (ost.audioFrame != nullptr) AV(av_frame_free)(&ost.audioFrame);
    for (AVBSFContext*& b : ost.bsfs) AV(av_bsf_free)(&b);
    if (ost.passLog != nullptr) std::fclose(ost.passLog);
  }
  outputStreams_.clear();
  CloseVstatsFile();
  for (InputStream& ist : inputStreams_)
    if (ist.dec != nullptr) AV(avcodec_free_context)(&ist.dec);
  inputStreams_.clear();
  for (InputFile& in : inputs_)
    if (in.ctx != nullptr) CloseInputFile(&in.ctx);
  inputs_.clear();
  for (OutputFile& of : outputs_) {
    if (of.ctx == nullptr) continue;
    if (!(of.ctx->oformat->flags & AVFMT_NOFILE)) CloseOutputIo(&of.ctx->pb, of.staged);
    AV(avformat_free_context)(of.ctx);
    of.ctx = nullptr;
  }
  outputs_.clear();
  outputPlans_.clear();
  if (decoded_ != nullptr) AV(av_frame_free)(&decoded_);
  if (hookFrame_ != nullptr) AV(av_frame_free)(&hookFrame_);
  if (encPacket_ != nullptr) AV(av_packet_free)(&encPacket_);
  if (fromRgb_ != nullptr) {
    AV(sws_freeContext)(fromRgb_);
    fromRgb_ = nullptr;
  }
}

}  // namespace media
