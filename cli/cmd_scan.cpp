// kestrova-cli scan: which files of a data folder are newer than (or missing
// from) their copies on the company's site.
#include <iostream>
#include <string>

#include "command.h"
#include "site_options.h"
#include "terminal_sync.h"

namespace kestrova::cli {
namespace {

const std::string kUsage = std::string("scan ") + kSiteOptionsUsage;

int RunScanCommand(const std::vector<std::string>& words) {
  return RunWithSiteOptions(words, kUsage.c_str(),
                            [](const sync::SiteOptions& options) { return sync::RunScan(options, std::cout, std::cerr); });
}

const CommandRegistrar registrar({"scan", kUsage, RunScanCommand});

}  // namespace
}  // namespace kestrova::cli
