// kestrova-cli add --service URL --account NAME --data DIR [--preset N]
//                  [--thumbnail-at T] [--jobs N] [--strict] FILE...
//
// Adds videos to a company's catalogue from a terminal, the way the desktop
// tool's "add video" does: each file is converted with the options dialog's
// settings (and quality preset), gets its thumbnail in DIR/zoom/, is
// published under its ".html" name in DIR/video/, rewritten by md, and
// registered with the back end; then DIR/config.xml is rewritten so the
// site's playlist holds them at the next upload (--no-config skips that).
// The password comes from KESTROVA_PASSWORD.
// One line per file on standard output, a progress bar on standard error;
// the exit status is 1 when any file failed, and a failed file leaves
// nothing behind in the data folder. An output much shorter than its input
// (a damaged or half-copied file) is said so on its line; with --strict it
// fails.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "add_run.h"
#include "command.h"
#include "media/engine/conversion_presets.h"
#include "media/thumbnail.h"
#include "media/loader.h"
#include "media/logger.h"
#include "service_client.h"
#include "site_config.h"

namespace kestrova::cli {
namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "用法：kestrova-cli add --service URL --account NAME --data DIR [--preset 0-9] [--thumbnail-at HH:MM:SS.mmm] "
    "[--jobs N] [--no-config] [--strict] FILE...   （密码放在环境变量 KESTROVA_PASSWORD 中）\n";

bool ReadWholeNumber(const std::string& text, int low, int high, int& value) {
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high) return false;
  value = static_cast<int>(n);
  return true;
}

int UsageError(const std::string& message) {
  std::cerr << "kestrova-cli add：" << message << "\n" << kUsage;
  return 2;
}

int RunAdd(const std::vector<std::string>& words) {
  Arguments args(words, {"no-config", "strict"});
  AddSettings s;
  s.strict = args.has("strict");
  s.service = args.value("service");
  s.account = args.value("account");
  s.data = args.value("data");
  if (s.service.empty() || s.account.empty() || s.data.empty() || args.positionals().empty())
    return UsageError("需要 --service、--account、--data 和至少一个文件");
  const char* password = std::getenv("KESTROVA_PASSWORD");
  if (!password) return UsageError("请在环境变量 KESTROVA_PASSWORD 中给出密码");
  s.password = password;
  if (args.has("preset") && !ReadWholeNumber(args.value("preset"), 0, media::kUserChosenPreset, s.preset))
    return UsageError("--preset 只能是 0 到 9");
  if (args.has("jobs") && !ReadWholeNumber(args.value("jobs"), 1, 64, s.jobs))
    return UsageError("--jobs 只能是 1 到 64");
  if (!fs::is_directory(s.data)) {
    std::cerr << "kestrova-cli add：数据文件夹 " << s.data << " 不存在\n";
    return 1;
  }

  media::TFFLogger logger;
  logger.SetLogLevel(media::llQuiet);
  if (!media::FFmpegLoader().Load(media::EngineLibraries)) {
    std::cerr << "kestrova-cli add：" << media::FFmpegLoader().LastError() << "\n";
    return 1;
  }
  if (args.has("thumbnail-at")) {
    const std::string at = args.value("thumbnail-at");
    if (!media::ParseTimeText(at, s.thumbnailAt))
      return UsageError("--thumbnail-at “" + at + "” 无效（应为 HH:MM:SS.mmm）");
  }

  // Signing in first: a wrong password costs no conversion.
  ServiceClient service(s.service, 60, args.value("ca-file"));
  publishing::LoginProfile profile;
  try {
    profile = service.SignInProfile(s.account, s.password);
  } catch (const std::exception& e) {
    std::cerr << "kestrova-cli add：" << e.what() << "\n";
    return 1;
  }

  std::error_code ec;
  for (const char* folder : {"video", "zoom"}) {
    if (!fs::create_directories(s.data / folder, ec) && ec) {
      std::cerr << "kestrova-cli add：无法创建 " << (s.data / folder) << "：" << ec.message() << "\n";
      return 1;
    }
  }
  int status = AddFiles(s, service, profile.companyid, args.positionals());
  if (args.has("no-config")) return status;
  try {
    SiteConfigResult config = RewriteSiteConfig(service, profile, s.data / "config.xml");
    if (!config.error.empty()) {
      std::cerr << "kestrova-cli add：" << config.error << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "kestrova-cli add：config.xml 未能重写：" << e.what() << "\n";
    return 1;
  }
  return status;
}

const CommandRegistrar kRegistrar({"add",
                                   "add --service URL --account NAME --data DIR [--preset 0-9] "
                                   "[--thumbnail-at HH:MM:SS.mmm] [--jobs N] [--no-config] [--strict] FILE...",
                                   RunAdd});

}  // namespace
}  // namespace kestrova::cli
