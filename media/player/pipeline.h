// The playback pipeline of one open file: the read thread that fills the
// packet queues, the sound path on SDL's audio callback, the clocks (sound is
// the master), the video and subtitle threads, the two-picture queue and the
// display refresh that shows, holds or drops pictures against the clocks.
// Internal to the player: times are seconds (double) unless named Us.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/av_owners.h"
#include "media/entry_points.h"
#include "media/player/display.h"
#include "media/player/packet_queue.h"

namespace media::player {

struct PlayerCore;

// Events between the pipeline and the player's event loop.
enum LoopEventType { kRefreshEvent = 1, kQuitEvent = 2, kAspectEvent = 3 };
struct LoopEvent {
  LoopEventType type = kRefreshEvent;
  const void* pipeline = nullptr;  // the pipeline it is meant for
};

constexpr int kQueueByteLimit = 15 * 1024 * 1024;
constexpr int kAudioQueueFloor = 327680;
constexpr int kPacketFloor = 5;
constexpr int kAudioBufferBytes = 288000;
constexpr int kSdlAudioSamples = 1024;
constexpr double kNoSyncThreshold = 10.0;
constexpr double kSyncThreshold = 0.01;
constexpr int kSampleRingSize = 131072;
constexpr int kSubtitleQueueSize = 4;
constexpr int kPictureQueueSize = 2;
constexpr int64_t kLongestHoldWithoutPicturesUs = 2'000'000;

enum ShowMode { kShowNone = 0, kShowWaveform = 1, kShowVideoFailed = 2 };

struct PictureEntry {
  FramePtr frame;  // planar YUV 4:2:0
  double pts = 0;
  double target = 0;  // when to show it, on the steady clock
  int64_t pos = -1;
};

struct SubtitleEntry {
  double pts = 0;
  SubtitlePtr subtitle;
};

// The steady clock in seconds, the one time base of every target and drift.
double Now();
int64_t NowUs();

struct Pipeline {
  explicit Pipeline(PlayerCore& owner) : player(owner) {}
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  PlayerCore& player;
  std::string fileName;

  std::thread readThread, videoThread, subtitleThread, refreshThread;
  std::atomic<bool> abort{false};
  std::atomic<bool> paused{false};
  bool lastPaused = false;  // read thread only
  std::atomic<int> readPauseResult{0};

  std::mutex seekMutex;
  std::atomic<bool> seekRequest{false};
  int seekFlags = 0;
  int64_t seekTarget = 0, seekRelative = 0;
  // The format's leaning (timestamps that jump); seeks still go by time,
  // and by bytes only when the host asks for it.
  int seekByBytes = -1;

  AVFormatContext* input = nullptr;  // owned: closed by the read thread on its way out
  std::atomic<int> status{0};        // 0 opening, 1 opened, -1 failed and cleaning up, -2 cleaned up

  // Sound.
  std::atomic<double> audioClock{0};
  int audioStreamIndex = -1;
  AVStream* audioStream = nullptr;
  CodecContextPtr audioDecoder;
  PacketQueue audioQueue;
  uint32_t audioDevice = 0;
  int audioChannels = 0, audioRate = 0;
  std::vector<uint8_t> audioBuffer = std::vector<uint8_t>(kAudioBufferBytes);
  std::atomic<int> audioBufferSize{0}, audioBufferIndex{0};
  SwrPtr resampler;
  int resamplerFormat = -1, resamplerRate = 0;
  uint64_t resamplerLayout = 0;
  FramePtr audioFrame;
  bool audioPacketPending = false;  // the decoder may hold more frames of the last packet
  std::atomic<bool> audioDrainQueued{false};  // the empty packet of the end went in
  std::atomic<int64_t> lastCallbackUs{0};
  bool audioBufferSilent = false;  // the buffer holds a block of silence, not sound of the file
  // The sound handed to SDL at the last callback starts playing then: the
  // clock of its first sample and how long its sound of the file lasts.
  std::atomic<double> callbackClock{0}, callbackSpan{0};
  int64_t audioDurationUs = -1;
  // Sound before this time is decoded but not played (after a seek; the
  // audio callback's own).
  double audioResumeAt = kResumeAnywhere;
  // Set by the read thread after a seek flushed the queue: the callback drops
  // the sound it still holds from before the seek.
  std::atomic<bool> audioDropHeld{false};
  // After opening and after a seek the sound waits, silent and with its clock
  // standing at heldClock or at its first decoded sample, until the display
  // takes the first picture (StartTogether): picture and sound start
  // together, however long decoding forward from a key frame takes.
  std::atomic<bool> soundHeld{false};
  std::atomic<double> heldClock{0};
  // When the video decoder last gave a picture (or the hold began): a held
  // sound whose pictures stopped coming (a damaged video stream) goes on
  // without them after kLongestHoldWithoutPictures.
  std::atomic<int64_t> videoProgressUs{0};

  // Waveform of files without pictures.
  std::atomic<int> showMode{kShowNone};
  std::vector<int16_t> sampleRing = std::vector<int16_t>(kSampleRingSize);
  std::atomic<int> sampleRingIndex{0};
  int lastWaveStart = 0;
  std::vector<uint8_t> waveCanvas;

  // Subtitles.
  int subtitleStreamIndex = -1;
  AVStream* subtitleStream = nullptr;
  CodecContextPtr subtitleDecoder;
  PacketQueue subtitleQueue;
  std::atomic<bool> subtitleStreamChanged{false};
  SubtitleEntry subtitles[kSubtitleQueueSize];
  int subtitleCount = 0, subtitleRead = 0, subtitleWrite = 0;
  std::mutex subtitleMutex;
  std::condition_variable subtitleCond;

  // Video timing.
  double frameTimer = 0, lastPts = 0, lastDelay = 0;
  bool firstPictureTimed = false;
  std::atomic<double> videoClock{0};  // of the last decoded picture, or the predicted next one
  int videoStreamIndex = -1;
  AVStream* videoStream = nullptr;
  // Whether a video stream is open, for TogglePause: it may run on the
  // audio thread (a handler's call) while the read thread opens the video.
  std::atomic<bool> videoOpen{false};
  CodecContextPtr videoDecoder;
  PacketQueue videoQueue;
  std::atomic<double> currentPts{0}, currentPtsDrift{0};
  std::atomic<bool> pictureShown{false};
  std::atomic<int64_t> currentPos{-1};
  // Raised by the display when it drops a late picture, lowered and reset by
  // the video thread: both threads write it.
  std::atomic<double> skipFactor{1};
  double skipAccumulator = 0;  // the video thread's own
  double videoResumeAt = kResumeAnywhere;  // video thread only: pictures before it are not shown
  std::atomic<bool> refreshPending{false};
  std::atomic<bool> videoDrained{false};  // the decoder gave its last picture
  bool videoDraining = false;  // the end went in: only a seek's flush takes packets again
  bool videoPending = false;   // the decoder may have pictures to hand out

  // The picture queue: the video thread fills, the display empties.
  PictureEntry pictures[kPictureQueueSize];
  int pictureCount = 0, pictureRead = 0, pictureWrite = 0;
  std::mutex pictureMutex;
  std::condition_variable pictureCond;
  std::atomic<int> outputWidth{0}, outputHeight{0};
  AVRational outputAspect{0, 1};

  DisplayArea area;
  bool surfaceOpen = false;
  // While paused: show the next picture once (opened paused, a seek). A
  // count, so that a seek asked while the display is still showing the
  // picture of an earlier request is not taken as served by it.
  std::atomic<int> stillWanted{0};

  int64_t startTimeUs = 0, durationUs = -1;
  int64_t startAtUs = 0;  // where playing starts, µs from the start (a seek before the first packet)
  bool stillImage = false, liveCapture = false;
  std::atomic<bool> eofMessageGiven{false}, endReported{false}, endReached{false}, reading{false};
  bool eofPending = false;
  std::atomic<int> openPausedCountdown{0};
  std::atomic<bool> pausedAtSeek{false}, dropStale{false}, flushSeen{false};

  // Clocks.
  double AudioClock() const;
  double VideoClock() const;
  double MasterClock() const;

  // Opening and closing (pipeline_open.cpp).
  bool Open(const std::string& name, bool startPaused);  // waits for the read thread's verdict
  void Close();
  void TogglePause();
  void RequestSeek(int64_t target, int64_t relative, int flags);

  // Threads.
  void ReadThread();
  void VideoThread();
  void SubtitleThread();
  void RefreshThread(int periodMs);
  int OpenStream(int index);
  void CloseStream(int index);

  // Seeking the input (pipeline_seek.cpp), on the read thread. A time seek
  // leaves the demuxer on the key frame at or before the target; the packets
  // read to make sure of it are handed back in readAhead, to be queued.
  enum class Landing { kOnKeyFrame, kPastKeyFrame, kUnknown };
  int SeekInputTo(int64_t lowest, int64_t target, int64_t highest, int flags);
  Landing ReadToKeyFrameBefore(int64_t target, std::vector<PacketPtr>& readAhead);
  int SeekToKeyFrameBefore(int64_t target, int64_t highest, int flags, std::vector<PacketPtr>& readAhead);
  void QueuePacket(PacketPtr packet);

  // Sound (pipeline_audio.cpp).
  static void AudioCallback(void* self, uint8_t* stream, int length);
  int DecodeAudioFrame();
  void AppendToSampleRing(const int16_t* samples, int count);
  void HoldSound(double clock);
  void ReleaseSound() { soundHeld = false; }
  bool RefillAudioBuffer();  // false when no sound is decoded now
  void HeldCallback(uint8_t* stream, int length);
  void PlayingCallback(uint8_t* stream, int length);

  // Video (video_thread.cpp).
  int GetVideoFrame(AVFrame* frame, int64_t& pts);
  int QueuePicture(FramePtr frame, double pts, int64_t pos);
  double TargetTime(double framePts);
  void FlushPictures();

  // Display (display_refresh.cpp), on the event loop's thread.
  void Refresh(bool advance);
  // The first picture after opening or seeking is queued: the sound, waiting
  // for it, starts now, and the queued pictures are timed from this moment,
  // however long decoding forward or opening the window took.
  void StartTogether();
  void ShowCurrent();
  void ShowFrame(AVFrame* picture, double pts);
  void ExpireSubtitles();
  bool OpenSurface(bool force);
  void DrawWaveform();
  void BlendSubtitle(AVFrame* picture);
};

}  // namespace media::player
