// Option texts from users (--opt, the extra-options field, preset files) put
// through a task's dispatcher. The first byte picks the road:
//   0: one option, name on the first line, value after it;
//   1: an extra-options text, applied for the class the second byte names;
//   2: a preset file's text.
// Refusals (FFmpegException and friends) are expected; crashes, sanitizer
// reports and leaks are findings.
#include <cstdint>
#include <exception>
#include <string>

#include "media/engine/transcoder.h"
#include "media_fuzz_setup.h"

using namespace media;

namespace {
std::string g_presetPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::LoadLibrariesQuietly();
  g_presetPath = fuzz::ScratchPath("-preset.txt");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int road = data[0] % 3;
  const int optionClass = data[1] % 6;
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  TCustomFFmpeg task;
  try {
    if (road == 0) {
      const size_t feed = text.find('\n');
      task.ApplyOption(text.substr(0, feed), feed == std::string::npos ? std::string() : text.substr(feed + 1));
    } else if (road == 1) {
      task.ApplyExtraOptions(text, optionClass);
    } else {
      if (!fuzz::WriteScratch(g_presetPath, text.data(), text.size())) return 0;
      task.ApplyPreset("vpre", g_presetPath);
    }
  } catch (const std::exception&) {
  }
  return 0;
}
