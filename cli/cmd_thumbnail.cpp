// kestrova-cli thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg: takes the picture at
// a time the way the conversion options dialog's slider does (seek, then
// decode forward to the time) and saves it fitted into 120 x 90 on the
// dialog's margin colour, as a JPEG.
#include <iostream>

#include "command.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"
#include "media/thumbnail.h"
#include "media/utils.h"
#include "thumbnail_picture.h"

namespace kestrova::cli {
namespace {

int RunThumbnail(const std::vector<std::string>& words) {
  // "-o OUT" is the usual spelling; "--output OUT" works too.
  std::vector<std::string> rest;
  std::string output;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "-o" && i + 1 < words.size()) {
      output = words[++i];
    } else {
      rest.push_back(words[i]);
    }
  }
  Arguments args(rest);
  if (output.empty()) output = args.value("output");
  if (args.positionals().size() != 1 || output.empty() || !args.has("at")) {
    std::cerr << "用法：kestrova-cli thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg\n";
    return 2;
  }
  media::TFFLogger logger;
  logger.SetLogLevel(media::llQuiet);
  if (!media::FFmpegLoader().Load(media::EngineLibraries)) {
    std::cerr << "kestrova-cli thumbnail：" << media::FFmpegLoader().LastError() << "\n";
    return 1;
  }
  int64_t target = 0;
  std::string at = args.value("at");
  if (!media::ParseTimeText(at, target)) {
    std::cerr << "kestrova-cli thumbnail：--at “" << at << "” 无效（应为 HH:MM:SS.mmm）\n";
    return 2;
  }
  media::TAVProbe probe;
  if (!probe.OpenFile(args.positionals()[0])) {
    std::cerr << "kestrova-cli thumbnail：" << probe.LastErrorMessage() << "\n";
    return 1;
  }
  media::Bitmap picture;
  std::string error;
  if (!SaveThumbnail(probe, target, output, picture, error)) {
    std::cerr << "kestrova-cli thumbnail：" << error << "\n";
    return 1;
  }
  std::cout << output << ": " << picture.width << "x" << picture.height << " @ "
            << media::DurationText(probe.CurrentPTS()) << "\n";
  return 0;
}

const CommandRegistrar kRegistrar({"thumbnail", "thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg", RunThumbnail});

}  // namespace
}  // namespace kestrova::cli
