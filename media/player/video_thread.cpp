// The video thread (decoding through a small filter chain into the
// two-picture queue, each picture timed against the master clock), the
// subtitle thread and the refresh thread that paces the display.
#include <algorithm>
#include <chrono>
#include <cmath>

#include "media/display_rotation.h"
#include "media/logger.h"
#include "media/player/player_core.h"
#include "media/utils.h"

namespace media::player {
namespace {

constexpr double kNoLastPts = -1e18;
// Timestamps of pictures and of a seek's target are rounded differently: a
// picture this close before the target is the picture at the target.
constexpr double kResumeTolerance = 0.001;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The chain between the decoder and the picture queue: a source fed with the
// decoder's pictures and a sink that takes planar YUV 4:2:0 only, so the
// graph converts other formats with its bilinear scaler.
struct FilterChain {
  FilterGraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  int width = 0, height = 0, format = -1;
  AVRational aspect{0, 1};

  // clockwise: how far the stream's pictures are turned for display (a
  // phone's portrait clip stored as landscape pictures).
  bool Build(const AVFrame* frame, AVRational timeBase, int clockwise) {
    graph.reset(Av().avfilter_graph_alloc());
    source = sink = nullptr;
    if (!graph) return false;
    graph->scale_sws_opts = Av().av_strdup("flags=bilinear");
    AVRational sar = frame->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
    std::string args = StringPrintf("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
                                    frame->height, frame->format, timeBase.num, timeBase.den, sar.num,
                                    std::max(sar.den, 1));
    if (Av().avfilter_graph_create_filter(&source, Av().avfilter_get_by_name("buffer"), "src", args.c_str(),
                                          nullptr, graph.get()) < 0 ||
        Av().avfilter_graph_create_filter(&sink, Av().avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                          graph.get()) < 0) {
      return false;
    }
    const AVPixelFormat accepted[] = {AV_PIX_FMT_YUV420P};
    if (Av().av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(accepted), sizeof(accepted),
                            AV_OPT_SEARCH_CHILDREN) < 0 ||
        !Link(RotationFilters(clockwise)) || Av().avfilter_graph_config(graph.get(), nullptr) < 0) {
      return false;
    }
    width = frame->width;
    height = frame->height;
    format = frame->format;
    aspect = sar;
    return true;
  }

 private:
  static const char* RotationFilters(int clockwise) {
    switch (clockwise) {
      case 90: return "transpose=clock";
      case 180: return "hflip,vflip";
      case 270: return "transpose=cclock";
      default: return "";
    }
  }

  // The source to the sink, through the filters described (if any).
  bool Link(const std::string& filters) {
    if (filters.empty()) return Av().avfilter_link(source, 0, sink, 0) >= 0;
    AVFilterInOut* outputs = Av().avfilter_inout_alloc();
    AVFilterInOut* inputs = Av().avfilter_inout_alloc();
    bool linked = false;
    if (outputs && inputs) {
      outputs->name = Av().av_strdup("in");
      outputs->filter_ctx = source;
      inputs->name = Av().av_strdup("out");
      inputs->filter_ctx = sink;
      linked = Av().avfilter_graph_parse_ptr(graph.get(), filters.c_str(), &inputs, &outputs, nullptr) >= 0;
    }
    Av().avfilter_inout_free(&inputs);
    Av().avfilter_inout_free(&outputs);
    return linked;
  }
};

// Subtitle palettes come as RGBA; the pictures are YUV: CCIR 601 with 10-bit
// fixed-point coefficients.
uint32_t RgbaToYuva(uint32_t argb) {
  constexpr int kBits = 10;
  auto fix = [](double x) { return int(x * (1 << kBits) + 0.5); };
  const int half = 1 << (kBits - 1);
  int a = int(argb >> 24), r = int((argb >> 16) & 255), g = int((argb >> 8) & 255), b = int(argb & 255);
  int y = (fix(0.29900 * 219 / 255) * r + fix(0.58700 * 219 / 255) * g + fix(0.11400 * 219 / 255) * b + half +
           (16 << kBits)) >> kBits;
  int u = ((-fix(0.16874 * 224 / 255) * r - fix(0.33126 * 224 / 255) * g + fix(0.50000 * 224 / 255) * b + half - 1) >>
           kBits) + 128;
  int v = ((fix(0.50000 * 224 / 255) * r - fix(0.41869 * 224 / 255) * g - fix(0.08131 * 224 / 255) * b + half - 1) >>
           kBits) + 128;
  auto clip = [](int x) { return uint32_t(std::clamp(x, 0, 255)); };
  return (uint32_t(a) << 24) | (clip(y) << 16) | (clip(u) << 8) | clip(v);
}

}  // namespace

void Pipeline::FlushPictures() {
  std::unique_lock lock(pictureMutex);
  for (PictureEntry& entry : pictures) entry.target = 0;
  pictureCond.wait(lock, [&] { return pictureCount == 0 || videoQueue.Aborted(); });
}

int Pipeline::GetVideoFrame(AVFrame* frame, int64_t& timestamp) {
  AVCodecContext* decoder = videoDecoder.get();
  for (;;) {
    if (videoPending) {
      int received = Av().avcodec_receive_frame(decoder, frame);
      if (received >= 0) {
        // best_effort_timestamp is the library's own choice between the
        // reordered and the decoding timestamp, counting faults of each.
        timestamp = frame->best_effort_timestamp;
        skipAccumulator += 1;
        const double skip = skipFactor;
        if (skipAccumulator >= skip) {
          skipAccumulator -= std::max(1.0, skip);
          return 1;
        }
        Av().av_frame_unref(frame);
        player.dropped++;
        continue;
      }
      videoPending = false;
      if (received == AVERROR_EOF) videoDrained = true;
    }
    QueuedPacket next;
    if (videoQueue.Get(next, true) < 0) return -1;
    if (next.flush) {
      Av().avcodec_flush_buffers(decoder);
      FlushPictures();
      videoResumeAt = next.resumeAt;
      firstPictureTimed = false;  // the first picture after it meets the sound anew
      currentPos = -1;
      lastPts = kNoLastPts;
      lastDelay = 0;
      frameTimer = Now();
      skipFactor = 1;
      skipAccumulator = 0;
      videoDrained = false;
      videoDraining = false;
      flushSeen = true;
      return 0;
    }
    if (next.packet->size == 0) {
      if (!videoDraining) {
        videoDraining = true;
        Av().avcodec_send_packet(decoder, nullptr);
        videoPending = true;
      } else if (videoDrained && !endReported) {
        ReleaseSound();  // no picture comes to wait for
        player.UpdatePosition(*this);
      }
      continue;
    }
    if (videoDraining) continue;  // nothing more goes in before a seek flushes
    if (Av().avcodec_send_packet(decoder, next.packet.get()) < 0) {
      Av().av_log(nullptr, AV_LOG_DEBUG, "a video packet did not decode\n");
    }
    videoPending = true;
  }
}

double Pipeline::TargetTime(double framePts) {
  if (!firstPictureTimed && audioStream && !paused) {
    // The sound starts before the first picture is decoded: the first
    // picture waits for its moment on the audio clock rather than starting
    // the pictures' own clock late, which the correction below would only
    // take up once the pictures trail by a whole picture's time.
    double ahead = framePts - MasterClock();
    if (std::fabs(ahead) < kNoSyncThreshold) frameTimer = Now() + std::max(0.0, ahead);
  }
  firstPictureTimed = true;
  double delay = framePts - lastPts;
  if (delay <= 0 || delay >= kNoSyncThreshold) {
    delay = lastDelay;
  } else {
    lastDelay = delay;
  }
  lastPts = framePts;
  if (audioStream) {
    double diff = VideoClock() - MasterClock();
    double threshold = std::max(kSyncThreshold, delay);
    if (std::fabs(diff) < kNoSyncThreshold) {
      if (diff <= -threshold) {
        delay = 0;
      } else if (diff >= threshold) {
        delay = 2 * delay;
      }
    }
  }
  frameTimer += delay;
  return frameTimer;
}

int Pipeline::QueuePicture(FramePtr frame, double pts, int64_t pos) {
  {
    std::unique_lock lock(pictureMutex);
    if (pictureCount >= kPictureQueueSize && !refreshPending) skipFactor = std::max(0.95, skipFactor.load() * 0.95);
    pictureCond.wait(lock, [&] { return pictureCount < kPictureQueueSize || videoQueue.Aborted(); });
    if (videoQueue.Aborted()) return -1;
  }
  outputWidth = frame->width & ~1;
  outputHeight = frame->height & ~1;
  if (player.hook) player.RunHook(*this, frame.get(), pts);
  PictureEntry& entry = pictures[pictureWrite];  // only this thread writes here
  entry.frame = std::move(frame);
  entry.pts = pts;
  entry.pos = pos;
  std::lock_guard lock(pictureMutex);
  entry.target = TargetTime(pts);
  pictureWrite = (pictureWrite + 1) % kPictureQueueSize;
  ++pictureCount;
  return 0;
}

void Pipeline::VideoThread() {
  FramePtr decoded = NewFrame();
  FilterChain chain;
  AVRational timeBase = videoStream->time_base;
  for (;;) {
    while (paused && !videoQueue.Aborted() && !pausedAtSeek && openPausedCountdown == 0) SleepMs(10);
    int64_t timestamp = AV_NOPTS_VALUE;
    int got = GetVideoFrame(decoded.get(), timestamp);
    if (got < 0) break;
    if (got == 0) continue;
    videoProgressUs = NowUs();
    if (videoResumeAt != kResumeAnywhere && timestamp != AV_NOPTS_VALUE) {
      // Decoding forward from the key frame before a seek's target: the
      // pictures before it are not shown (nor counted as dropped).
      if (double(timestamp) * av_q2d(timeBase) < videoResumeAt - kResumeTolerance) {
        Av().av_frame_unref(decoded.get());
        continue;
      }
      videoResumeAt = kResumeAnywhere;
    }
    decoded->pts = timestamp;
    if (!chain.graph || decoded->width != chain.width || decoded->height != chain.height ||
        decoded->format != chain.format) {
      if (!chain.Build(decoded.get(), timeBase, DisplayRotationOf(videoStream))) {
        player.LogMessage(llError, "the video filter chain cannot be built");
        break;
      }
    }
    if (Av().av_buffersrc_add_frame(chain.source, decoded.get()) < 0) break;
    for (;;) {
      FramePtr picture = NewFrame();
      if (Av().av_buffersink_get_frame(chain.sink, picture.get()) < 0) break;
      if (dropStale && flushSeen) {
        dropStale = false;
        pausedAtSeek = false;
      }
      double pts = picture->pts == AV_NOPTS_VALUE ? 0 : double(picture->pts) * av_q2d(timeBase);
      if (pts != 0) {
        videoClock = pts;
      } else {
        pts = videoClock;
      }
      AVRational rate = Av().av_guess_frame_rate(input, videoStream, picture.get());
      double frameDelay = rate.num > 0 && rate.den > 0 ? av_q2d(AVRational{rate.den, rate.num}) : av_q2d(timeBase);
      videoClock += frameDelay * (1 + 0.5 * picture->repeat_pict);
      int64_t position = picture->pkt_pos;
      if (QueuePicture(std::move(picture), pts, position) < 0) break;
      player.pictureQueued.Set();
      endReported = false;
      int countdown = openPausedCountdown;
      if (countdown > 1) {
        openPausedCountdown = 0;
        player.ReportOpenedPaused();
      } else if (countdown == 1) {
        openPausedCountdown = 2;
      }
    }
    if (videoQueue.Aborted()) break;
  }
  ReleaseSound();  // no more pictures: the sound does not wait for one
}

void Pipeline::SubtitleThread() {
  for (;;) {
    while (paused && !subtitleQueue.Aborted() && !pausedAtSeek) SleepMs(10);
    QueuedPacket next;
    if (subtitleQueue.Get(next, true) < 0) return;
    if (next.flush) {
      Av().avcodec_flush_buffers(subtitleDecoder.get());
      continue;
    }
    {
      std::unique_lock lock(subtitleMutex);
      subtitleCond.wait(lock, [&] { return subtitleCount < kSubtitleQueueSize || subtitleQueue.Aborted(); });
      if (subtitleQueue.Aborted()) return;
    }
    SubtitlePtr subtitle(new AVSubtitle{});
    int got = 0;
    if (Av().avcodec_decode_subtitle2(subtitleDecoder.get(), subtitle.get(), &got, next.packet.get()) < 0 || !got ||
        subtitle->format != 0) {
      continue;
    }
    for (unsigned r = 0; r < subtitle->num_rects; ++r) {
      AVSubtitleRect* rect = subtitle->rects[r];
      auto* palette = reinterpret_cast<uint32_t*>(rect->data[1]);
      for (int c = 0; palette && c < rect->nb_colors; ++c) palette[c] = RgbaToYuva(palette[c]);
    }
    double pts = next.packet->pts != AV_NOPTS_VALUE ? double(next.packet->pts) * av_q2d(subtitleStream->time_base) : 0;
    std::lock_guard lock(subtitleMutex);
    subtitles[subtitleWrite].pts = pts;
    subtitles[subtitleWrite].subtitle = std::move(subtitle);
    subtitleWrite = (subtitleWrite + 1) % kSubtitleQueueSize;
    ++subtitleCount;
  }
}

void Pipeline::RefreshThread(int periodMs) {
  // Reads nothing of the streams: the read thread closes them after the abort
  // this loop ends on, which may come before this thread even starts.
  while (!abort) {
    if (!refreshPending.exchange(true)) {
      player.PostLoopEvent(kRefreshEvent, this);
    }
    SleepMs(periodMs);
  }
}

}  // namespace media::player
