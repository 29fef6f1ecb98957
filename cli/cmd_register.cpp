// kestrova-cli register --service URL --account NAME [--title T] [--zhimo T]
//   DATA/video/NAME.html: adds a video that is already converted and sits
// under its published name to the company's catalogue ("saveUploadFile"),
// with its duration, frame rate and size read from the file itself. The
// title and the scrolling text default to the file's base name, as for a
// video added in the desktop tool. A file that is missing or holds no media
// is refused before anything is sent.
#include <cmath>
#include <filesystem>
#include <iostream>

#include "command.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "service_client.h"
#include "video_files.h"

namespace kestrova::cli {
namespace {

const char* kUsage =
    "register --service URL --account NAME [--title T] [--zhimo T] DATA/video/NAME.html   （密码放在环境变量 "
    "KESTROVA_PASSWORD 中）";

struct FileFacts {
  std::string duration, framerate, fileSize;
};

// Whole seconds and whole pictures a second, as the catalogue shows them.
FileFacts ReadFacts(const std::filesystem::path& file) {
  media::TFFLogger logger;
  logger.SetLogLevel(media::llQuiet);
  if (!media::FFmpegLoader().Load(media::EngineLibraries)) throw std::runtime_error(media::FFmpegLoader().LastError());
  media::TAVProbe probe;
  if (!probe.OpenFile(file.string())) throw std::runtime_error(file.string() + ": " + probe.LastErrorMessage());
  media::TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  long framerate = 0;
  if (probe.VideoStreamCount() > 0) {
    media::TVideoStreamInfo video;
    probe.GetVideoStreamInfo(video);
    if (video.FrameRateNum > 0 && video.FrameRateDen > 0) {
      framerate = std::lround(double(video.FrameRateNum) / video.FrameRateDen);
    }
  }
  FileFacts facts;
  facts.duration = std::to_string(info.Duration > 0 ? info.Duration / 1000000 : 0);
  facts.framerate = std::to_string(framerate);
  facts.fileSize = std::to_string(std::filesystem::file_size(file));
  return facts;
}

int RunRegister(const std::vector<std::string>& words) {
  Arguments args(words);
  if (args.positionals().size() != 1) {
    std::cerr << "用法：kestrova-cli " << kUsage << "\n";
    return 2;
  }
  std::filesystem::path file = args.positionals()[0];
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw std::runtime_error("文件不存在：" + file.string());
  FileFacts facts = ReadFacts(file);

  SignedIn session = SignInFromCommandLine(args.value("service"), args.value("account"), args.value("ca-file"));
  std::string name = file.filename().string();
  std::string base = catalogue::BaseName(name);
  service::NewVideo video{name,           args.value("zhimo", base), args.value("title", base), facts.duration,
                          facts.framerate, session.profile.companyid, facts.fileSize};
  std::string reply = session.client.Post(service::SaveUploadFileRequest(video));
  std::string result = service::getReplyValue(reply, "data.msg.item", "result");
  if (result != "success") {
    std::string reason = service::getReplyValue(reply, "data.msg.item", "message");
    std::cerr << "kestrova-cli register：后台服务拒绝登记 " << name << "："
              << (reason.empty() || reason == "error" ? result : reason) << "\n";
    return 1;
  }
  std::cout << "已登记 " << name << "（" << facts.duration << " 秒，" << facts.fileSize << " 字节）\n";
  return 0;
}

const CommandRegistrar kRegistrar({"register", kUsage, RunRegister});

}  // namespace
}  // namespace kestrova::cli
