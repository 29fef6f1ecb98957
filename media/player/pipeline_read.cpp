// The read thread: opens the input, chooses and opens the streams, then keeps
// the packet queues filled, carries out seeks and notices the end of the file.
#include <algorithm>
#include <chrono>

#include "media/loader.h"
#include "media/logger.h"
#include "media/player/player_core.h"
#include "media/probe_access.h"
#include "media/unicode_io.h"
#include "media/utils.h"

namespace media::player {
namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int InterruptWhenAborting(void* opaque) { return static_cast<Pipeline*>(opaque)->abort.load() ? 1 : 0; }

bool IsStillImageFormat(const char* name) {
  std::string format = name ? name : "";
  return format == "image2" || (format.size() > 5 && format.compare(format.size() - 5, 5, "_pipe") == 0);
}

// The stream of one kind to play, or -1. The library ranks the streams by
// how many frames its probing saw (its count is no longer public), then by
// bit rate: the rule the component wants, kept where the count lives.
int BestStream(AVFormatContext* input, AVMediaType type) {
  int best = Av().av_find_best_stream(input, type, -1, -1, nullptr, 0);
  return best >= 0 ? best : -1;
}

}  // namespace

double Now() { return double(NowUs()) / 1000000.0; }

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Pipeline::~Pipeline() { Close(); }

// The time of the sample being heard. The bytes still waiting in the decode
// buffer are not heard yet, and neither is what SDL was handed at its last
// callback: that starts playing at the callback, and the clock moves on with
// the wall clock from there. A late callback (a busy machine) does not stop
// the clock: the sound device keeps playing what it holds, and stopping would
// make the pictures wait and then drop to catch up.
double Pipeline::AudioClock() const {
  constexpr double kLongestGap = 1.0;
  double clock = callbackClock.load();
  if (!paused && callbackSpan.load() > 0) {
    clock += std::min(double(NowUs() - lastCallbackUs.load()) / 1000000.0, kLongestGap);
  }
  return clock;
}

double Pipeline::VideoClock() const {
  if (paused.load()) return currentPts.load();
  if (pictureShown.load()) return currentPtsDrift.load() + Now();
  return double(startTimeUs) / 1000000.0;
}

double Pipeline::MasterClock() const { return audioStream ? AudioClock() : VideoClock(); }

void Pipeline::ReadThread() {
  Av().av_log(nullptr, AV_LOG_DEBUG, "read thread of %s\n", fileName.c_str());
  bool failed = true;
  int error = 0;
  AVDictionary* options = nullptr;
  input = Av().avformat_alloc_context();
  if (!input) {
    player.Error("av_mallocz() failed.", true);
    goto finish;
  }
  input->interrupt_callback.callback = InterruptWhenAborting;
  input->interrupt_callback.opaque = this;
  if (player.frameWidth > 0 && player.frameHeight > 0) {
    Av().av_dict_set(&options, "video_size",
                     StringPrintf("%dx%d", player.frameWidth, player.frameHeight).c_str(), 0);
  }
  error = OpenInputFile(&input, UnicodeFileName(fileName), nullptr, &options);
  Av().av_dict_free(&options);
  if (error < 0) {
    input = nullptr;  // freed by the failed open
    player.Error(ErrorText(fileName, error), true);
    goto finish;
  }
  if (Av().avformat_find_stream_info(input, nullptr) < 0) {
    player.Error(StringPrintf("%s: could not find codec parameters", fileName.c_str()), true);
    goto finish;
  }
  if (input->pb) input->pb->eof_reached = 0;
  if (seekByBytes < 0) seekByBytes = (input->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
  stillImage = IsStillImageFormat(input->iformat->name);
  liveCapture = std::string(input->iformat->name) == "vfwcap" || std::string(input->iformat->name) == "vfwcapture";
  startTimeUs = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
  durationUs = input->duration != AV_NOPTS_VALUE ? input->duration : -1;

  for (unsigned i = 0; i < input->nb_streams; ++i) input->streams[i]->discard = AVDISCARD_ALL;
  {
    int audio = player.disableAudio ? -1 : BestStream(input, AVMEDIA_TYPE_AUDIO);
    int video = player.disableVideo ? -1 : BestStream(input, AVMEDIA_TYPE_VIDEO);
    int subtitle = player.disableVideo ? -1 : BestStream(input, AVMEDIA_TYPE_SUBTITLE);
    // The first sound waits for the first picture, as after a seek.
    if (audio >= 0 && video >= 0) HoldSound(double(startTimeUs) / AV_TIME_BASE);
    if (audio >= 0) OpenStream(audio);
    if (video >= 0) OpenStream(video);
    if (videoStreamIndex < 0) ReleaseSound();
    if (videoStreamIndex < 0 && !player.disableDisplay) showMode = kShowVideoFailed;
    if (subtitle >= 0) OpenStream(subtitle);
  }
  if (audioStreamIndex < 0 && videoStreamIndex < 0) {
    player.Error(StringPrintf("%s: could not open codecs, no stream to play.", fileName.c_str()), true);
    goto finish;
  }
  // The probe sees the input from this thread only, before reading starts.
  ProbeInputAccess::Attach(player.probe, input);
  failed = false;
  if (startAtUs > 0) {
    // Asked before the first packet is read, so nothing before it is shown.
    const int64_t at = durationUs > 0 ? std::min(startAtUs, durationUs) : startAtUs;
    RequestSeek(at + startTimeUs, 0, 0);
  }
  status = 1;

  while (!abort) {
    if (paused != lastPaused) {
      lastPaused = paused;
      if (paused) {
        readPauseResult = Av().av_read_pause(input);
      } else {
        Av().av_read_play(input);
      }
    }
    if (seekRequest) {
      int flags;
      int64_t target, relative;
      {
        std::lock_guard lock(seekMutex);
        flags = seekFlags;
        target = seekTarget;
        relative = seekRelative;
      }
      // A time seek lands on the key frame at or before the target and the
      // decoders go forward from there, playing nothing before the target:
      // a seek forward never ends up behind where it was asked to go, however
      // far apart the key frames are. Seeks by bytes or to any frame land
      // where the demuxer puts them.
      const bool exact = !(flags & (AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY));
      int64_t lowest = INT64_MIN, highest = exact ? target : INT64_MAX;
      if (!exact && relative > 0) lowest = target - relative + 2;
      if (!exact && relative < 0) highest = target - relative - 2;
      std::vector<PacketPtr> readAhead;
      const int result = exact ? SeekToKeyFrameBefore(target, highest, flags, readAhead)
                               : SeekInputTo(lowest, target, highest, flags);
      if (result < 0) {
        player.Error(StringPrintf("%s: error while seeking", fileName.c_str()), false);
        if (videoStream) player.pictureQueued.Set();
      } else {
        const double resumeAt = exact ? double(target) / AV_TIME_BASE : kResumeAnywhere;
        flushSeen = false;  // before the hold: a picture from before the seek does not end it
        if (audioStream && videoStream && !(flags & AVSEEK_FLAG_BYTE)) HoldSound(double(target) / AV_TIME_BASE);
        for (PacketQueue* queue : {&audioQueue, &videoQueue, &subtitleQueue}) {
          if ((queue == &audioQueue && audioStream) || (queue == &videoQueue && videoStream) ||
              (queue == &subtitleQueue && subtitleStream)) {
            queue->Flush();
            queue->PutFlush(resumeAt);
          }
        }
        for (PacketPtr& packet : readAhead) QueuePacket(std::move(packet));
        if (audioStream) audioDropHeld = true;
        if (videoStream) player.pictureQueued.Reset();
      }
      eofMessageGiven = false;
      endReached = false;
      endReported = false;
      dropStale = true;
      eofPending = false;
      audioDrainQueued = false;
      seekRequest = false;
      player.seekSettled.Set();
    }
    bool satisfied = (!audioStream || audioQueue.Bytes() > kAudioQueueFloor) &&
                     (!videoStream || videoQueue.Count() > kPacketFloor) &&
                     (!subtitleStream || subtitleQueue.Count() > kPacketFloor);
    const bool full = audioQueue.Bytes() + videoQueue.Bytes() + subtitleQueue.Bytes() > kQueueByteLimit;
    // Sound held for a picture that cannot come (the video ended earlier
    // than the sound, or its decoder stopped giving pictures) goes on
    // without it.
    if ((full && videoQueue.Count() == 0) ||
        (soundHeld && NowUs() - videoProgressUs > kLongestHoldWithoutPicturesUs)) {
      ReleaseSound();
    }
    if (full || satisfied) {
      SleepMs(10);
      continue;
    }
    if (eofPending || (input->pb && Av().avio_feof(input->pb))) {
      if (!eofPending) eofPending = true;
      if (videoStream) {
        // Each empty packet lets the decoder hand out its held pictures, and
        // the player follow the clock up to the end.
        videoQueue.PutEndOfStream(videoStreamIndex);
        player.pictureQueued.Set();
      }
      if (audioStream && !audioDrainQueued) {
        audioQueue.PutEndOfStream(audioStreamIndex);
        audioDrainQueued = true;
      }
      SleepMs(10);
      if (audioQueue.Count() == 0 && videoQueue.Count() == 0 && subtitleQueue.Count() == 0) endReached = true;
      continue;
    }
    PacketPtr packet = NewPacket();
    reading = true;
    int result = Av().av_read_frame(input, packet.get());
    reading = false;
    if (abort) break;
    if (result == AVERROR(EAGAIN)) {
      SleepMs(10);
      continue;
    }
    if (result < 0) {
      if (videoStream) player.pictureQueued.Set();
      if (!stillImage && !eofMessageGiven) {
        if (result == AVERROR_EOF) {
          player.LogMessage(llInfo, StringPrintf("reach end of file: %s", fileName.c_str()));
        } else {
          player.Error(StringPrintf("error #%d while reading file: %s", result, fileName.c_str()), false);
        }
        eofMessageGiven = true;
      }
      if (result == AVERROR_EOF) eofPending = true;
      if (input->pb && input->pb->error) break;
      if (result != AVERROR_EOF) SleepMs(100);
      continue;
    }
    QueuePacket(std::move(packet));
  }
  while (!abort) SleepMs(100);

finish:
  if (status != 1) status = -1;
  // The video and subtitle threads read the audio stream's clock: they end
  // before the audio stream goes.
  if (videoStreamIndex >= 0) CloseStream(videoStreamIndex);
  if (subtitleStreamIndex >= 0) CloseStream(subtitleStreamIndex);
  if (audioStreamIndex >= 0) CloseStream(audioStreamIndex);
  if (input) {
    ProbeInputAccess::Attach(player.probe, nullptr);
    CloseInputFile(&input);
  }
  if (failed) {
    player.PostLoopEvent(kQuitEvent, this);
  }
  if (status == -1) status = -2;
}

void Pipeline::QueuePacket(PacketPtr packet) {
  if (packet->stream_index == audioStreamIndex) {
    audioQueue.Put(packet.get());
  } else if (packet->stream_index == videoStreamIndex) {
    videoQueue.Put(packet.get());
  } else if (packet->stream_index == subtitleStreamIndex) {
    subtitleQueue.Put(packet.get());
  }
}

int Pipeline::OpenStream(int index) {
  AVStream* stream = input->streams[index];
  const AVCodecParameters* parameters = stream->codecpar;
  const AVCodec* codec = Av().avcodec_find_decoder(parameters->codec_id);
  CodecContextPtr decoder(Av().avcodec_alloc_context3(codec));
  if (!codec || !decoder || Av().avcodec_parameters_to_context(decoder.get(), parameters) < 0) {
    player.Error("avcodec_open() failed.", false);
    return -1;
  }
  // The decoder settings every stream gets: automatic workarounds, careful
  // error recognition, full concealment, one decoding thread.
  decoder->pkt_timebase = stream->time_base;
  decoder->workaround_bugs = FF_BUG_AUTODETECT;
  decoder->err_recognition = AV_EF_CAREFUL;
  decoder->error_concealment = 3;
  decoder->idct_algo = FF_IDCT_AUTO;
  decoder->thread_count = 1;
  int opened;
  {
    std::lock_guard lock(CodecLock());
    opened = Av().avcodec_open2(decoder.get(), codec, nullptr);
  }
  if (opened < 0) {
    player.Error("avcodec_open() failed.", false);
    return -1;
  }
  // The opened decoder joins the pipeline as the stream of its kind.
  auto adopt = [&](CodecContextPtr& decoderSlot, int& indexSlot, AVStream*& streamSlot, PacketQueue& queue) {
    stream->discard = AVDISCARD_DEFAULT;
    decoderSlot = std::move(decoder);
    indexSlot = index;
    streamSlot = stream;
    queue.Start();
  };
  switch (parameters->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
      int channels = decoder->ch_layout.nb_channels;
      audioChannels = (channels == 1 || channels == 2) ? channels : 2;
      audioRate = decoder->sample_rate;
      SDL_AudioSpec wanted{};
      SDL_AudioSpec obtained{};
      wanted.freq = audioRate;
      wanted.format = AUDIO_S16SYS;
      wanted.channels = uint8_t(audioChannels);
      wanted.silence = 0;
      wanted.samples = kSdlAudioSamples;
      wanted.callback = &Pipeline::AudioCallback;
      wanted.userdata = this;
      audioDevice = Av().SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
      if (audioDevice == 0) {
        player.Error(std::string("SDL_OpenAudio() failed: ") + Av().SDL_GetError(), false);
        std::lock_guard lock(CodecLock());
        decoder.reset();
        return -1;
      }
      adopt(audioDecoder, audioStreamIndex, audioStream, audioQueue);
      audioDurationUs = stream->duration != AV_NOPTS_VALUE
                            ? Av().av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000})
                            : -1;
      audioBufferSize = 0;
      audioBufferIndex = 0;
      audioFrame = NewFrame();
      Av().SDL_PauseAudioDevice(audioDevice, 0);
      break;
    }
    case AVMEDIA_TYPE_VIDEO:
      adopt(videoDecoder, videoStreamIndex, videoStream, videoQueue);
      videoOpen = true;
      videoThread = std::thread([this] { VideoThread(); });
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      adopt(subtitleDecoder, subtitleStreamIndex, subtitleStream, subtitleQueue);
      subtitleThread = std::thread([this] { SubtitleThread(); });
      break;
    default: {
      std::lock_guard lock(CodecLock());
      decoder.reset();
      return -1;
    }
  }
  return 0;
}

void Pipeline::CloseStream(int index) {
  if (!input || index < 0 || index >= int(input->nb_streams)) return;
  CodecContextPtr decoder;
  if (index == videoStreamIndex) {
    videoQueue.Abort();
    pictureCond.notify_all();
    if (videoThread.joinable()) videoThread.join();
    decoder = std::move(videoDecoder);
    videoOpen = false;
    videoStreamIndex = -1;
    videoStream = nullptr;
  } else if (index == audioStreamIndex) {
    audioQueue.Abort();
    if (audioDevice) Av().SDL_CloseAudioDevice(audioDevice);  // waits for a running callback
    audioDevice = 0;
    resampler.reset();
    decoder = std::move(audioDecoder);
    audioStreamIndex = -1;
    audioStream = nullptr;
    audioDurationUs = -1;
  } else if (index == subtitleStreamIndex) {
    subtitleQueue.Abort();
    subtitleStreamChanged = true;
    subtitleCond.notify_all();
    if (subtitleThread.joinable()) subtitleThread.join();
    decoder = std::move(subtitleDecoder);
    subtitleStreamIndex = -1;
    subtitleStream = nullptr;
  }
  input->streams[index]->discard = AVDISCARD_ALL;
  std::lock_guard lock(CodecLock());
  decoder.reset();
}

void Pipeline::Close() {
  abort = true;
  audioQueue.Abort();
  videoQueue.Abort();
  subtitleQueue.Abort();
  pictureCond.notify_all();
  subtitleCond.notify_all();
  if (readThread.joinable()) readThread.join();
  if (refreshThread.joinable()) refreshThread.join();
  std::lock_guard lock(pictureMutex);
  for (PictureEntry& entry : pictures) entry.frame.reset();
  pictureCount = 0;
}

void Pipeline::TogglePause() {
  if (!player.seekSettled.Wait(std::chrono::milliseconds(250))) player.seekSettled.Set();
  if (paused) {
    double now = Now();
    {
      std::lock_guard lock(pictureMutex);
      frameTimer += now + currentPtsDrift - currentPts;
    }
    if (readPauseResult != AVERROR(ENOSYS)) currentPts = currentPtsDrift + now;
    currentPtsDrift = currentPts - now;
    paused = false;
  } else {
    if (videoOpen && !player.pictureQueued.Wait(std::chrono::milliseconds(250))) player.pictureQueued.Set();
    paused = true;
  }
}

void Pipeline::RequestSeek(int64_t target, int64_t relative, int flags) {
  if (seekRequest) return;
  const bool wasPaused = paused.load();
  {
    std::lock_guard lock(seekMutex);
    pausedAtSeek = wasPaused;
    seekTarget = target;
    seekRelative = relative;
    seekFlags = flags & 0x0f;
  }
  player.seekSettled.Reset();
  seekRequest = true;
  // After the request is up: the display shows nothing for it before the
  // seek is carried out.
  if (wasPaused) ++stillWanted;
}

}  // namespace media::player
