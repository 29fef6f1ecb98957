// One probe operation per run, so the run script can time it beside the ffmpeg
// tools (which also pay a process start per file):
//   probe_bench info FILE            open + information text
//   probe_bench picture FILE         open + first picture as a bitmap
//   probe_bench seek FILE SECONDS    open + seek + decode to the time + bitmap
//   probe_bench previous FILE N      open, go to the last picture before the
//                                    second key frame, then N x ReadPreviousFrame;
//                                    prints the mean milliseconds per step
//   probe_bench back FILE AT N       open, decode forward to picture AT
//                                    (untimed), then N x ReadPreviousFrame;
//                                    prints the mean milliseconds per step and
//                                    the time (seconds) of the picture it ends on
//   probe_bench steps FILE AT N      open, decode forward to picture AT, time
//                                    N x ReadNextFrame; decode forward to
//                                    picture AT again, time N x
//                                    ReadPreviousFrame; prints both means in
//                                    milliseconds
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/entry_points.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

using namespace media;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: probe_bench info|picture|seek|previous FILE [ARG]\n");
    return 2;
  }
  TFFLogger logger;
  logger.SetLogLevel(llQuiet);
  if (!FFmpegLoader().Load(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFmpegLoader().LastError().c_str());
    return 1;
  }
  std::string mode = argv[1];
  TAVProbe probe;
  if (!probe.OpenFile(argv[2])) {
    std::fprintf(stderr, "%s\n", probe.LastErrorMessage().c_str());
    return 1;
  }
  Bitmap bitmap;
  if (mode == "info") {
    std::string text = probe.GetFileInfoText();
    return text.empty() ? 1 : 0;
  }
  if (mode == "picture") return probe.ReadNextFrame() && probe.CopyPictureTo(bitmap) ? 0 : 1;
  if (mode == "seek" && argc > 3) {
    int64_t target = int64_t(std::atof(argv[3]) * 1e6);
    if (!probe.SeekTo(AVSEEK_FLAG_BACKWARD, target)) return 1;
    do {
      if (!probe.ReadNextFrame()) return 1;
    } while (probe.CurrentPTS() < target);
    return probe.CopyPictureTo(bitmap) ? 0 : 1;
  }
  if (mode == "steps" && argc > 4) {
    const int at = std::atoi(argv[3]);
    const int steps = std::atoi(argv[4]);
    auto to = [&](int picture) {
      if (!probe.SeekTo(AVSEEK_FLAG_BACKWARD, 0)) return false;
      for (int i = 0; i <= picture; ++i)
        if (!probe.ReadNextFrame()) return false;
      return true;
    };
    auto mean = [&](bool forward) {
      auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < steps; ++i)
        if (!(forward ? probe.ReadNextFrame() : probe.ReadPreviousFrame())) return -1.0;
      return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / steps;
    };
    // From picture AT, reached by decoding forward as a user on the slider
    // does: N pictures forward, then (reached afresh) N pictures back.
    if (!to(at)) return 1;
    const double forwardMs = mean(true);
    if (forwardMs < 0 || !to(at)) return 1;
    const double backMs = mean(false);
    if (backMs < 0) return 1;
    std::printf("%.3f %.3f\n", forwardMs, backMs);
    return 0;
  }
  if (mode == "back" && argc > 4) {
    const int at = std::atoi(argv[3]), steps = std::atoi(argv[4]);
    for (int i = 0; i <= at; ++i)
      if (!probe.ReadNextFrame()) return 1;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i)
      if (!probe.ReadPreviousFrame()) return 1;
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.6f\n", ms / steps, double(probe.CurrentPTS()) / 1e6);
    return 0;
  }
  if (mode == "previous" && argc > 3) {
    int steps = std::atoi(argv[3]);
    // Forward to the picture just before the second key frame, as a user on
    // the slider gets there; the steps back then cross no key frame.
    bool sawSecondKey = false;
    int64_t lastBeforeKey = 0;
    for (int i = 0; probe.ReadNextFrame(); ++i) {
      if (i > 0 && probe.KeyFrame()) {
        sawSecondKey = true;
        break;
      }
      lastBeforeKey = probe.CurrentPTS();
    }
    if (!sawSecondKey) return 1;
    if (!probe.ReadPreviousFrame()) return 1;  // now on lastBeforeKey
    if (probe.CurrentPTS() != lastBeforeKey) return 1;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
      if (!probe.ReadPreviousFrame()) return 1;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.6f\n", ms / steps, double(probe.CurrentPTS()) / 1e6);
    return 0;
  }
  return 2;
}
