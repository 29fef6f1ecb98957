// The sound path: SDL's audio callback decodes the audio queue into signed
// 16-bit samples, mixes them at the player's volume (or silence when muted)
// and moves the audio clock, the master clock of playback.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/logger.h"
#include "media/player/call_scope.h"
#include "media/player/player_core.h"
#include "media/utils.h"

namespace media::player {

// With sound as the master clock the stretching of audio frames toward
// another clock never acts, so it is not carried here.

int Pipeline::DecodeAudioFrame() {
  AVCodecContext* decoder = audioDecoder.get();
  for (;;) {
    if (audioPacketPending) {
      int received = Av().avcodec_receive_frame(decoder, audioFrame.get());
      if (received >= 0) {
        AVFrame* frame = audioFrame.get();
        if (!resampler || resamplerFormat != frame->format || resamplerRate != frame->sample_rate ||
            resamplerLayout != frame->ch_layout.u.mask) {
          AVChannelLayout outLayout{};
          Av().av_channel_layout_default(&outLayout, audioChannels);
          SwrContext* made = nullptr;
          bool ok = Av().swr_alloc_set_opts2(&made, &outLayout, AV_SAMPLE_FMT_S16, audioRate, &frame->ch_layout,
                                             AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) >= 0 &&
                    Av().swr_init(made) >= 0;
          resampler.reset(made);
          if (!ok) {
            resampler.reset();
            const char* source = Av().av_get_sample_fmt_name(AVSampleFormat(frame->format));
            player.Error(StringPrintf("Cannot convert %s sample format to %s sample format", source ? source : "?",
                                      Av().av_get_sample_fmt_name(AV_SAMPLE_FMT_S16)),
                         false);
            Av().av_frame_unref(frame);
            continue;
          }
          resamplerFormat = frame->format;
          resamplerRate = frame->sample_rate;
          resamplerLayout = frame->ch_layout.u.mask;
        }
        int bytesPerFrame = 2 * audioChannels;
        uint8_t* out = audioBuffer.data();
        int converted = Av().swr_convert(resampler.get(), &out, kAudioBufferBytes / bytesPerFrame,
                                         const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        int64_t timestamp = frame->best_effort_timestamp;
        Av().av_frame_unref(frame);
        if (converted < 0) {
          player.LogMessage(llError, "av_audio_convert() failed");
          continue;
        }
        if (converted == 0) continue;
        if (timestamp != AV_NOPTS_VALUE) audioClock = double(timestamp) * av_q2d(audioStream->time_base);
        if (audioResumeAt != kResumeAnywhere) {
          // After a seek: the samples before the asked time are not played.
          const long early = std::lround((audioResumeAt - audioClock) * audioRate);
          if (early >= converted) continue;
          audioResumeAt = kResumeAnywhere;
          if (early > 0) {
            std::memmove(out, out + early * bytesPerFrame, size_t(converted - early) * size_t(bytesPerFrame));
            converted -= int(early);
            audioClock = audioClock + double(early) / audioRate;
          }
        }
        int bytes = converted * bytesPerFrame;
        audioClock = audioClock + double(bytes) / (double(bytesPerFrame) * audioRate);
        return bytes;
      }
      audioPacketPending = false;
      if (received == AVERROR_EOF) {
        Av().avcodec_flush_buffers(decoder);  // ready for packets again after a seek
      } else if (received != AVERROR(EAGAIN)) {
        player.LogMessage(llInfo, "avcodec_decode_audio2() failed");
      }
    }
    if (paused || audioQueue.Aborted()) return -1;
    QueuedPacket next;
    if (audioQueue.Get(next, false) <= 0) return -1;
    if (next.flush) {
      Av().avcodec_flush_buffers(decoder);
      audioResumeAt = next.resumeAt;
      continue;
    }
    AVPacket* packet = next.packet->size > 0 ? next.packet.get() : nullptr;  // empty: hand out what is held
    int sent = Av().avcodec_send_packet(decoder, packet);
    if (sent < 0 && sent != AVERROR_EOF) player.LogMessage(llInfo, "avcodec_decode_audio2() failed");
    audioPacketPending = true;
  }
}

void Pipeline::AppendToSampleRing(const int16_t* samples, int count) {
  int index = sampleRingIndex;
  while (count > 0) {
    int part = std::min(count, kSampleRingSize - index);
    std::memcpy(&sampleRing[size_t(index)], samples, size_t(part) * 2);
    samples += part;
    count -= part;
    index = (index + part) % kSampleRingSize;
  }
  sampleRingIndex = index;
}

void Pipeline::HoldSound(double clock) {
  heldClock = clock;
  callbackClock = clock;
  callbackSpan = 0;
  videoProgressUs = NowUs();
  soundHeld = true;
}

bool Pipeline::RefillAudioBuffer() {
  int bytes = DecodeAudioFrame();
  if (bytes < 0) return false;
  audioBufferSilent = false;
  if (showMode != kShowNone) AppendToSampleRing(reinterpret_cast<const int16_t*>(audioBuffer.data()), bytes / 2);
  audioBufferSize = bytes;
  audioBufferIndex = 0;
  return true;
}

// While the sound waits for the first picture: silence, and the clock at the
// first sample that will be heard (decoded ahead, once there is one).
void Pipeline::HeldCallback(uint8_t* stream, int length) {
  std::memset(stream, 0, size_t(length));
  if (audioBufferSilent) audioBufferIndex = audioBufferSize.load();
  if (audioBufferIndex >= audioBufferSize) RefillAudioBuffer();
  const double bytesPerSecond = double(2 * audioChannels) * audioRate;
  const int waiting = audioBufferSize - audioBufferIndex;
  callbackClock = waiting > 0 && bytesPerSecond > 0 ? audioClock - waiting / bytesPerSecond : heldClock.load();
  callbackSpan = 0;
}

void Pipeline::PlayingCallback(uint8_t* stream, int length) {
  std::memset(stream, 0, size_t(length));
  const bool mute = player.mute;
  const int volume = player.volume;
  uint8_t* out = stream;
  int remaining = length;
  int fileBytes = 0;  // of the sound handed, how much is the file's (not silence)
  while (remaining > 0) {
    if (audioBufferIndex >= audioBufferSize && !RefillAudioBuffer()) {
      if (audioQueue.Aborted()) break;
      // Nothing decoded (paused, queue empty): a block of silence instead
      // of waiting, so the audio thread never blocks.
      std::memset(audioBuffer.data(), 0, size_t(kSdlAudioSamples));
      audioBufferSilent = true;
      audioBufferSize = kSdlAudioSamples;
      audioBufferIndex = 0;
    }
    int chunk = std::min(audioBufferSize - audioBufferIndex, remaining);
    const uint8_t* source = audioBuffer.data() + audioBufferIndex;
    if (!mute) {
      if (volume >= SDL_MIX_MAXVOLUME) {
        std::memcpy(out, source, size_t(chunk));
      } else if (volume > 0) {
        Av().SDL_MixAudioFormat(out, source, AUDIO_S16SYS, uint32_t(chunk), volume);
      }
    }
    out += chunk;
    remaining -= chunk;
    audioBufferIndex += chunk;
    if (!audioBufferSilent) fileBytes += chunk;
  }
  const double bytesPerSecond = double(2 * audioChannels) * audioRate;
  if (bytesPerSecond > 0) {
    double handedEnd = audioClock - double(audioBufferSize - audioBufferIndex) / bytesPerSecond;
    callbackClock = handedEnd - fileBytes / bytesPerSecond;
    callbackSpan = fileBytes / bytesPerSecond;
  }
}

void Pipeline::AudioCallback(void* self, uint8_t* stream, int length) {
  auto& pipe = *static_cast<Pipeline*>(self);
  int64_t handedAt = NowUs();
  if (pipe.audioDropHeld.exchange(false)) {
    // The sound decoded before a seek is not heard after it.
    pipe.audioBufferIndex = pipe.audioBufferSize.load();
    pipe.audioPacketPending = false;
    Av().avcodec_flush_buffers(pipe.audioDecoder.get());
  }
  if (pipe.soundHeld) {
    pipe.HeldCallback(stream, length);
  } else {
    pipe.PlayingCallback(stream, length);
  }
  pipe.lastCallbackUs = handedAt;
  TAudioOutputEvent tap = pipe.player.Copy(pipe.player.onAudioOutput);
  if (tap && pipe.audioChannels > 0) {
    CallScope scope(&pipe.player, HandlerKind::kMediaThread);
    tap(reinterpret_cast<const int16_t*>(stream), length / (2 * pipe.audioChannels), pipe.audioChannels,
        pipe.audioRate, handedAt);
  }
}

}  // namespace media::player
