// kestrova-cli upload: scans a data folder against the company's FTP site and
// uploads every changed file, with a progress bar on a terminal.
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "command.h"
#include "terminal_sync.h"

namespace kestrova::cli {
namespace {

const char* kUsage = "upload --host H [--port P] --user U [--password W] [--root /site] --data DIR";

int RunUploadCommand(const std::vector<std::string>& words) {
  Arguments args(words);
  sync::SiteOptions options;
  options.host = args.value("host");
  options.port = args.value("port", "21");
  options.user = args.value("user");
  // From the environment when not given, so it need not stand on a command line.
  const char* fromEnvironment = std::getenv("KESTROVA_FTP_PASSWORD");
  options.password = args.value("password", fromEnvironment ? fromEnvironment : "");
  options.root = args.value("root", "/");
  options.dataFolder = args.value("data");
  if (options.host.empty() || options.dataFolder.empty()) {
    std::cerr << "usage: kestrova-cli " << kUsage << "\n";
    return 2;
  }
  return sync::RunUpload(options, isatty(STDERR_FILENO) != 0, std::cout, std::cerr);
}

const CommandRegistrar registrar({"upload", kUsage, RunUploadCommand});

}  // namespace
}  // namespace kestrova::cli
