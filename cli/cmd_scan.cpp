// kestrova-cli scan: which files of a data folder are newer than (or missing
// from) their copies on the company's FTP site.
#include <cstdlib>
#include <iostream>

#include "command.h"
#include "terminal_sync.h"

namespace kestrova::cli {
namespace {

const char* kUsage = "scan --host H [--port P] --user U [--password W] [--root /site] --data DIR";

// Shared by scan and upload; the password may come from the environment so
// it need not stand on a command line.
bool ReadSiteOptions(const std::vector<std::string>& words, sync::SiteOptions& options) {
  Arguments args(words);
  options.host = args.value("host");
  options.port = args.value("port", "21");
  options.user = args.value("user");
  const char* fromEnvironment = std::getenv("KESTROVA_FTP_PASSWORD");
  options.password = args.value("password", fromEnvironment ? fromEnvironment : "");
  options.root = args.value("root", "/");
  options.dataFolder = args.value("data");
  return !options.host.empty() && !options.dataFolder.empty();
}

int RunScanCommand(const std::vector<std::string>& words) {
  sync::SiteOptions options;
  if (!ReadSiteOptions(words, options)) {
    std::cerr << "usage: kestrova-cli " << kUsage << "\n";
    return 2;
  }
  return sync::RunScan(options, std::cout, std::cerr);
}

const CommandRegistrar registrar({"scan", kUsage, RunScanCommand});

}  // namespace
}  // namespace kestrova::cli
