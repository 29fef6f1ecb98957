// Creating a task and returning it to its default settings.
#include "media/engine/engine_av.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"
#include "media/bitmap.h"
#include "media/bitmap_converter.h"
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
  if (Av().avformat_alloc_context != nullptr) CloseFiles();
  optionContexts_.reset();
  FrameHookRelease(hooks_);
}

void TCustomFFmpeg::Reset() {
  CloseFiles();
  optionContexts_.reset();
  settings_ = TaskSettings{};
  optionContexts_ = CreateOptionContexts(settings_.swsFlags);
  genericKinds_.clear();
  joined_ = false;
  joinSegment_ = 0;
  totalDuration_ = -1;
}

void TCustomFFmpeg::CloseFiles() {
  // The owners free everything; the order is kept here. The output streams
  // go first (encoders, converters and their frames), since their streams
  // belong to the output contexts; the decoders before the inputs whose
  // streams they read; the outputs last, each closing its file.
  outputStreams_.clear();
  vstatsFile_.reset();
  inputStreams_.clear();
  inputs_.clear();
  outputs_.clear();
  outputPlans_.clear();
  decoded_.reset();
  hookFrame_.reset();
  encPacket_.reset();
  hookConverter_->fromRGB.reset();
}

}  // namespace media
