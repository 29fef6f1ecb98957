// libFuzzer harness for the media probe: every input is written to a file and
// put through what the options dialog does with a user's file: open, the
// information text, stream information, pictures forward and back, a seek.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

using namespace media;

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static TFFLogger logger;  // quiet: the library's own complaints are expected here
  logger.SetLogLevel(llQuiet);
  if (!FFmpegLoader().Load(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFmpegLoader().LastError().c_str());
    std::abort();
  }
  const char* dir = std::getenv("TMPDIR");
  g_path = std::string(dir ? dir : "/tmp") + "/kestrova-fuzz-" + std::to_string(getpid()) + ".bin";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(g_path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  TAVProbe probe;
  if (probe.OpenFile(g_path)) {
    probe.GetFileInfoText();
    TFileStreamInfo fileInfo;
    probe.GetFileStreamInfo(fileInfo);
    TVideoStreamInfo videoInfo;
    probe.GetVideoStreamInfo(videoInfo);
    Bitmap bitmap;
    for (int i = 0; i < 8 && probe.ReadNextFrame(); ++i) probe.CopyPictureTo(bitmap);
    if (probe.ReadPreviousFrame()) probe.CopyPictureTo(bitmap);
    if (probe.VideoStreamCount() > 0 && !probe.IsStillImage()) {
      probe.SeekTo(AVSEEK_FLAG_BACKWARD, fileInfo.Duration > 0 ? fileInfo.Duration / 2 : 500000);
      if (probe.ReadNextFrame()) probe.ReadPreviousFrame();
    }
  }
  unlink(g_path.c_str());
  return 0;
}
