// libFuzzer harness for the media probe: every input is written to a file and
// put through what the options dialog does with a user's file: open, the
// information text, stream information, pictures forward and back, a seek.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "media/av_headers.h"
#include "media/probe.h"
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
