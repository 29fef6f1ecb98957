#include "media/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cassert>
#include <filesystem>
#include <stdexcept>

#include "media/entry_points.h"
#include "media/logger.h"
#include "media/unicode_io.h"

// Floating point: the old libraries needed x87 exceptions masked. On x86-64 the
// SSE exceptions are masked by default, so there is no control word to save,
// set or restore here.

namespace media {
namespace {

struct LibraryItem {
  TLibraryId id;
  const char* baseName;
  const char* soname;  // Debian 12's file name of the shared object
  void (*bind)(const std::string& fileName, void* module);
  void (*unbind)();
};

std::string Format(const char* format, const std::string& a, const std::string& b, const std::string& c = {}) {
  std::string out;
  int args = 0;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += args == 0 ? a : args == 1 ? b : c;
      ++args;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// The struct layouts come from the headers we were built with: a library of
// another major version would be read with the wrong layouts, so it is refused.
void CheckMajor(const std::string& fileName, unsigned version, unsigned expectedMajor) {
  if ((version >> 16) != expectedMajor) {
    throw std::runtime_error("Load library " + fileName + " error: major version " + std::to_string(version >> 16) +
                             ", expected " + std::to_string(expectedMajor));
  }
}

#define KESTROVA_BIND_REQ(name) BindFunction(fileName, module, #name, false, Av().name);
#define KESTROVA_BIND_OPT(name) BindFunction(fileName, module, #name, true, Av().name);
#define KESTROVA_BIND_GONE(name, type) BindFunction(fileName, module, #name, true, Av().name);
#define KESTROVA_CLEAR(name) Av().name = nullptr;
#define KESTROVA_CLEAR_GONE(name, type) Av().name = nullptr;
#define KESTROVA_BINDING(LIST)                                                         \
  [](const std::string& fileName, void* module) {                                      \
    (void)fileName;                                                                    \
    (void)module;                                                                      \
    LIST(KESTROVA_BIND_REQ, KESTROVA_BIND_OPT, KESTROVA_BIND_GONE)                     \
  }
#define KESTROVA_UNBINDING(LIST) \
  [] { LIST(KESTROVA_CLEAR, KESTROVA_CLEAR, KESTROVA_CLEAR_GONE) }

void BindAvUtil(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_AVUTIL_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().avutil_version(), LIBAVUTIL_VERSION_MAJOR);
}
void BindSwResample(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_SWRESAMPLE_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().swresample_version(), LIBSWRESAMPLE_VERSION_MAJOR);
}
void BindSwScale(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_SWSCALE_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().swscale_version(), LIBSWSCALE_VERSION_MAJOR);
}
void BindAvCodec(const std::string& fileName, void* module) {
  // Codecs register themselves in today's library; there is no register call.
  KESTROVA_BINDING(KESTROVA_AVCODEC_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().avcodec_version(), LIBAVCODEC_VERSION_MAJOR);
}
void BindAvFormat(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_AVFORMAT_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().avformat_version(), LIBAVFORMAT_VERSION_MAJOR);
}
void BindAvFilter(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_AVFILTER_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().avfilter_version(), LIBAVFILTER_VERSION_MAJOR);
}
void BindAvDevice(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_AVDEVICE_ENTRY_POINTS)(fileName, module);
  CheckMajor(fileName, Av().avdevice_version(), LIBAVDEVICE_VERSION_MAJOR);
  Av().avdevice_register_all();
}
void BindCrt(const std::string&, void*) {}
void BindSdl(const std::string& fileName, void* module) {
  KESTROVA_BINDING(KESTROVA_SDL_ENTRY_POINTS)(fileName, module);
  SDL_version version{};
  Av().SDL_GetVersion(&version);
  CheckMajor(fileName, unsigned(version.major) << 16, SDL_MAJOR_VERSION);
}

const LibraryItem kLibraries[kLibraryCount] = {
    {libAVCodec, "avcodec", "libavcodec.so.59", BindAvCodec, KESTROVA_UNBINDING(KESTROVA_AVCODEC_ENTRY_POINTS)},
    {libAVDevice, "avdevice", "libavdevice.so.59", BindAvDevice, KESTROVA_UNBINDING(KESTROVA_AVDEVICE_ENTRY_POINTS)},
    {libAVFilter, "avfilter", "libavfilter.so.8", BindAvFilter, KESTROVA_UNBINDING(KESTROVA_AVFILTER_ENTRY_POINTS)},
    {libAVFormat, "avformat", "libavformat.so.59", BindAvFormat, KESTROVA_UNBINDING(KESTROVA_AVFORMAT_ENTRY_POINTS)},
    {libAVUtil, "avutil", "libavutil.so.57", BindAvUtil, KESTROVA_UNBINDING(KESTROVA_AVUTIL_ENTRY_POINTS)},
    {libSwScale, "swscale", "libswscale.so.6", BindSwScale, KESTROVA_UNBINDING(KESTROVA_SWSCALE_ENTRY_POINTS)},
    {libMSVCRT, "c", "libc.so.6", BindCrt, KESTROVA_UNBINDING(KESTROVA_CRT_ENTRY_POINTS)},
    {libSDL, "SDL2", "libSDL2-2.0.so.0", BindSdl, KESTROVA_UNBINDING(KESTROVA_SDL_ENTRY_POINTS)},
    {libSwResample, "swresample", "libswresample.so.4", BindSwResample,
     KESTROVA_UNBINDING(KESTROVA_SWRESAMPLE_ENTRY_POINTS)},
};

// Dependencies first: a library found in "LibAV/" is then already in the
// process when the next one asks for it by soname.
const TLibraryId kLoadOrder[kLibraryCount] = {libAVUtil,  libSwResample, libSwScale, libAVCodec, libAVFormat,
                                              libAVFilter, libAVDevice,   libMSVCRT,  libSDL};

}  // namespace

EntryPoints& Av() {
  static EntryPoints table;
  return table;
}

std::mutex& CodecLock() {
  static std::mutex lock;
  return lock;
}

std::string ExecutableDir() {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  std::string dir = exe.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void* BindSymbol(const std::string& libFileName, void* module, const char* name, bool optional, const char* kind) {
  dlerror();
  void* address = module ? dlsym(module, name) : nullptr;
  if (!address && !optional) {
    const char* why = dlerror();
    std::string text = std::string("Load ") + kind + " %s@%s error: %s";
    throw std::runtime_error(Format(text.c_str(), name, libFileName, why ? why : "symbol not found"));
  }
  return address;
}

TFFmpegLoader::TFFmpegLoader() : libraryPath_(ExecutableDir() + "LibAV/") {}

TFFmpegLoader& FFmpegLoader() {
  static TFFmpegLoader loader;
  return loader;
}

void TFFmpegLoader::SetLibraryPath(const std::string& path) { libraryPath_ = path; }

std::string TFFmpegLoader::LibraryFileName(TLibraryId library) const {
  const auto& override = status_[library].fileNameOverride;
  return override.empty() ? kLibraries[library].soname : override;
}

void TFFmpegLoader::SetLibraryFileName(TLibraryId library, const std::string& fileName) {
  status_[library].fileNameOverride = fileName;
}

bool TFFmpegLoader::LoadModule(const std::string& dir, const std::string& name, void*& module, std::string& error) {
  std::error_code ec;
  std::string path = dir + name;
  // The folder's copy wins; otherwise the system's standard search.
  bool inFolder = !dir.empty() && std::filesystem::is_regular_file(path, ec);
  dlerror();
  module = dlopen(inFolder ? path.c_str() : name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    error = why ? why : "unknown error";
    return false;
  }
  return true;
}

bool TFFmpegLoader::LoadLibrary(TLibraryId library) {
  Status& status = status_[library];
  if (!status.module) {
    std::string fileName = LibraryFileName(library);
    auto slash = fileName.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (dir.empty() && !libraryPath_.empty()) {
      dir = libraryPath_;
      if (dir.back() != '/') dir += '/';
    }
    std::string error;
    if (!LoadModule(dir, name, status.module, error)) {
      lastError_ = Format("Load library %s error: %s", dir + name, error);
      return false;
    }
  }
  if (!status.bound) {
    try {
      kLibraries[library].bind(LibraryFileName(library), status.module);
      status.bound = true;
    } catch (const std::exception& e) {
      lastError_ = e.what();
    }
  }
  if (!status.bound) {
    UnloadLibrary(library);
    return false;
  }
  if (library == libAVUtil) FFLogger().InstallLibraryLog();
  if (library == libAVFormat) RegisterUnicodeProtocol();
  return true;
}

void TFFmpegLoader::UnloadLibrary(TLibraryId library) {
  Status& status = status_[library];
  // A failed bind leaves some slots set: clear them all either way.
  kLibraries[library].unbind();
  status.bound = false;
  if (status.module) {
    dlclose(status.module);
    status.module = nullptr;
  }
}

bool TFFmpegLoader::IsLoaded(TLibraryId library) const {
  return status_[library].module != nullptr && status_[library].bound;
}

bool TFFmpegLoader::Load(TLibrarySet libraries) {
  assert(libraries != 0 && "Load needs at least one library");
  TLibrarySet loadedHere = 0;
  for (TLibraryId id : kLoadOrder) {
    if (!(libraries & LibraryBit(id)) || IsLoaded(id)) continue;
    if (!LoadLibrary(id)) {
      std::string error = lastError_;
      Unload(loadedHere);
      lastError_ = error;
      return false;
    }
    loadedHere |= LibraryBit(id);
  }
  return true;
}

bool TFFmpegLoader::Loaded(TLibrarySet libraries) const {
  for (int id = 0; id < kLibraryCount; ++id) {
    if ((libraries & LibraryBit(TLibraryId(id))) && !IsLoaded(TLibraryId(id))) return false;
  }
  return true;
}

void TFFmpegLoader::Unload(TLibrarySet libraries) {
  // Dependents go first, so nothing is left pointing into a closed library.
  for (int i = kLibraryCount - 1; i >= 0; --i) {
    TLibraryId id = kLoadOrder[i];
    if (libraries & LibraryBit(id)) UnloadLibrary(id);
  }
}

}  // namespace media
