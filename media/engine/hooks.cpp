#include "media/engine/hooks.h"

#include <dlfcn.h>
#include <strings.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "media/engine/engine_log.h"

namespace media {

namespace {

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

// A plug-in is loaded once per process and stays loaded: chains of other
// tasks may still point into it, and its code may keep global state.
std::mutex& CacheMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, void*, CaseInsensitiveLess>& PluginCache() {
  static std::map<std::string, void*, CaseInsensitiveLess> cache;
  return cache;
}

void LibraryLog(const std::string& text) { LibraryLogText(16, text); }

}  // namespace

int FrameHookAdd(FrameHookChain& chain, const std::vector<std::string>& args) {
  if (args.empty() || args[0].empty()) return -2;
  const std::string& path = args[0];
  void* module = nullptr;
  {
    std::lock_guard<std::mutex> lock(CacheMutex());
    auto it = PluginCache().find(path);
    if (it != PluginCache().end()) {
      module = it->second;
    } else {
      // RTLD_LOCAL keeps one plug-in's symbols from answering for another's.
      module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module == nullptr) {
        const char* why = dlerror();
        LibraryLog(std::string(why ? why : "cannot load") + "\n");
        return -1;
      }
      PluginCache()[path] = module;
    }
  }
  FrameHookEntry entry;
  entry.configure = reinterpret_cast<FrameHookConfigureFn>(dlsym(module, "Configure"));
  entry.process = reinterpret_cast<FrameHookProcessFn>(dlsym(module, "Process"));
  entry.release = reinterpret_cast<FrameHookReleaseFn>(dlsym(module, "Release"));
  if (entry.process == nullptr) {
    LibraryLog("Failed to find Process entrypoint in " + path + "\n");
    return -2;
  }
  if (entry.configure == nullptr && args.size() > 1) {
    LibraryLog("Failed to find Configure entrypoint in " + path + "\n");
    return -2;
  }
  if (entry.configure != nullptr) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (entry.configure(&entry.context, static_cast<int>(args.size()), argv.data()) != 0) {
      LibraryLog("Failed to Configure " + path + "\n");
      return -22;
    }
  }
  chain.push_back(entry);
  return 0;
}

void FrameHookProcess(const FrameHookChain& chain, HookPicture* picture, int pixFmt, int width, int height,
                      int64_t pts) {
  for (const FrameHookEntry& e : chain) e.process(e.context, picture, pixFmt, width, height, pts);
}

void FrameHookRelease(FrameHookChain& chain) {
  for (FrameHookEntry& e : chain)
    if (e.release != nullptr) e.release(e.context);
  chain.clear();
}

std::vector<std::string> SplitHookArguments(const std::string& value) {
  std::vector<std::string> words;
  const bool byBar = value.find('|') != std::string::npos;
  const char* separators = byBar ? "|" : " \t";
  size_t i = 0;
  while (i <= value.size() && words.size() < 254) {
    size_t start = byBar ? i : value.find_first_not_of(separators, i);
    if (start == std::string::npos) break;
    size_t end = value.find_first_of(separators, start);
    if (end == std::string::npos) end = value.size();
    if (byBar || end > start) words.push_back(value.substr(start, end - start));
    i = end + 1;
    if (end == value.size()) break;
  }
  return words;
}

}  // namespace media
