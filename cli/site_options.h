// The site options that scan and upload share: where the site is, how it is
// reached, who logs in and what to trust.
#pragma once

#include <string>
#include <vector>

#include "terminal_sync.h"

namespace kestrova::cli {

// The options part of both commands' usage lines.
extern const char* const kSiteOptionsUsage;

// Reads the options into options. False with the reason in error when a
// required option is missing or a value is wrong. The password comes from
// --password or, so that it need not stand on a command line where other
// users' process listings show it, from KESTROVA_FTP_PASSWORD.
bool ReadSiteOptions(const std::vector<std::string>& words, sync::SiteOptions& options, std::string& error);

// Runs one of the two commands: reads the options, prints the usage on a
// mistake (exit 2), and hands the options to run otherwise.
int RunWithSiteOptions(const std::vector<std::string>& words, const char* usage,
                       int (*run)(const sync::SiteOptions& options));

}  // namespace kestrova::cli
