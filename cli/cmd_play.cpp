// kestrova-cli play FILE: plays a file with sound in a window of its own
// (of the picture's size, or --size with the picture scaled into it). Space
// pauses, left and right seek 10 s, q or closing the window quits. The
// position goes to standard output as one line rewritten in place.
#include <cstdio>
#include <iostream>
#include <mutex>

#include "command.h"
#include "media/hand_over.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/player/player.h"
#include "media/utils.h"

namespace kestrova::cli {
namespace {

constexpr int64_t kSeekStepUs = 10'000'000;

// "SS", "SS.mmm", "MM:SS", "HH:MM:SS.mmm" as microseconds; -1 when not a time.
int64_t ParseTime(const std::string& text) {
  int64_t total = 0;
  size_t at = 0;
  for (int part = 0; part < 3 && at <= text.size(); ++part) {
    size_t end = text.find(':', at);
    std::string field = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (field.empty()) return -1;
    char* rest = nullptr;
    double value = std::strtod(field.c_str(), &rest);
    if (*rest != '\0' || value < 0) return -1;
    total = total * 60 + int64_t(value * 1000000.0 + 0.5);
    if (end == std::string::npos) return total;
    total /= 1000000;  // only the last field may have a fraction
    total *= 1000000;
    at = end + 1;
  }
  return -1;
}

int RunPlay(const std::vector<std::string>& words) {
  Arguments args(words, {"paused", "no-audio", "stats", "verbose"});
  const char* usage = "用法：kestrova-cli play FILE [--paused] [--start T] [--no-audio] [--volume 0-128] [--size WxH]\n";
  if (args.positionals().size() != 1) {
    std::cerr << usage;
    return 2;
  }
  int64_t start = args.has("start") ? ParseTime(args.value("start")) : 0;
  int volume = 128;
  if (args.has("volume")) {
    char* rest = nullptr;
    long value = std::strtol(args.value("volume").c_str(), &rest, 10);
    if (args.value("volume").empty() || *rest != '\0' || value < 0 || value > 128) {
      std::cerr << "kestrova-cli play：--volume 只能是 0 到 128 的整数\n";
      return 2;
    }
    volume = int(value);
  }
  int windowWidth = 0, windowHeight = 0;
  if (args.has("size") && (std::sscanf(args.value("size").c_str(), "%dx%d", &windowWidth, &windowHeight) != 2 ||
                           windowWidth <= 0 || windowHeight <= 0 || windowWidth > 16384 || windowHeight > 16384)) {
    std::cerr << "kestrova-cli play：--size 应为窗口的宽x高，例如 640x360\n";
    return 2;
  }
  if (start < 0) {
    std::cerr << "kestrova-cli play：--start 应为时间，例如 00:01:05.500 或 65.5\n";
    return 2;
  }

  std::mutex loggedMutex;  // before the logger, which reports into it
  bool opened = false;
  media::TFFLogger logger;
  logger.SetLogLevel(args.has("verbose") ? media::llDebug : media::llError);
  logger.SetTriggerEventInMainThread(false);
  // Without --verbose the library's errors are the user's messages: those
  // met while opening make one line naming the file, later ones a line each.
  const bool verbose = args.has("verbose");
  logger.SetOnLog([&](const void*, std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
    if (verbose) {
      std::cerr << "#" << threadId << "." << media::LogLevelName(level) << ": " << message << "\n";
      return;
    }
    std::lock_guard lock(loggedMutex);
    if (opened) std::cerr << "kestrova-cli play：" << message << "\n";
  });

  media::HandOver handOver;
  media::TFFPlayer player(&handOver);
  if (!player.LibrariesLoaded() && !player.LoadLibraries(media::FFmpegLoader().LibraryPath())) {
    std::cerr << "kestrova-cli play：" << player.LastErrorMessage() << "\n";
    return 1;
  }
  player.DisableAudio = args.has("no-audio");
  player.ScreenWidth = windowWidth;  // 0: the picture's own size
  player.ScreenHeight = windowHeight;
  player.SetAudioVolume(volume);

  int64_t duration = -1;
  int pictureWidth = 0, pictureHeight = 0;  // as shown (a turned phone clip upright)
  bool finished = false;
  player.SetOnFileOpen([&](int64_t fileDuration, int width, int height, int&, int&) {
    duration = fileDuration;
    pictureWidth = width;
    pictureHeight = height;
  });
  player.SetOnPosition([&](int64_t pts) {
    std::printf("\r%s / %s ", media::DurationText(pts).c_str(),
                media::DurationText(duration >= 0 ? duration : media::kNoPts).c_str());
    std::fflush(stdout);
  });
  player.SetOnState([&](media::TPlayState state) {
    if (state == media::psEnd || state == media::psStop) finished = true;
  });
  player.SetOnKey([&](media::TPlayerKey key) {
    switch (key) {
      case media::pkPause:
        player.TogglePause();
        break;
      case media::pkSeekBack:
        player.Seek(media::sfBackward, std::max<int64_t>(0, player.CurrentPosition() - kSeekStepUs));
        break;
      case media::pkSeekForward:
        player.Seek(0, player.CurrentPosition() + kSeekStepUs);
        break;
      case media::pkQuit:
        finished = true;
        break;
    }
  });

  player.StartPosition = start;
  if (!player.Open(args.positionals()[0], nullptr, args.has("paused"))) {
    const std::string& file = args.positionals()[0];
    std::string reason = player.LastErrorMessage();
    if (reason.find(file) == std::string::npos) reason = file + ": " + reason;
    std::cerr << "kestrova-cli play：无法读取此文件：" << reason << "\n";
    return 1;
  }
  {
    std::lock_guard lock(loggedMutex);
    opened = true;
  }
  while (!finished) handOver.Pump(std::chrono::milliseconds(100));
  player.SetOnPosition(nullptr);
  player.Stop(true);
  std::printf("\n");
  if (args.has("stats")) {
    media::TPlayerCounters counters = player.Counters();
    double mean = counters.avOffsetSamples ? double(counters.avOffsetSumUs) / counters.avOffsetSamples / 1000.0 : 0;
    std::fprintf(stderr, "已显示画面：%d，丢弃：%d，音画偏差平均：%.1f 毫秒，最大：%.1f 毫秒\n", counters.shown,
                 counters.dropped, mean, double(counters.avOffsetMaxUs) / 1000.0);
    if (pictureWidth > 0) std::fprintf(stderr, "画面尺寸：%dx%d\n", pictureWidth, pictureHeight);
  }
  return 0;
}

const CommandRegistrar kRegistrar({"play", "play FILE [--paused] [--start T] [--no-audio] [--volume 0-128] [--size WxH]", RunPlay});

}  // namespace
}  // namespace kestrova::cli
