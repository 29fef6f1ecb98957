#include "site_options.h"

#include <cstdlib>
#include <iostream>

#include "command.h"
#include "site_protocol.h"

namespace kestrova::cli {

const char* const kSiteOptionsUsage =
    "--host H [--protocol ftp|ftps|ftps-implicit|sftp] [--port P] --user U [--password W] [--key FILE] "
    "[--accept-fingerprint SHA256:...] [--ca-file FILE] [--root /site] --data DIR";

bool ReadSiteOptions(const std::vector<std::string>& words, sync::SiteOptions& options, std::string& error) {
  Arguments args(words);
  options.host = args.value("host");
  std::string protocol = args.value("protocol", "ftp");
  auto parsed = sync::ParseProtocolName(protocol);
  if (!parsed) {
    error = "未知的协议：" + protocol + "（可用 ftp、ftps、ftps-implicit、sftp）";
    return false;
  }
  options.protocol = *parsed;
  // The port follows the protocol unless given.
  options.port = args.value("port", std::to_string(sync::DefaultPort(options.protocol)));
  options.user = args.value("user");
  const char* fromEnvironment = std::getenv("KESTROVA_FTP_PASSWORD");
  options.password = args.value("password", fromEnvironment ? fromEnvironment : "");
  options.keyFile = args.value("key");
  options.caFile = args.value("ca-file");
  options.acceptedFingerprints = args.values("accept-fingerprint");
  options.root = args.value("root", "/");
  options.dataFolder = args.value("data");
  if (options.host.empty() || options.dataFolder.empty()) {
    error = "需要 --host 和 --data";
    return false;
  }
  if (!options.keyFile.empty() && options.protocol != sync::SiteProtocol::Sftp) {
    error = "--key 只用于 sftp";
    return false;
  }
  return true;
}

int RunWithSiteOptions(const std::vector<std::string>& words, const char* usage,
                       int (*run)(const sync::SiteOptions& options)) {
  sync::SiteOptions options;
  std::string error;
  if (!ReadSiteOptions(words, options, error)) {
    std::cerr << "kestrova-cli：" << error << "\n用法：kestrova-cli " << usage << "\n";
    return 2;
  }
  return run(options);
}

}  // namespace kestrova::cli
