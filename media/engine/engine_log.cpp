#include "media/engine/engine_log.h"

#include "media/engine/engine_av.h"
#include "media/logger.h"

namespace media {

void EngineLog(int level, const std::string& text) { FFLogger().Log(nullptr, LibraryToLogLevel(level), text); }

void LibraryLogText(int level, const std::string& text) {
  // Through the library's own log, so the line is assembled and filtered
  // like every other library message.
  if (Av().av_log != nullptr)
    Av().av_log(nullptr, level, "%s", text.c_str());
  else
    FFLogger().Log(nullptr, LibraryToLogLevel(level), text);
}

void SetLibraryLogLevelByName(const std::string& name) { FFLogger().SetLogLevelByName(name); }

std::string ExecutableFolder() { return ExecutableDir(); }

}  // namespace media
