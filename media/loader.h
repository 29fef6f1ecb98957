// Finds the FFmpeg and SDL2 shared objects at run time, binds every entry point
// of entry_points.h (internal to the media library) by name, and keeps the
// process-wide codec lock.
//
// Nothing of these libraries is linked at build time, so a missing or broken
// library is a clear message ("Load library ... error: ...") instead of a
// program that will not start.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>


namespace media {

// The libraries in the order of their ids. Loading follows dependency order
// instead (kLoadOrder in loader.cpp), so that copies in "LibAV/" satisfy each
// other's dependencies before the system's are looked up.
enum TLibraryId : int {
  libAVCodec = 0,
  libAVDevice = 1,
  libAVFilter = 2,
  libAVFormat = 3,
  libAVUtil = 4,
  libSwScale = 5,
  libMSVCRT = 6,  // the C runtime: here our own C library, nothing to bind
  libSDL = 7,
  libSwResample = 8,  // resampling moved out of avcodec into its own library
  kLibraryCount = 9,
};

using TLibrarySet = std::uint16_t;
constexpr TLibrarySet LibraryBit(TLibraryId id) { return TLibrarySet(1u << id); }

// What the transcoding engine needs, and the same plus SDL for the player.
constexpr TLibrarySet EngineLibraries = LibraryBit(libAVCodec) | LibraryBit(libAVFilter) |
                                        LibraryBit(libAVFormat) | LibraryBit(libAVUtil) |
                                        LibraryBit(libSwScale) | LibraryBit(libMSVCRT) |
                                        LibraryBit(libSwResample);
constexpr TLibrarySet PlayerLibraries = EngineLibraries | LibraryBit(libSDL);

class TFFmpegLoader {
 public:
  TFFmpegLoader();
  TFFmpegLoader(const TFFmpegLoader&) = delete;
  TFFmpegLoader& operator=(const TFFmpegLoader&) = delete;

  // The folder tried first for libraries whose file name has no folder.
  // Defaults to "LibAV/" beside the executable.
  void SetLibraryPath(const std::string& path);
  const std::string& LibraryPath() const { return libraryPath_; }
  const std::string& LastError() const { return lastError_; }

  // The override when one is set, else the Debian soname ("libavcodec.so.59").
  std::string LibraryFileName(TLibraryId library) const;
  // Used by tests to point one library at another file; empty clears it.
  void SetLibraryFileName(TLibraryId library, const std::string& fileName);

  bool LoadLibrary(TLibraryId library);
  void UnloadLibrary(TLibraryId library);
  bool IsLoaded(TLibraryId library) const;

  // Loads every library of the set (not empty). On failure only the libraries
  // this call loaded are unloaded again: others may be in use by a component
  // that loaded them earlier.
  bool Load(TLibrarySet libraries);
  bool Loaded(TLibrarySet libraries) const;
  void Unload(TLibrarySet libraries);

 private:
  struct Status {
    std::string fileNameOverride;
    void* module = nullptr;
    bool bound = false;
  };
  bool LoadModule(const std::string& dir, const std::string& name, void*& module, std::string& error);

  Status status_[kLibraryCount];
  std::string libraryPath_;
  std::string lastError_;
};

// The one loader of the process.
TFFmpegLoader& FFmpegLoader();

// Held around every codec open and close: the codec library's open and close
// are not safe to run in parallel across the engine, the probe and the player.
std::mutex& CodecLock();

// Resolves one exported name into a slot. A missing required name throws
// std::runtime_error("Load function NAME@FILE error: ..."); a missing optional
// name leaves the slot null.
void* BindSymbol(const std::string& libFileName, void* module, const char* name, bool optional,
                 const char* kind = "function");

template <class Slot>
void BindFunction(const std::string& libFileName, void* module, const char* name, bool optional, Slot& slot) {
  slot = reinterpret_cast<Slot>(BindSymbol(libFileName, module, name, optional, "function"));
}

template <class Slot>
void BindVariable(const std::string& libFileName, void* module, const char* name, bool optional, Slot& slot) {
  slot = reinterpret_cast<Slot>(BindSymbol(libFileName, module, name, optional, "variable"));
}

// The folder of the running executable, with a trailing "/".
std::string ExecutableDir();

}  // namespace media
