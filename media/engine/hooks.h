// Frame-hook plug-ins: shared objects exporting "Configure", "Process" and
// "Release" that edit each decoded picture in place. A task keeps a chain of
// them; plug-ins run in the order they were added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// The picture handed to "Process": four plane pointers and four line sizes.
struct HookPicture {
  uint8_t* data[4];
  int linesize[4];
};

using FrameHookConfigureFn = int (*)(void** context, int argc, char* argv[]);
using FrameHookProcessFn = void (*)(void* context, HookPicture* picture, int pixFmt, int width, int height,
                                    int64_t pts);
using FrameHookReleaseFn = void (*)(void* context);

struct FrameHookEntry {
  FrameHookConfigureFn configure = nullptr;
  FrameHookProcessFn process = nullptr;
  FrameHookReleaseFn release = nullptr;
  void* context = nullptr;
};

using FrameHookChain = std::vector<FrameHookEntry>;

// args[0] is the plug-in's path, the rest its arguments. 0 on success, else
// -2 (nothing given or an entry point missing), -1 (can't load), -12 (no
// memory), -22 (the plug-in refused its arguments). A failed add leaves the
// chain unchanged.
int FrameHookAdd(FrameHookChain& chain, const std::vector<std::string>& args);
void FrameHookProcess(const FrameHookChain& chain, HookPicture* picture, int pixFmt, int width, int height,
                      int64_t pts);
void FrameHookRelease(FrameHookChain& chain);

// Cuts a vhook option value into words: at '|' when it holds one, else at
// blanks; at most 254 words.
std::vector<std::string> SplitHookArguments(const std::string& value);

}  // namespace media
