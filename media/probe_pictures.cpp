// TAVProbe: seeking and decoding single pictures of a video stream.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <strings.h>

#include "media/av_utils.h"
#include "media/bitmap_converter.h"
#include "media/display_rotation.h"
#include "media/entry_points.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

namespace media {
namespace {
const AVRational kMicroseconds{1, 1000000};
}

TAVProbe::TAVProbe() : converter_(std::make_unique<TBitmapConverter>()) {}

// CloseFile's order. A probe that outlives the libraries (destroyed at the
// host's exit after they were unloaded) frees nothing: its owners leave their
// objects alone then (av_owners.h).
TAVProbe::~TAVProbe() { CloseFile(); }

void TAVProbe::ReadStreamSummary() {
  TCustomAVProbe::ReadStreamSummary();
  defaultStream_ = FirstVideoStream() >= 0 ? FirstVideoStream() : FirstAudioStream();
  startOffset_ = 0;
  if (!input_) return;
  int64_t start = defaultStream_ >= 0 ? input_->streams[defaultStream_]->start_time : input_->start_time;
  startOffset_ = start == kNoPts ? 0 : start;
}

void TAVProbe::CloseDecoder() {
  if (!decoder_) return;
  {
    std::lock_guard lock(CodecLock());
    decoder_.reset();
  }
  decoderStream_ = -1;
  draining_ = false;
}

void TAVProbe::CloseFile() {
  defaultStream_ = -1;
  startOffset_ = -1;
  decodeStream_ = -1;
  endOfStream_ = false;
  // Pictures first (the cached ones share the decoder's buffers), then the
  // decoder, then the input it read.
  ResetPicture();
  previousPTS_ = kNoPts;
  previousPos_ = -1;
  frame_.reset();
  packet_.reset();
  pictureBuffer_.reset();
  pictureBufferSize_ = 0;
  std::fill(std::begin(pictureData_), std::end(pictureData_), nullptr);
  std::fill(std::begin(pictureLinesize_), std::end(pictureLinesize_), 0);
  ResetConverter(*converter_);
  CloseDecoder();
  TCustomAVProbe::CloseFile();
}

void TAVProbe::ResetPicture() {
  ClearPictureCache();
  if (currentPTS_ != kNoPts) previousPTS_ = currentPTS_;
  if (picturePos_ != -1) previousPos_ = picturePos_;
  picturePixFmt_ = pictureWidth_ = pictureHeight_ = -1;
  keyFrame_ = false;
  pictureType_ = 0;
  currentPTS_ = packetDTS_ = packetPTS_ = kNoPts;
  packetStreamIndex_ = -1;
  picturePos_ = -1;
  pictureReady_ = false;
}

bool TAVProbe::IsStillImage() const {
  // Today's library opens most single pictures with an image pipe demuxer
  // ("png_pipe", "jpeg_pipe"...) rather than "image2"; both hold one picture.
  std::string name = FormatName();
  if (strcasecmp(name.c_str(), "image2") == 0) return true;
  return name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0;
}

int64_t TAVProbe::IoPosition() const {
  return input_ && input_->pb ? Av().avio_seek(input_->pb, 0, SEEK_CUR) : -1;
}

bool TAVProbe::CheckSeekable(bool forSeeking) {
  if (!input_) {
    SetError(24, "file not loaded.");
    return false;
  }
  if (!OwnsInput()) {
    SetError(24, "file cannot be seeked, handle is readonly.");
    throw std::runtime_error("file cannot be seeked, handle is readonly.");
  }
  if (forSeeking && IsStillImage()) {
    SetError(32, "\"image2\" format cannot to be seeked.");
    return false;
  }
  return true;
}

bool TAVProbe::SeekTo(uint8_t flags, int64_t timestamp) {
  if (!CheckSeekable(true)) return false;
  AVIOContext* io = input_->pb;
  if (io) SetError(48, StringPrintf("currunt position %lld bytes", (long long)IoPosition()));
  int64_t t = timestamp < 0 ? 0 : timestamp;
  if (!(flags & AVSEEK_FLAG_BYTE)) {
    if (defaultStream_ >= 0) t = Av().av_rescale_q(t, kMicroseconds, input_->streams[defaultStream_]->time_base);
    if (startOffset_ > 0) t += startOffset_;
  }
  if (decoder_) Av().avcodec_flush_buffers(decoder_.get());
  draining_ = false;
  endOfStream_ = false;
  ResetPicture();
  // An end of file met by earlier reading must not be taken for where the
  // seek landed: demuxers that seek through their index leave it standing.
  if (io) io->eof_reached = 0;

  int low = flags & 0x0f;
  int result;
  if (timestamp > 0) {
    result = Av().av_seek_frame(input_, defaultStream_, t, low);
  } else {
    // Time 0 lies before every stream's first timestamp, so demuxers that
    // search by timestamp land on the first packet, not just past it.
    result = Av().av_seek_frame(input_, defaultStream_, 0, low | AVSEEK_FLAG_BACKWARD);
    if (result < 0) result = Av().av_seek_frame(input_, defaultStream_, timestamp, low & ~AVSEEK_FLAG_BACKWARD);
  }
  if (result < 0) {
    if (flags & AVSEEK_FLAG_BYTE) {
      SetError(16, StringPrintf("could not seek to position %lld bytes", (long long)timestamp));
    } else {
      SetError(16, StringPrintf("could not seek to position %0.3f seconds", double(timestamp) / 1000000));
    }
  }
  if (io) {
    SetError(48, StringPrintf("seek to position %lld bytes", (long long)IoPosition()));
    if (Av().avio_feof(io)) {
      if (result >= 0) SetError(32, "stream eof reached.");
      endOfStream_ = true;
      return false;
    }
  }
  return result >= 0;
}

int TAVProbe::SelectVideoStream(int index) {
  if (!CheckSeekable(false)) return -1;
  if (index == -1) index = decodeStream_ >= 0 ? decodeStream_ : FirstVideoStream();
  if (index == -1) {
    SetError(16, "no video stream.");
    return -1;
  }
  if (index < 0 || index >= StreamCount()) {
    SetError(16, StringPrintf("stream index #%d is invalid.", index));
    return -1;
  }
  if (input_->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    SetError(16, StringPrintf("stream #%d is not video stream.", index));
    return -1;
  }
  if (index != decodeStream_) ResetPicture();
  decodeStream_ = index;
  return index;
}

bool TAVProbe::OpenDecoder(int index) {
  const AVCodecParameters* parameters = input_->streams[index]->codecpar;
  if (parameters->width == 0 || parameters->height == 0) {
    SetError(16, "frame size of codec is invalid.");
    return false;
  }
  if (decoder_ && decoderStream_ == index) return true;
  CloseDecoder();
  const AVCodec* codec = Av().avcodec_find_decoder(parameters->codec_id);
  if (!codec) {
    SetError(16, StringPrintf("Unsupported codec (id=%d) for input file stream #%d", int(parameters->codec_id), index));
    return false;
  }
  CodecContextPtr context(Av().avcodec_alloc_context3(codec));
  bool opened = false;
  if (context && Av().avcodec_parameters_to_context(context.get(), parameters) >= 0) {
    context->pkt_timebase = input_->streams[index]->time_base;
    std::lock_guard lock(CodecLock());
    opened = Av().avcodec_open2(context.get(), codec, nullptr) >= 0;
  }
  if (!opened) {
    {
      std::lock_guard lock(CodecLock());
      context.reset();
    }
    SetError(16, StringPrintf("Error while opening codec for input file stream #%d", index));
    return false;
  }
  decoder_ = std::move(context);
  decoderStream_ = index;
  draining_ = false;
  return true;
}

bool TAVProbe::ReadNextFrame(int streamIndex) {
  int index = SelectVideoStream(streamIndex);
  if (index < 0) return false;
  if (IsStillImage() && pictureReady_) return true;  // a still image keeps its one picture
  if (index == decodeStream_ && pictureCacheIndex_ + 1 < static_cast<int>(pictureCache_.size())) {
    // Back over pictures already decoded: hand out the next one again.
    const CachedPicture& next = pictureCache_[++pictureCacheIndex_];
    StorePicture(next.frame.get(), next.position);
    return true;
  }
  if (endOfStream_) {
    SetError(32, "stream eof reached.");
    return false;
  }
  if (!OpenDecoder(index)) return false;
  if (!frame_) frame_ = NewFrame();
  if (!packet_) packet_ = NewPacket();
  if (!frame_ || !packet_) return false;

  int64_t position = IoPosition();
  for (;;) {
    // A decoder with reordering holds pictures back: take one when it has it.
    int received = Av().avcodec_receive_frame(decoder_.get(), frame_.get());
    if (received >= 0) {
      const int64_t at = frame_->pkt_pos >= 0 ? frame_->pkt_pos : position;
      StorePicture(frame_.get(), at);
      CachePicture(frame_.get(), at);
      Av().av_frame_unref(frame_.get());
      return true;
    }
    // Drained. A picture that failed to decode is skipped like a damaged
    // packet: the next packets may decode again.
    if (received == AVERROR_EOF || draining_) break;

    position = IoPosition();
    if (Av().av_read_frame(input_, packet_.get()) < 0) {
      // End of the input: let the decoder hand out the pictures it still holds.
      draining_ = true;
      Av().avcodec_send_packet(decoder_.get(), nullptr);
      continue;
    }
    if (packet_->stream_index == index) {
      // A damaged packet is skipped; the next one may decode.
      Av().avcodec_send_packet(decoder_.get(), packet_.get());
    }
    Av().av_packet_unref(packet_.get());
  }
  SetError(32, "stream eof reached.");
  endOfStream_ = true;
  return false;
}

void TAVProbe::StorePicture(const AVFrame* frame, int64_t position) {
  const AVStream* stream = input_->streams[decodeStream_];
  int size = Av().av_image_get_buffer_size(AVPixelFormat(frame->format), frame->width, frame->height, 1);
  if (size > pictureBufferSize_) {
    pictureBuffer_.reset();  // the old picture goes before the larger one is taken
    pictureBuffer_.reset(static_cast<uint8_t*>(Av().av_malloc(size_t(size))));
    pictureBufferSize_ = pictureBuffer_ ? size : 0;
  }
  picturePixFmt_ = frame->format;
  pictureWidth_ = frame->width;
  pictureHeight_ = frame->height;
  keyFrame_ = frame->key_frame == 1;
  pictureType_ = frame->pict_type >= 0 && frame->pict_type <= 7 ? int(frame->pict_type) : 0;

  // The picture's own time, carried through reordering by the decoder; the
  // packet times are fallbacks only: with B-frames they belong to another picture.
  int64_t ts = frame->best_effort_timestamp;
  if (ts == kNoPts) ts = frame->pts;
  if (ts == kNoPts) ts = frame->pkt_dts;

  // The packet line comes before the picture's own "decode PTS" line.
  FFLogger().LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, pict_type=%d", decodeStream_,
                    (long long)frame->pkt_dts, (long long)frame->pts, frame->key_frame ? AV_PKT_FLAG_KEY : 0,
                    pictureType_);
  if (currentPTS_ != kNoPts) previousPTS_ = currentPTS_;
  if (ts == kNoPts) {
    currentPTS_ = kNoPts;
  } else {
    if (stream->start_time != kNoPts) ts -= stream->start_time;
    currentPTS_ = Av().av_rescale_q(ts, stream->time_base, kMicroseconds);
    Av().av_log(nullptr, AV_LOG_DEBUG, "decode PTS: %0.3f\n", double(currentPTS_) / 1000000);
  }
  packetDTS_ = frame->pkt_dts;
  packetPTS_ = frame->pts;
  packetStreamIndex_ = decodeStream_;
  if (picturePos_ != -1) previousPos_ = picturePos_;
  picturePos_ = position;

  if (!pictureBuffer_) {
    pictureReady_ = false;
    return;
  }
  Av().av_image_fill_arrays(pictureData_, pictureLinesize_, pictureBuffer_.get(), AVPixelFormat(frame->format),
                            frame->width, frame->height, 1);
  Av().av_image_copy(pictureData_, pictureLinesize_, const_cast<const uint8_t**>(frame->data), frame->linesize,
                     AVPixelFormat(frame->format), frame->width, frame->height);
  pictureReady_ = true;
}

void TAVProbe::CachePicture(const AVFrame* frame, int64_t position) {
  // A cache that does not end with the picture before this one cannot be
  // continued. Key frames do not empty it: a step back across one is as
  // cheap as any other.
  if (pictureCacheIndex_ != static_cast<int>(pictureCache_.size()) - 1) ClearPictureCache();
  FramePtr copy(Av().av_frame_clone(frame));  // shares the decoder's buffers
  if (copy == nullptr) {
    ClearPictureCache();
    return;
  }
  const int bytes = Av().av_image_get_buffer_size(AVPixelFormat(frame->format), frame->width, frame->height, 1);
  pictureCache_.push_back({std::move(copy), position, bytes > 0 ? size_t(bytes) : 0});
  pictureCacheBytes_ += pictureCache_.back().bytes;
  pictureCacheIndex_ = static_cast<int>(pictureCache_.size()) - 1;
  // About 200 pictures of 640x480; a step back past the oldest kept one
  // seeks and decodes as before.
  constexpr size_t kCacheLimit = size_t(96) << 20;
  size_t dropped = 0;
  while (pictureCacheBytes_ > kCacheLimit && pictureCache_.size() - dropped > 1) {
    pictureCacheBytes_ -= pictureCache_[dropped].bytes;
    ++dropped;
  }
  // Their frames go with them.
  pictureCache_.erase(pictureCache_.begin(), pictureCache_.begin() + static_cast<std::ptrdiff_t>(dropped));
  pictureCacheIndex_ -= static_cast<int>(dropped);
}

void TAVProbe::ClearPictureCache() {
  pictureCache_.clear();
  pictureCacheIndex_ = -1;
  pictureCacheBytes_ = 0;
}

bool TAVProbe::ReadPreviousFrame(int streamIndex) {
  int index = SelectVideoStream(streamIndex);
  if (index < 0) return false;
  if (index == decodeStream_ && pictureCacheIndex_ > 0) {
    const int target = pictureCacheIndex_ - 1;
    const bool keyFrame = pictureCache_[target].frame->key_frame == 1;
    // A kept picture that is neither a key frame nor preceded by a kept one
    // (older ones were let go) is decoded again like any other.
    if (keyFrame || target > 0) {
      pictureCacheIndex_ = target;
      endOfStream_ = false;  // as after the seek a step back would make
      // Decoding again from the key frame would have shown the picture
      // before the target last: it becomes the previous one here too. A key
      // frame follows a seek, which leaves the picture stepped from as the
      // previous one.
      if (!keyFrame) StorePicture(pictureCache_[target - 1].frame.get(), pictureCache_[target - 1].position);
      StorePicture(pictureCache_[target].frame.get(), pictureCache_[target].position);
      return true;
    }
  }
  int64_t d = FrameDuration(input_->streams[index]->r_frame_rate);
  int64_t reference = currentPTS_ != kNoPts ? currentPTS_ : previousPTS_ != kNoPts ? previousPTS_ : 0;
  int64_t target = reference - 2 * d;
  if (!SeekBackToKeyFrame(index)) return false;
  while (currentPTS_ <= target) {
    if (!ReadNextFrame(index)) return false;
  }
  return true;
}

bool TAVProbe::SeekBackToKeyFrame(int streamIndex) {
  int index = SelectVideoStream(streamIndex);
  if (index < 0) return false;
  int64_t d = FrameDuration(input_->streams[index]->r_frame_rate);
  int64_t t = currentPTS_ != kNoPts    ? currentPTS_
              : previousPTS_ != kNoPts ? previousPTS_
              : input_->duration != kNoPts ? input_->duration
                                          : 0;
  // Whether a seek went back far enough is judged by the picture it leads to:
  // today's demuxers often move the I/O position only on the next read, so the
  // position right after a seek tells nothing.
  // Steps grow one frame at a time, then double: damaged timestamps cannot
  // make this walk back frame by frame through a whole file.
  for (int64_t k = 1;; k = k < 8 ? k + 1 : k * 2) {
    SeekTo(AVSEEK_FLAG_BACKWARD, t - k * d);
    if (ReadNextFrame(index)) {
      if (currentPTS_ < t || currentPTS_ <= 0) return true;
    }
    // Once the seek reached the file's start, nothing earlier exists.
    if (t < k * d || k > (int64_t(1) << 40)) break;
  }
  lastErrorMessage_ = "Could not seek to the previous key-frame. " + lastErrorMessage_;
  return false;
}

bool TAVProbe::CopyPictureTo(Bitmap& bitmap) {
  if (!pictureReady_) {
    SetError(16, "picture not ready, please decode first");
    return false;
  }
  const uint8_t* data[4] = {pictureData_[0], pictureData_[1], pictureData_[2], pictureData_[3]};
  if (PictureToBitmap(*converter_, data, pictureLinesize_, picturePixFmt_, pictureHeight_, pictureWidth_)) {
    bitmap = *converter_->bitmap;
    // Upright, as the clip is shown and converted (a phone's portrait clip
    // is stored turned).
    if (input_ != nullptr && decodeStream_ >= 0 && decodeStream_ < static_cast<int>(input_->nb_streams))
      RotateBitmap(bitmap, DisplayRotationOf(input_->streams[decodeStream_]));
    return true;
  }
  bitmap.Resize(pictureWidth_, pictureHeight_);  // black
  Av().av_log(nullptr, AV_LOG_ERROR, "convert picture to bitmap failed\n");
  return false;
}

double TAVProbe::PictureSampleAspect() const {
  if (input_ == nullptr || decodeStream_ < 0 || decodeStream_ >= static_cast<int>(input_->nb_streams)) return 1.0;
  AVStream* stream = input_->streams[decodeStream_];
  const AVRational sar = Av().av_guess_sample_aspect_ratio(input_, stream, nullptr);
  if (sar.num <= 0 || sar.den <= 0) return 1.0;
  const double aspect = double(sar.num) / sar.den;
  const int rotation = DisplayRotationOf(stream);
  return rotation == 90 || rotation == 270 ? 1.0 / aspect : aspect;
}

}  // namespace media
