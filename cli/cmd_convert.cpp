// kestrova-cli convert INPUT OUTPUT [--preset N] [--start T --end T] [--opt name=value]...
// Converts one file the way the conversion options dialog does by default
// (H.264 320x240 at 15 fps, 120 kbit/s, AAC 22050 Hz, MP4), with a progress
// bar; Ctrl-C stops cleanly and leaves a playable file.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "command.h"
#include "media/engine/conversion_presets.h"
#include "media/engine/engine.h"
#include "media/engine/engine_records.h"
#include "media/hand_over.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/utils.h"

namespace kestrova::cli {
namespace {

constexpr int64_t kNoEnd = INT64_MAX;

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }

// "HH:MM:SS.mmm" (also "SS.mmm" or "MM:SS") into microseconds; -1 when it
// isn't a time.
int64_t ParseClock(const std::string& text) {
  double parts[3] = {0, 0, 0};
  int count = 0;
  size_t pos = 0;
  while (pos <= text.size() && count < 3) {
    size_t colon = text.find(':', pos);
    std::string part = text.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    char* end = nullptr;
    double v = std::strtod(part.c_str(), &end);
    if (part.empty() || end == nullptr || *end != '\0' || v < 0) return -1;
    parts[count++] = v;
    if (colon == std::string::npos) break;
    pos = colon + 1;
  }
  double seconds = 0;
  for (int i = 0; i < count; ++i) seconds = seconds * 60 + parts[i];
  return static_cast<int64_t>(seconds * 1000000 + 0.5);
}

void DrawProgress(const media::TProgressInfo& p) {
  const int width = 40;
  if (p.TotalDuration > 0) {
    double ratio = std::min(1.0, std::max(0.0, static_cast<double>(p.CurrentDuration) / p.TotalDuration));
    int filled = static_cast<int>(ratio * width);
    std::fprintf(stderr, "\r[%s%s] %3d%% %s / %s  %d fps  %.0f kbit/s ", std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), static_cast<int>(ratio * 100),
                 media::DurationText(p.CurrentDuration).c_str(), media::DurationText(p.TotalDuration).c_str(), p.FPS,
                 p.BitRate);
  } else {
    std::fprintf(stderr, "\r%s  %d 帧  %.0f kbit/s ", media::DurationText(p.CurrentDuration).c_str(),
                 p.FrameNumber, p.BitRate);
  }
  std::fflush(stderr);
}

int RunConvert(const std::vector<std::string>& words) {
  Arguments args(words, {"verbose"});
  const char* usage =
      "用法：kestrova-cli convert INPUT OUTPUT [--preset 0-9] [--start HH:MM:SS.mmm --end HH:MM:SS.mmm] "
      "[--opt name=value]... [--verbose]\n";
  if (args.positionals().size() != 2) {
    std::cerr << usage;
    return 2;
  }
  const std::string input = args.positionals()[0];
  const std::string output = args.positionals()[1];

  media::TFFLogger logger;
  logger.SetLogLevel(args.has("verbose") ? media::llVerbose : media::llError);
  logger.SetTriggerEventInMainThread(false);
  const bool verbose = args.has("verbose");
  logger.SetOnLog([verbose](const void*, std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
    if (verbose || level <= media::llError)
      std::fprintf(stderr, "#%u.%s: %s\n", threadId, media::LogLevelName(level), message.c_str());
  });

  media::TInputOptions in;
  media::InitInputOptions(in);
  // Preset 9 (the user's own choice) means the dialog's defaults here.
  media::TOutputOptions out = media::DialogOutputDefaults();
  if (args.has("preset")) {
    char* end = nullptr;
    const std::string text = args.value("preset");
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 0 || n > 9 || !media::ApplyQualityPreset(static_cast<int>(n), out)) {
      std::cerr << "kestrova-cli convert：--preset 只能是 0 到 9\n";
      return 2;
    }
  }
  // Either end of the range may be given alone: from --start to the end of
  // the file, or from its beginning to --end.
  const int64_t start = args.has("start") ? ParseClock(args.value("start")) : 0;
  const int64_t end = args.has("end") ? ParseClock(args.value("end")) : kNoEnd;
  if (start < 0 || (end < 0 && end != kNoEnd)) {
    std::cerr << "kestrova-cli convert：--start 和 --end 应为 HH:MM:SS.mmm\n";
    return 2;
  }
  if (end != kNoEnd && end <= start) {
    std::cerr << "kestrova-cli convert：--end " << args.value("end") << " 不在 --start "
              << args.value("start", "0") << " 之后\n";
    return 2;
  }
  if (start > 0) in.StartTime = start;
  if (end != kNoEnd) out.Duration = end - start;
  // What the user typed wins over the dialog's defaults filled in above.
  media::AddUserOptions(out, args.values("opt"));

  if (!media::FFmpegLoader().Load(media::EngineLibraries)) {
    std::cerr << "kestrova-cli convert：" << media::FFmpegLoader().LastError() << "\n";
    return 1;
  }

  // This thread is the host: progress reports are drawn here as it pumps.
  media::HandOver handOver;
  media::TFFmpegEngine engine(&handOver);
  std::mutex resultLock;
  bool batchEnded = false;
  media::TTerminateInfo result;
  engine.SetOnProgress([](media::TCustomFFmpegEngine&, media::PProgressInfo p) { DrawProgress(*p); });
  engine.SetOnTerminate([&](media::TCustomFFmpegEngine&, const media::TTerminateInfo& info) {
    std::lock_guard<std::mutex> lock(resultLock);
    if (info.TaskIndex >= 0)
      result = info;
    else
      batchEnded = true;
  });

  // A typed option nothing knows, or a value refused, fails the run rather
  // than being passed over.
  engine.SetStrictOptions(true);
  const int task = engine.AddTask(input, &in);
  if (task < 0) {
    std::cerr << "kestrova-cli convert：" << engine.LastErrorMessage() << "\n";
    return 1;
  }
  if (!engine.SetOutputFile(task, output, &out)) {
    std::cerr << "kestrova-cli convert：" << engine.LastErrorMessage() << "\n";
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  engine.StartTask(1);
  bool stopping = false;
  auto ended = [&] {
    std::lock_guard<std::mutex> lock(resultLock);
    return batchEnded;
  };
  // The engine nudges the hand-over once the batch end has been reported, so
  // the wait ends then; the time limit only lets Ctrl-C be noticed.
  while (true) {
    handOver.PumpUntil([&] { return ended() || (gInterrupted && !stopping); }, std::chrono::milliseconds(100));
    if (ended()) break;
    if (gInterrupted && !stopping) {
      stopping = true;
      std::fprintf(stderr, "\n正在停止……\n");
      engine.Stop(true);
    }
  }
  std::fprintf(stderr, "\n");
  if (result.Exception) {
    std::cerr << "kestrova-cli convert：" << result.ExceptionMsg << "\n";
    // The engine wrote beside the name and removed what it wrote: whatever
    // was at the name before is still there.
    return 1;
  }
  if (!result.Finished) {
    std::cerr << "kestrova-cli convert：已停止；" << output << " 中是已转换的部分\n";
    return 130;
  }
  return 0;
}

const CommandRegistrar kRegistrar({"convert",
                                   "convert INPUT OUTPUT [--preset 0-9] [--start HH:MM:SS.mmm --end HH:MM:SS.mmm] "
                                   "[--opt name=value]...",
                                   RunConvert});

}  // namespace
}  // namespace kestrova::cli
