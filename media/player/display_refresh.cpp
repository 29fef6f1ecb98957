// The display side of the pipeline, run by the player's event loop: which
// queued picture to show now, which to hold and which to drop, where on the
// surface it goes, and the waveform of files without pictures.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "media/logger.h"
#include "media/player/player_core.h"

namespace media::player {

bool Pipeline::OpenSurface(bool force) {
  int width = 640, height = 480;
  if (player.screenWidth > 0 && player.screenHeight > 0) {
    width = player.screenWidth;
    height = player.screenHeight;
  } else if (outputWidth > 0 && outputHeight > 0) {
    width = outputWidth;
    height = outputHeight;
  }
  Display* display = player.display;
  if (!display) return false;
  if (!force && surfaceOpen && display->Width() == width && display->Height() == height) return true;
  std::string error;
  if (!display->SetMode(width, height, error)) {
    player.Error("SDL: could not set video mode.", false);
    if (!error.empty()) player.LogMessage(llDebug, error);
    return false;
  }
  area = DisplayArea{0, 0, display->Width(), display->Height()};
  surfaceOpen = true;
  return true;
}

void Pipeline::ShowFrame(AVFrame* picture, double pts) {
  if (!surfaceOpen && !OpenSurface(false)) return;
  float forced = player.aspectRatio;
  double aspect;
  if (forced > 0) {
    aspect = forced;
  } else if (forced < 0 && area.width > 0 && area.height > 0) {
    aspect = double(area.width) / area.height;
  } else {
    AVRational sar = picture->sample_aspect_ratio;
    double sample = (sar.num > 0 && sar.den > 0) ? av_q2d(sar) : 1.0;
    aspect = sample * picture->width / std::max(picture->height, 1);
  }
  BlendSubtitle(picture);
  int height = area.height;
  int width = int(std::lrint(height * aspect)) & ~1;
  if (width > area.width) {
    width = area.width;
    height = int(std::lrint(width / aspect)) & ~1;
  }
  DisplayArea place{(area.width - width) / 2, (area.height - height) / 2, width, height};
  YuvPicture yuv;
  for (int plane = 0; plane < 3; ++plane) {
    yuv.planes[plane] = picture->data[plane];
    yuv.strides[plane] = picture->linesize[plane];
  }
  yuv.width = picture->width & ~1;
  yuv.height = picture->height & ~1;
  player.display->Show(yuv, place, int64_t(std::llround(pts * 1000000.0)) - startTimeUs);
}

void Pipeline::ShowCurrent() {
  if (!videoStream) {
    if (showMode != kShowNone) DrawWaveform();
    return;
  }
  FramePtr shown;
  double pts = 0;
  {
    std::lock_guard lock(player.shownMutex);
    if (player.shownFrame) {
      shown.reset(Av().av_frame_clone(player.shownFrame.get()));
      pts = player.shownPts;
    }
  }
  if (shown) {
    ShowFrame(shown.get(), pts);
    return;
  }
  std::lock_guard lock(pictureMutex);
  if (pictureCount > 0) ShowFrame(pictures[pictureRead].frame.get(), pictures[pictureRead].pts);
}

void Pipeline::ExpireSubtitles() {
  std::lock_guard lock(subtitleMutex);
  if (subtitleStreamChanged) {
    for (SubtitleEntry& entry : subtitles) entry.subtitle.reset();
    subtitleCount = subtitleRead = subtitleWrite = 0;
    subtitleStreamChanged = false;
  } else if (subtitleCount > 0) {
    SubtitleEntry& oldest = subtitles[subtitleRead];
    const SubtitleEntry* following = subtitleCount > 1 ? &subtitles[(subtitleRead + 1) % kSubtitleQueueSize] : nullptr;
    double ends = oldest.pts + double(oldest.subtitle->end_display_time) / 1000.0;
    double now = currentPts;
    if (now > ends || (following && now > following->pts + double(following->subtitle->start_display_time) / 1000.0)) {
      oldest.subtitle.reset();
      subtitleRead = (subtitleRead + 1) % kSubtitleQueueSize;
      --subtitleCount;
    }
  }
  subtitleCond.notify_all();
}

void Pipeline::BlendSubtitle(AVFrame* picture) {
  std::lock_guard lock(subtitleMutex);
  if (subtitleCount == 0) return;
  const SubtitleEntry& entry = subtitles[subtitleRead];
  if (currentPts < entry.pts + double(entry.subtitle->start_display_time) / 1000.0) return;
  if (Av().av_frame_make_writable(picture) < 0) return;
  for (unsigned r = 0; r < entry.subtitle->num_rects; ++r) {
    const AVSubtitleRect* rect = entry.subtitle->rects[r];
    const auto* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
    if (!palette || !rect->data[0]) continue;
    for (int y = 0; y < rect->h; ++y) {
      int row = rect->y + y;
      if (row < 0 || row >= picture->height) continue;
      for (int x = 0; x < rect->w; ++x) {
        int column = rect->x + x;
        if (column < 0 || column >= picture->width) continue;
        uint32_t yuva = palette[rect->data[0][y * rect->linesize[0] + x]];
        int alpha = int(yuva >> 24);
        if (alpha == 0) continue;
        auto blend = [alpha](uint8_t& target, int value) { target = uint8_t((target * (255 - alpha) + value * alpha) / 255); };
        blend(picture->data[0][row * picture->linesize[0] + column], int((yuva >> 16) & 255));
        if ((row & 1) == 0 && (column & 1) == 0) {
          blend(picture->data[1][(row / 2) * picture->linesize[1] + column / 2], int((yuva >> 8) & 255));
          blend(picture->data[2][(row / 2) * picture->linesize[2] + column / 2], int(yuva & 255));
        }
      }
    }
  }
}

void Pipeline::StartTogether() {
  if (!surfaceOpen) OpenSurface(false);  // a window can take long to open: not on the sound's time
  const double now = Now();
  const double clock = AudioClock();  // standing: the first sample to be heard
  std::lock_guard lock(pictureMutex);
  if (pictureCount == 0) return;
  // The queued pictures are timed anew from their own times: the first when
  // the sound reaches it, the others a picture's time apart.
  const double lead = pictures[pictureRead].pts - clock;
  double target = now + (lead > 0 && lead < kNoSyncThreshold ? lead : 0);
  double previous = pictures[pictureRead].pts;
  for (int i = 0; i < pictureCount; ++i) {
    PictureEntry& entry = pictures[(pictureRead + i) % kPictureQueueSize];
    const double step = entry.pts - previous;
    if (step > 0 && step < kNoSyncThreshold) target += step;
    entry.target = target;
    previous = entry.pts;
  }
  frameTimer = target;
  ReleaseSound();
}

void Pipeline::Refresh(bool advance) {
  if (videoStream) {
    if (advance && soundHeld && flushSeen && !dropStale && !seekRequest) StartTogether();
    for (;;) {
      PictureEntry* entry = nullptr;
      double nextTarget = 0;
      int queued;
      {
        std::lock_guard lock(pictureMutex);
        queued = pictureCount;
        if (queued > 0) {
          entry = &pictures[pictureRead];
          nextTarget = queued > 1 ? std::max(pictures[(pictureRead + 1) % kPictureQueueSize].target, entry->target)
                                  : entry->target + videoClock - entry->pts;
        }
      }
      if (!entry) {
        if (!advance) ShowCurrent();
        return;
      }
      // While paused the picture on screen stays, except the first one after
      // opening paused or seeking paused, and stale ones after a seek.
      int wanted = stillWanted.load();
      bool showOnce = paused && wanted > 0 && !seekRequest;
      if (!advance || (paused && !showOnce && !dropStale)) {
        if (!advance) ShowCurrent();
        return;
      }
      double now = Now();
      if (now < entry->target && !showOnce && !dropStale) return;
      currentPts = entry->pts;
      currentPtsDrift = entry->pts - now;
      currentPos = entry->pos;
      pictureShown = true;
      if ((!liveCapture && now > nextTarget && !showOnce) || dropStale) {
        skipFactor = skipFactor.load() * 1.05;
        if (queued > 1 || now > nextTarget + 0.5 || dropStale) {
          std::lock_guard lock(pictureMutex);
          entry->frame.reset();
          pictureRead = (pictureRead + 1) % kPictureQueueSize;
          --pictureCount;
          pictureCond.notify_all();
          player.dropped++;
          continue;
        }
      }
      ExpireSubtitles();
      ShowFrame(entry->frame.get(), entry->pts);
      player.RememberShown(entry->frame.get(), entry->pts);
      player.shown++;
      if (audioStream && !paused) {
        int64_t offset = std::llabs(std::llround((entry->pts - AudioClock()) * 1000000.0));
        player.avSumUs += offset;
        player.avSamples++;
        if (offset > player.avMaxUs) player.avMaxUs = offset;
      }
      if (showOnce) stillWanted.compare_exchange_strong(wanted, 0);  // requests made meanwhile stay
      {
        std::lock_guard lock(pictureMutex);
        entry->frame.reset();
        pictureRead = (pictureRead + 1) % kPictureQueueSize;
        --pictureCount;
        pictureCond.notify_all();
      }
      player.UpdatePosition(*this);
      return;
    }
  }
  if (audioStream) {
    if (showMode != kShowNone) DrawWaveform();
    player.UpdatePosition(*this);
  }
}

void Pipeline::DrawWaveform() {
  if (!surfaceOpen && !OpenSurface(false)) return;
  const int width = area.width & ~1, height = area.height & ~1;
  const int channels = std::max(audioChannels, 1);
  if (width <= 0 || height <= 0) return;
  const int16_t* ring = sampleRing.data();
  auto at = [&](int index) { return int(ring[((index % kSampleRingSize) + kSampleRingSize) % kSampleRingSize]); };
  int start;
  if (!paused) {
    int bytesLeft = audioBufferSize - audioBufferIndex;
    int64_t delay = bytesLeft / (2 * channels);
    // Before the device's first hand-over there is no time to count from:
    // NowUs() minus nothing would be hours of samples.
    if (const int64_t handedAt = lastCallbackUs.load(); handedAt > 0)
      delay -= int64_t(double(std::max<int64_t>(NowUs() - handedAt, 0)) / 1000000.0 * audioRate);
    delay += 2 * width;
    // The picture's samples lie within the ring, however late the device is.
    delay = std::min<int64_t>(std::max<int64_t>(delay, width), kSampleRingSize / channels);
    int index = sampleRingIndex - int(delay) * channels;
    // A rising zero crossing with the steepest slope, so the picture holds still.
    int best = INT_MIN;
    start = index;
    for (int step = 0; step < 1000; step += channels) {
      int candidate = index - step;
      int score = at(candidate) - at(candidate + 9 * channels);
      if (best < score && (at(candidate + 4 * channels) ^ at(candidate + 5 * channels)) < 0) {
        best = score;
        start = candidate;
      }
    }
    lastWaveStart = start;
  } else {
    start = lastWaveStart;
  }
  const size_t lumaSize = size_t(width) * size_t(height);
  waveCanvas.assign(lumaSize + lumaSize / 2, 0);
  std::memset(waveCanvas.data() + lumaSize, 128, lumaSize / 2);
  uint8_t* luma = waveCanvas.data();
  auto line = [&](int x, int y, int length) {
    for (int row = y; row < y + length && row < height; ++row) {
      if (row >= 0 && x >= 0 && x < width) luma[size_t(row) * size_t(width) + size_t(x)] = 255;
    }
  };
  const int band = height / channels;
  for (int channel = 0; channel < channels; ++channel) {
    int index = start + channel;
    int centre = channel * band + band / 2;
    for (int x = 0; x < width; ++x) {
      int length = (at(index) * (band * 9 / 20)) >> 15;
      if (length < 0) {
        line(x, centre, -length);
      } else {
        line(x, centre - length, length);
      }
      index += channels;
    }
  }
  for (int channel = 1; channel < channels; ++channel) {
    for (int x = 0; x < width; ++x) line(x, channel * band, 1);
  }
  YuvPicture yuv;
  yuv.planes[0] = luma;
  yuv.planes[1] = luma + lumaSize;
  yuv.planes[2] = luma + lumaSize + lumaSize / 4;
  yuv.strides[0] = width;
  yuv.strides[1] = yuv.strides[2] = width / 2;
  yuv.width = width;
  yuv.height = height;
  player.display->Show(yuv, DisplayArea{0, 0, width, height}, int64_t(std::llround(AudioClock() * 1000000.0)) - startTimeUs);
}

}  // namespace media::player
