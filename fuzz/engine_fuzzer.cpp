// libFuzzer harness for the engine's read loop: every input is written to a
// file and converted the way `kestrova-cli convert` does by default (demux,
// decode, scale and resample, encode), into the null muxer so that nothing
// is written. A run stops after two seconds of media, which keeps each input
// cheap and deterministic; a conversion that never ends is caught by
// libFuzzer's own per-input timeout (fuzz/run sets it).
// Refused or damaged inputs end in an error report; crashes, sanitizer
// reports and leaks are findings.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/engine/conversion_presets.h"
#include "media/engine/engine.h"
#include "media_fuzz_setup.h"

using namespace media;

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::LoadLibrariesQuietly();
  g_path = fuzz::ScratchPath(".bin");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz::WriteScratch(g_path, data, size)) return 0;
  {
    // No hand-over: the reports arrive on this thread, which runs the task.
    TFFmpegEngine engine(nullptr);
    bool ended = false;
    engine.SetOnTerminate([&](TCustomFFmpegEngine&, const TTerminateInfo& info) {
      if (info.TaskIndex < 0) ended = true;
    });
    TInputOptions in;
    InitInputOptions(in);
    TOutputOptions out = DialogOutputDefaults();
    out.FileFormat = "null";
    out.FrameSize = "64x48";
    out.Duration = 2'000'000;
    const int task = engine.AddTask(g_path, &in);
    if (task >= 0 && engine.SetOutputFile(task, g_path + ".out", &out)) {
      engine.StartTask(0);  // the calling thread runs the task to its end
      // The batch end is reported before StartTask returns in this mode.
      if (!ended) std::abort();
    }
  }
  unlink(g_path.c_str());
  unlink((g_path + ".out").c_str());
  return 0;
}
