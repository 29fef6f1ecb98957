#include "media/engine/audio_conversion.h"

#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"

namespace media {

void AudioConversion::MatchResampler(const AVFrame* decoded, AVCodecContext* enc) {
  const int channels = decoded->ch_layout.nb_channels;
  if (swr != nullptr && inRate == decoded->sample_rate && inFmt == decoded->format && inChannels == channels) return;
  swr.reset();
  AVChannelLayout inLayout{};
  if (decoded->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    AV(av_channel_layout_default)(&inLayout, channels);
  else
    AV(av_channel_layout_copy)(&inLayout, &decoded->ch_layout);
  SwrContext* made = nullptr;
  int err = AV(swr_alloc_set_opts2)(&made, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &inLayout,
                                    static_cast<AVSampleFormat>(decoded->format), decoded->sample_rate, 0, nullptr);
  AV(av_channel_layout_uninit)(&inLayout);
  swr.reset(made);
  // Filter length 16 with 10 phase bits and a 0.8 cutoff: the classic
  // resampler's quality, which keeps the CPU cost of 22 kHz output low.
  if (err >= 0) {
    AV(av_opt_set_int)(made, "filter_size", 16, 0);
    AV(av_opt_set_int)(made, "phase_shift", 10, 0);
    AV(av_opt_set_int)(made, "linear_interp", 0, 0);
    AV(av_opt_set_double)(made, "cutoff", 0.8, 0);
  }
  if (err < 0 || AV(swr_init)(made) < 0)
    Raise("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", channels, decoded->sample_rate,
          enc->ch_layout.nb_channels, enc->sample_rate);
  inRate = decoded->sample_rate;
  inFmt = decoded->format;
  inChannels = channels;
}

void AudioConversion::Open(const AVCodecContext* enc) {
  fifo.reset(AV(av_audio_fifo_alloc)(enc->sample_fmt, enc->ch_layout.nb_channels, 1024));
  if (fifo == nullptr) Raise("av_fifo_alloc fail");
  frame = NewFrame();
  if (frame == nullptr) Raise("Out of memory in do_audio_out");
}

}  // namespace media
