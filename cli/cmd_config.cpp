// kestrova-cli config --service URL --account NAME --data DIR: signs in, asks
// for the catalogue and rewrites DIR/config.xml for the web player, as the
// desktop tool does after each refresh of its list: the company card and
// player flags as the back end keeps them, the published videos in list order.
#include <filesystem>
#include <iostream>

#include "command.h"
#include "service_client.h"
#include "site_config.h"

namespace kestrova::cli {
namespace {

const char* kUsage = "config --service URL --account NAME --data DIR   （密码放在环境变量 KESTROVA_PASSWORD 中）";

int RunConfig(const std::vector<std::string>& words) {
  Arguments args(words);
  std::string data = args.value("data");
  if (data.empty() || !args.positionals().empty()) {
    std::cerr << "用法：kestrova-cli " << kUsage << "\n";
    return 2;
  }
  SignedIn session = SignInFromCommandLine(args.value("service"), args.value("account"), args.value("ca-file"));
  std::filesystem::path file = std::filesystem::path(data) / "config.xml";
  SiteConfigResult result = RewriteSiteConfig(session.client, session.profile, file);
  if (!result.error.empty()) {
    std::cerr << "kestrova-cli config：" << result.error << "\n";
    return 1;
  }
  std::cout << "已写入 " << file.string() << "：" << result.videos << " 个视频中有 " << result.published << " 个已发布\n";
  return 0;
}

const CommandRegistrar kRegistrar({"config", kUsage, RunConfig});

}  // namespace
}  // namespace kestrova::cli
