// kestrova-cli upload: scans a data folder against the company's site and
// uploads every changed file, with a progress bar on a terminal.
#include <unistd.h>

#include <iostream>
#include <string>

#include "command.h"
#include "site_options.h"
#include "terminal_sync.h"

namespace kestrova::cli {
namespace {

const std::string kUsage = std::string("upload ") + kSiteOptionsUsage;

int RunUploadCommand(const std::vector<std::string>& words) {
  return RunWithSiteOptions(words, kUsage.c_str(), [](const sync::SiteOptions& options) {
    return sync::RunUpload(options, isatty(STDERR_FILENO) != 0, std::cout, std::cerr);
  });
}

const CommandRegistrar registrar({"upload", kUsage, RunUploadCommand});

}  // namespace
}  // namespace kestrova::cli
