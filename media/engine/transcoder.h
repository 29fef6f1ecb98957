// One conversion task: its settings (options*.cpp), its inputs, outputs and
// streams (streams*.cpp) and the loop that turns the inputs into the outputs
// (transcoder*.cpp). The engine component (engine.h) owns a list of these.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/av_forward.h"
#include "media/av_owners.h"
#include "media/engine/audio_conversion.h"
#include "media/engine/encode_worker.h"
#include "media/engine/encoder_stats.h"
#include "media/engine/engine_records.h"
#include "media/engine/hooks.h"
#include "media/engine/options_generic.h"
#include "media/engine/options_settings.h"
#include "media/engine/output_staging.h"
#include "media/engine/preview.h"
#include "media/engine/video_conversion.h"
#include "media/hand_over.h"

namespace media {

struct TBitmapConverter;  // media/bitmap_converter.h

struct InputFile {
  InputContextPtr ctx;
  int64_t tsOffset = 0;  // microseconds
  double tsScale[kMaxStreams] = {};
  bool eof = false;
  bool again = false;
  int firstStream = 0;  // index of its first stream in the input-stream table
  // How many of its streams the table holds: a damaged file may grow streams
  // after opening, and their packets must not index past this input's part.
  int streamCount = 0;
  bool lateStreamSaid = false;  // the log has said once that late streams are ignored
  int64_t seekStart = 0;  // the start time the input was opened at (µs)
};

struct InputStream {
  int file = 0;
  AVStream* st = nullptr;  // belongs to its file's context
  CodecContextPtr dec;
  bool decoding = false;
  bool used = false;
  int64_t nextPts = kNoTime;  // microseconds
  int64_t pts = 0;
  int64_t wallStart = 0;
  bool isStart = true;
  bool pastRecording = false;
  bool flushed = false;
  bool multiFrameWarned = false;
  bool opened = false;
  int64_t probedFrames = 0;
};

// What a new output stream took from the settings when it was created; the
// set-up at start uses it.
struct OutputStreamPlan {
  int kind = -1;  // AVMEDIA_TYPE_*
  bool copy = false;
  std::string encoderName;
  PrivateOptions privateOptions;
  std::vector<std::string> bitstreamFilters;
  int sourceFile = -1;  // join mode: the input that feeds this segment
};

// The stream itself belongs to its file's context, which outlives it
// (CloseFiles); the encoder goes after the conversions that feed it.
struct OutputStream {
  int file = 0;
  AVStream* st = nullptr;
  CodecContextPtr enc;
  OutputStreamPlan plan;
  int source = -1;  // index into the input-stream table
  int64_t frameNumber = 0;
  int64_t syncOpts = 0;  // next pts in encoder time base units
  // Paced at the output's frame rate, the last picture given waits here (in
  // video.LastPicture(), or unscaled in video.waiting) until the next one
  // tells how long it shows.
  struct HeldPicture {
    bool held = false;
    bool unshaped = false;     // still in video.waiting, not yet scaled
    bool shown = false;        // went to the encoder at least once
    int64_t end = kNoTime;     // µs of output time at which it stops showing
    int quality = 0;           // the decoded picture's, for sameq
  } heldPicture;
  bool opened = false;
  VideoConversion video;
  AudioConversion audio;
  std::vector<BitstreamFilterPtr> bsfs;
  FilePtr passLog;
  int64_t lastMuxDts = kNoTime;  // copy streams: last written dts, stream time base
  EncoderStats stats;
  std::vector<int> sourceBySegment;  // join mode: the source for each input
  // The encoder's own thread while the loop runs (EncodesAside); last, so it
  // stops before the encoder it borrows goes.
  std::unique_ptr<EncodeWorker> encodeWorker;
};

// One output file: its context and the file it writes. Going, it closes the
// file as it was opened (CloseOutputIo, which removes a staging file never
// committed), then its context frees the streams it owns.
struct OutputFile {
  OutputFile() = default;
  OutputFile(OutputFile&&) noexcept = default;
  OutputFile& operator=(OutputFile&&) = delete;  // would drop a file unclosed
  ~OutputFile();

  OutputContextPtr ctx;
  bool headerWritten = false;
  bool trailerWritten = false;
  std::string fileName;
  StagedOutput staged;  // where it is written until its trailers are (output_staging.h)
};

// The q histogram as the progress line shows it: one digit per q value.
std::string QpHistogramText(const int histogram[52]);

// The encoder that stands in for a codec name of the old libraries.
std::string EncoderNameFor(const std::string& codecName);

// One call of the custom hook: the picture as a bitmap (lent for the call),
// and the handler's answers (take the bitmap back, stop hooking).
struct TaskHookCall {
  Bitmap* bitmap;
  int64_t pts;
  int frameNumber;
  bool update;
  bool stopHook;
};

class TCustomFFmpeg {
 public:
  explicit TCustomFFmpeg(int maxFiles = kMaxFiles);
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // ---- settings (options.cpp) ----
  // Frees inputs, outputs and buffers and restores the default settings.
  void Reset();
  TaskSettings& Settings() { return settings_; }
  // Applies one option by name; raises FFmpegException with the option's own
  // error text.
  void ApplyOption(const std::string& name, const std::string& value);
  // kind: "apre", "vpre", "spre" or "fpre" (only the first letter matters).
  void ApplyPreset(const std::string& kind, const std::string& name);
  // Applies only the lines of one class (0..5) of an extra-options text.
  void ApplyExtraOptions(const std::string& text, int optionClass);
  // The library's own option tables; false when none takes the value.
  bool SetGenericOption(const std::string& name, const std::string& value);
  bool SetNumericOption(const std::string& name, int64_t value);
  // Strict: a name that no option table knows, or a value the libraries
  // refuse, raises instead of being passed over (names a user typed).
  void SetStrictOptions(bool strict) { strictOptions_ = strict; }
  void ApplyTarget(const std::string& type, const std::string& norm, const std::string& defaultNorm);
  // The fixed order in which the records' fields become options.
  void ApplyInputOptions(const TInputOptions& options);
  void ApplyOutputOptions(const TOutputOptions& options);

  // ---- inputs and outputs (streams.cpp) ----
  bool OpenInput(const std::string& fileName);
  int OpenOutput(const std::string& fileName, bool join);
  // Adds one more stream of a kind to the last output (newvideo ...).
  void AddStreamToLastOutput(int kind);
  int InputCount() const { return static_cast<int>(inputs_.size()); }
  int OutputCount() const { return static_cast<int>(outputs_.size()); }
  AVFormatContext* InputContext(int index) const { return inputs_.at(index).ctx.get(); }
  const std::string& LastErrorText() const { return lastError_; }
  bool Joined() const { return joined_; }
  int64_t TotalDuration() const { return totalDuration_; }

  // ---- running (transcoder*.cpp) ----
  // threadMode false: runs in the calling thread and returns after the end.
  // threadMode true: starts a worker thread (already running, unlike a
  // suspended thread: there is nothing left to configure between).
  // False when the task can't start (running or already ran).
  bool Start(bool threadMode);
  void Stop(bool wait);
  // Stop for a running task; a task that never started ends at once on the
  // calling thread, which raises its termination report (no thread of its
  // own, nothing to wait for).
  void StopOrTerminate(bool wait);
  void Suspend();
  void Resume();
  bool Running() const { return running_; }
  bool StopRequested() const { return stopRequested_; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  bool HasError() const { return errorFlag_; }
  const std::string& ErrorText() const { return errorText_; }
  bool Suspended() const { return paused_; }
  void SetProgressInterval(int64_t microseconds) { progressInterval_ = microseconds; }
  // Niceness of the worker thread (0 normal, up to 19 idle). Raising a
  // thread above normal needs privileges a desktop user lacks, so only
  // lower priorities are applied.
  void SetWorkerNice(int nice) { workerNice_ = nice; }
  // Threads each codec of this task may use where its settings leave the
  // choice open; 0 lets each codec take one per core. The engine lowers it
  // when several tasks run at once, so they do not oversubscribe the cores.
  void SetCodecThreads(int threads) { codecThreads_ = threads; }
  int64_t ProgressInterval() const { return progressInterval_; }
  // The host's hand-over: Stop pumps it while it waits on the host's thread,
  // since the task may be waiting for the host.
  void SetHandOver(HandOver* handOver) { handOver_ = handOver; }

  // Preview bits: 1 window, 2 bitmap. Changed under the preview lock.
  void SetPreviewFlags(int flags);
  int PreviewFlags() const;
  // Where the window for the first preview picture comes from (set before
  // the task runs).
  void SetPreviewerFactory(TPreviewerFactory factory) { previewerFactory_ = std::move(factory); }

  // Callbacks (each nil = not used); called on the task's thread.
  using HookCall = TaskHookCall;
  std::function<void(TCustomFFmpeg&, HookCall&)> OnHook;
  std::function<void(TCustomFFmpeg&, const Bitmap&, int64_t pts, int frameNumber)> OnPreviewBitmap;
  std::function<void(TCustomFFmpeg&, const TProgressInfo&)> OnProgress;
  std::function<void(TCustomFFmpeg&)> OnTerminate;

  int Verbosity() const { return settings_.verbosity; }

 protected:
  // The parts of the run (transcoder.cpp).
  void RunBody();
  void Transcode();
  void TerminationStep();

 private:
  friend class TaskRunner;
  friend struct OptionDispatcher;
  friend struct StreamBuilder;

  // options
  void ClearSettings();
  void ApplyPresetText(const std::string& presetName, const std::string& text, char kind,
                       const std::string& writtenFor = {});
  bool SetPrivateOption(int kind, const std::string& name, const std::string& value,
                        const std::string& writtenFor = {});
  // Copies the generic options meant for this kind of stream onto a new
  // encoder (see genericKinds_).
  void ApplyEncoderOptions(AVCodecContext* enc, int kind);
  void ApplyVideoTag(const std::string& value, uint32_t& tag, const char* what);
  void AddBitstreamFilter(std::vector<std::string>& chain, const std::string& value);
  void ParseMatrix(const std::string& text, std::vector<int16_t>& matrix);
  void SetCodecName(int kind, const std::string& value);
  // Raises "Unrecognized option" for a name nothing knows, else the
  // refused value's error.
  [[noreturn]] void RefuseOption(const std::string& name, const std::string& value);

  // streams
  void OpenInputOrThrow(const std::string& fileName);
  void NewVideoStream(int file);
  void NewAudioStream(int file);
  void NewSubtitleStream(int file);
  // Opens a stream of a kind (a media type) on output `file` from the
  // settings in force. A copied stream then gets `copied`; an encoded one
  // gets its encoder with the set-up every kind shares (codec threads when
  // `threaded`, global headers when `globalHeader`), then `encoded`.
  void NewStream(int file, int type, bool threaded, bool globalHeader, const std::function<void(AVStream*)>& copied,
                 const std::function<void(OutputStream&, const AVCodec*, AVCodecContext*)>& encoded);
  void CloseFiles();

  // set-up at start (streams_setup.cpp)
  void BuildStreamTables();
  void PrepareEncoders();
  void PrepareVideoEncoder(OutputStream& ost, InputStream& ist);
  void BuildVideoFilters(OutputStream& ost, InputStream& ist);
  void OpenCodecs();
  void OpenSegmentEncoders(int segment);
  void WriteHeaders();
  void LogMapping();

  // loop (transcoder_loop.cpp, transcoder_video.cpp, transcoder_audio.cpp)
  int ChooseNextInput();
  bool ReadAndProcess(int fileIndex, AVPacket* pkt);
  void EndJoinSegment(int fileIndex);
  int DecodeAndDispatch(InputStream& ist, int istIndex, const AVPacket* pkt);
  bool InsideRange(const InputStream& ist) const;
  void FlushEncoders();
  void PreprocessVideo(InputStream& ist, AVFrame*& frame);
  void RunCustomHook(AVFrame* frame, InputStream& ist);
  // False for pictures the deinterlacer can't handle (packed, RGB, deep).
  bool DeinterlaceFrame(AVFrame* frame);
  void WriteVideo(OutputStream& ost, InputStream& ist, AVFrame* frame);
  // True when an output's pictures follow its own frame rate (see WriteVideo).
  bool PacedAtFrameRate(const OutputStream& ost) const;
  // The first encoder tick at or after which no picture may start: the
  // asked range's end or the input's own end.
  int64_t EndTick(const OutputStream& ost, const InputStream& ist) const;
  // Crops, scales, pads or filters a decoded picture into the encoder's
  // shape; null when a filter holds it back for now.
  AVFrame* ShapePicture(OutputStream& ost, InputStream& ist, AVFrame* frame);
  // Encodes the picture at the next tick and moves on by one.
  void EncodeAtNextTick(OutputStream& ost, AVFrame* picture, int quality);
  // Shows the held picture at every tick before `upTo`.
  void ShowHeldPicture(OutputStream& ost, InputStream& ist, int64_t upTo);
  // At the end of a video input: its held pictures show until their end.
  void FinishHeldPictures(int istIndex);
  void EncodeVideoFrame(OutputStream& ost, AVFrame* frame);
  void WriteAudio(OutputStream& ost, InputStream& ist, AVFrame* frame);
  void EncodeAudioFromFifo(OutputStream& ost, bool drain);
  void WriteSubtitle(OutputStream& ost, InputStream& ist, AVSubtitle* subtitle, const AVPacket* pkt);
  void CopyPacket(OutputStream& ost, InputStream& ist, const AVPacket* pkt);
  void DrainEncoder(OutputStream& ost, AVCodecContext* enc, bool sendFlush);
  // Counts, logs and muxes one packet the encoder gave.
  void WriteEncodedPacket(OutputStream& ost, AVCodecContext* enc, AVPacket* packet);
  // True when a video stream's encoder may run on a thread of its own: no
  // figure read from the encoder per picture (pass log, PSNR, vstats) and
  // no encoder reopened between joined inputs.
  bool EncodesAside(const OutputStream& ost) const;
  // Waits for a stream's encoder thread to encode all it was given and
  // muxes what it gave; the encoder is this thread's again.
  void FinishEncodeWorker(OutputStream& ost);
  void WritePacket(OutputStream& ost, AVPacket* pkt);
  void PreviewStep(const AVFrame* picture, int64_t pts);
  void Report(bool isLast, int fileIndex);
  // transcoder_stats.cpp
  void OpenVstatsFile();
  void RecordEncodedPacket(OutputStream& ost, const AVPacket* pkt);
  void ApplyVolume(AVFrame* frame);
  void WaitWhilePaused();
  // Waits until flag (guarded by runMutex_) is set, pumping the hand-over
  // when called on the host's thread.
  void WaitForRunFlag(const bool& flag);

  TaskSettings settings_;
  OptionContextSetPtr optionContexts_;
  bool strictOptions_ = false;
  // Each generic option set so far and the stream kinds it was meant for
  // (bit 1 << media type): "ab" is for audio only, "b" for every kind. A new
  // encoder takes only the options meant for its kind, so an audio encoder
  // keeps its own default bit rate when only the video's was given.
  std::vector<std::pair<std::string, int>> genericKinds_;
  int maxFiles_;
  std::vector<InputFile> inputs_;
  std::vector<OutputFile> outputs_;
  std::vector<InputStream> inputStreams_;
  std::vector<OutputStream> outputStreams_;
  std::vector<std::vector<OutputStreamPlan>> outputPlans_;  // per output file, as created
  std::string lastError_;
  bool joined_ = false;
  int joinSegment_ = 0;
  int64_t totalDuration_ = -1;

  // run state
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  bool errorFlag_ = false;
  std::string errorText_;
  HandOver* handOver_ = nullptr;
  std::thread worker_;
  std::mutex runMutex_;
  std::condition_variable runCv_;
  bool runDone_ = true;
  int64_t progressInterval_ = 500000;
  int workerNice_ = 0;
  int codecThreads_ = 0;
  int64_t previewInterval_ = 100000;
  int64_t timerStart_ = 0;
  int64_t lastReport_ = 0;
  int64_t lastPreview_ = 0;
  int64_t videoSize_ = 0, audioSize_ = 0, extraSize_ = 0;
  int framesDuplicated_ = 0, framesDropped_ = 0;
  bool reportMark_ = false;
  int hookFrameCounter_ = 0;
  // Guards the preview flags' changes and the window while it is handed
  // between the host's calls and the task's thread.
  mutable std::mutex previewMutex_;
  std::atomic<int> previewFlags_{0};
  std::unique_ptr<TPreviewer> previewer_;
  TPreviewerFactory previewerFactory_;
  FrameHookChain hooks_;
  std::unique_ptr<TBitmapConverter> hookConverter_;     // for the custom hook
  std::unique_ptr<TBitmapConverter> previewConverter_;  // for the preview
  FramePtr decoded_;
  FramePtr hookFrame_;
  std::vector<uint8_t> deinterlaceScratch_;  // grown only
  PacketPtr encPacket_;
  int qpHistogram_[52] = {};
  FilePtr vstatsFile_;
};

}  // namespace media
