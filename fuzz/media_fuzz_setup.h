// What the media fuzz targets share: the libraries loaded once with a quiet
// log (their own complaints are expected here), and a scratch file for
// inputs that must be read from disk.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/loader.h"
#include "media/logger.h"

namespace media::fuzz {

inline void LoadLibrariesQuietly() {
  static TFFLogger logger;
  logger.SetLogLevel(llQuiet);
  if (!FFmpegLoader().Load(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFmpegLoader().LastError().c_str());
    std::abort();
  }
}

// A file name of this process's own under $TMPDIR.
inline std::string ScratchPath(const std::string& suffix) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/kestrova-fuzz-" + std::to_string(getpid()) + suffix;
}

// Writes the bytes to path; false when it cannot.
inline bool WriteScratch(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fwrite(data, 1, size, file);
  return std::fclose(file) == 0;
}

}  // namespace media::fuzz
