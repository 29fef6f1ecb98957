// kestrova-cli probe FILE [--format NAME] [--verbose]: prints what the probe
// finds in a media file, the same text the conversion options dialog shows.
#include <iostream>

#include "command.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

namespace kestrova::cli {
namespace {

int RunProbe(const std::vector<std::string>& words) {
  Arguments args(words, {"verbose"});
  if (args.positionals().size() != 1) {
    std::cerr << "用法：kestrova-cli probe FILE [--format NAME] [--verbose]\n";
    return 2;
  }
  media::TFFLogger logger;
  logger.SetLogLevel(args.has("verbose") ? media::llDebug : media::llQuiet);
  logger.SetTriggerEventInMainThread(false);
  logger.SetOnLog([](const void*, std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
    std::cerr << "#" << threadId << "." << media::LogLevelName(level) << ": " << message << "\n";
  });
  if (!media::FFmpegLoader().Load(media::EngineLibraries)) {
    std::cerr << "kestrova-cli probe：" << media::FFmpegLoader().LastError() << "\n";
    return 1;
  }
  media::TAVProbe probe;
  if (!probe.OpenFile(args.positionals()[0], args.value("format"))) {
    std::cerr << "kestrova-cli probe：" << probe.LastErrorMessage() << "\n";
    return 1;
  }
  std::cout << probe.GetFileInfoText();
  return 0;
}

const CommandRegistrar kRegistrar({"probe", "probe FILE [--format NAME] [--verbose]", RunProbe});

}  // namespace
}  // namespace kestrova::cli
