// Audio frames on their way to the encoder: volume, resampling and format
// conversion, timestamp sync (padding or dropping samples), and cutting the
// stream into the encoder's frame size through a FIFO.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media/av_owners.h"
#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/transcoder.h"

namespace media {

namespace {

template <typename T>
void ScaleIntegerSamples(T* samples, size_t count, int volume, int64_t lo, int64_t hi, int shift) {
  // The volume is a fixed-point gain in 1/256 steps, rounded to nearest.
  for (size_t i = 0; i < count; ++i) {
    int64_t v = (static_cast<int64_t>(samples[i]) * volume + (int64_t{128} << shift)) >> 8;
    samples[i] = static_cast<T>(std::clamp<int64_t>(v, lo, hi));
  }
}

}  // namespace

void TCustomFFmpeg::ApplyVolume(AVFrame* frame) {
  const int volume = settings_.audioVolume;
  const AVSampleFormat fmt = static_cast<AVSampleFormat>(frame->format);
  const bool planar = AV(av_sample_fmt_is_planar)(fmt);
  const int channels = frame->ch_layout.nb_channels;
  const int planes = planar ? channels : 1;
  const size_t count = static_cast<size_t>(frame->nb_samples) * (planar ? 1 : channels);
  if (AV(av_frame_make_writable)(frame) < 0) return;
  for (int p = 0; p < planes; ++p) {
    uint8_t* data = frame->extended_data[p];
    switch (AV(av_get_packed_sample_fmt)(fmt)) {
      case AV_SAMPLE_FMT_S16:
        ScaleIntegerSamples(reinterpret_cast<int16_t*>(data), count, volume, INT16_MIN, INT16_MAX, 0);
        break;
      case AV_SAMPLE_FMT_S32:
        ScaleIntegerSamples(reinterpret_cast<int32_t*>(data), count, volume, INT32_MIN, INT32_MAX, 16);
        break;
      case AV_SAMPLE_FMT_FLT: {
        float* f = reinterpret_cast<float*>(data);
        const float gain = volume / 256.0f;
        for (size_t i = 0; i < count; ++i) f[i] = std::clamp(f[i] * gain, -1.0f, 32767.0f / 32768.0f);
        break;
      }
      case AV_SAMPLE_FMT_DBL: {
        double* d = reinterpret_cast<double*>(data);
        const double gain = volume / 256.0;
        for (size_t i = 0; i < count; ++i) d[i] = std::clamp(d[i] * gain, -1.0, 32767.0 / 32768.0);
        break;
      }
      default:
        break;
    }
  }
}

void TCustomFFmpeg::WriteAudio(OutputStream& ost, InputStream& ist, AVFrame* frame) {
  TaskSettings& s = settings_;
  AVCodecContext* enc = ost.enc.get();
  const int outChannels = enc->ch_layout.nb_channels;
  const int inChannels = frame->ch_layout.nb_channels;
  const bool resample = frame->sample_rate != enc->sample_rate || s.audioSyncMethod > 1 ||
                        inChannels != outChannels || frame->format != enc->sample_fmt;
  if (resample) ost.audio.MatchResampler(frame, enc);

  // Converted samples land in the output stream's own buffer (grown only).
  const int maxOut = resample ? AV(swr_get_out_samples)(ost.audio.swr.get(), frame->nb_samples) : frame->nb_samples;
  if (maxOut < 0 || static_cast<int64_t>(maxOut) * outChannels * 8 > INT32_MAX) Raise("Buffer sizes too large in do_audio_out");
  const uint8_t* const* samples = frame->extended_data;
  int count = frame->nb_samples;
  if (resample) {
    if (!ost.audio.planes.Reserve(outChannels, maxOut, enc->sample_fmt)) Raise("Out of memory in do_audio_out");
    count = AV(swr_convert)(ost.audio.swr.get(), ost.audio.planes.data(), maxOut,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (count < 0) Raise("av_audio_convert() failed");
    samples = ost.audio.planes.data();
  }

  const double syncIpts = static_cast<double>(ist.pts - s.startTime) / AV_TIME_BASE;
  const int fifoSamples = AV(av_audio_fifo_size)(ost.audio.fifo.get());
  int skip = 0;
  if (s.audioSyncMethod != 0) {
    const double delta = syncIpts * enc->sample_rate - static_cast<double>(ost.syncOpts) - fifoSamples;
    if (std::fabs(delta) > 50) {
      if (ost.audio.start || std::fabs(delta) > s.audioDriftThreshold * enc->sample_rate) {
        if (delta < 0) {
          skip = static_cast<int>(std::min<double>(-delta, count));
          if (s.verbosity > 2) EngineLog(LogVerbose, FormatText("discarding %d audio samples", skip));
        } else {
          const int silence = static_cast<int>(delta);
          if (s.verbosity > 2) EngineLog(LogVerbose, FormatText("adding %d audio samples of silence", silence));
          SamplePlanes planes;
          if (!planes.Reserve(outChannels, silence, enc->sample_fmt)) Raise("Out of memory in do_audio_out");
          AV(av_samples_set_silence)(planes.data(), 0, silence, outChannels, enc->sample_fmt);
          int written = AV(av_audio_fifo_write)(ost.audio.fifo.get(), reinterpret_cast<void**>(planes.data()), silence);
          if (written < silence) Raise("av_fifo_realloc2() failed");
        }
        ost.audio.start = false;
      } else if (s.audioSyncMethod > 1) {
        int comp = static_cast<int>(std::clamp<double>(delta, -s.audioSyncMethod, s.audioSyncMethod));
        if (s.verbosity > 2)
          EngineLog(LogVerbose, FormatText("compensating audio timestamp drift:%f compensation:%d in:%d", delta, comp,
                                           count));
        if (ost.audio.swr != nullptr) AV(swr_set_compensation)(ost.audio.swr.get(), comp, enc->sample_rate);
      }
    }
  } else if (ost.audio.start) {
    ost.syncOpts = std::llround(syncIpts * enc->sample_rate) - fifoSamples;
    ost.audio.start = false;
  }

  if (count > skip) {
    const int bytesPerSample = AV(av_get_bytes_per_sample)(enc->sample_fmt);
    const bool planar = AV(av_sample_fmt_is_planar)(enc->sample_fmt);
    void* planes[64] = {};
    const int n = planar ? outChannels : 1;
    for (int p = 0; p < n && p < 64; ++p)
      planes[p] = const_cast<uint8_t*>(samples[p]) + static_cast<size_t>(skip) * bytesPerSample * (planar ? 1 : outChannels);
    if (AV(av_audio_fifo_write)(ost.audio.fifo.get(), planes, count - skip) < count - skip)
      Raise("av_fifo_realloc2() failed");
  }
  EncodeAudioFromFifo(ost, false);
}

void TCustomFFmpeg::EncodeAudioFromFifo(OutputStream& ost, bool drain) {
  AVCodecContext* enc = ost.enc.get();
  const bool fixedSize = enc->frame_size > 0 && !(enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  while (true) {
    const int available = AV(av_audio_fifo_size)(ost.audio.fifo.get());
    int take = fixedSize ? enc->frame_size : available;
    if (available <= 0 || (fixedSize && available < take && !drain)) return;
    AVFrame* f = ost.audio.frame.get();
    if (f->nb_samples != take || f->format != enc->sample_fmt || f->data[0] == nullptr) {
      AV(av_frame_unref)(f);
      f->nb_samples = take;
      f->format = enc->sample_fmt;
      f->sample_rate = enc->sample_rate;
      AV(av_channel_layout_copy)(&f->ch_layout, &enc->ch_layout);
      if (AV(av_frame_get_buffer)(f, 0) < 0) Raise("Out of memory in do_audio_out");
    } else if (AV(av_frame_make_writable)(f) < 0) {
      Raise("Out of memory in do_audio_out");
    }
    const int got =
        AV(av_audio_fifo_read)(ost.audio.fifo.get(), reinterpret_cast<void**>(f->data), std::min(available, take));
    if (got < take) {
      // The last, short frame is padded with silence to one whole frame.
      if (!drain) Raise("Internal error, buffer size too small");
      AV(av_samples_set_silence)(f->extended_data, got, take - got, enc->ch_layout.nb_channels, enc->sample_fmt);
    }
    f->pts = ost.syncOpts;
    ost.syncOpts += take;
    ++ost.frameNumber;
    if (AV(avcodec_send_frame)(enc, f) < 0) Raise("Audio encoding failed");
    DrainEncoder(ost, enc, false);
    if (got < take) return;
  }
}

}  // namespace media
