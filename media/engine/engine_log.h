// How the engine writes to the one log of the process. Levels are the
// libraries' numeric levels.
#pragma once

#include <string>

namespace media {

enum EngineLogLevel { LogPanic = 0, LogFatal = 8, LogError = 16, LogWarning = 24, LogInfo = 32, LogVerbose = 40,
                      LogDebug = 48 };

// A message of the engine itself.
void EngineLog(int level, const std::string& text);
// A message in the libraries' own voice (plug-in loading, refused values);
// the text carries its own line feed.
void LibraryLogText(int level, const std::string& text);
// The "loglevel" option: a level name or number.
void SetLibraryLogLevelByName(const std::string& name);
// The folder of the running program, with a trailing "/".
std::string ExecutableFolder();

}  // namespace media
