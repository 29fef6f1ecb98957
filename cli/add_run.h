// One `kestrova-cli add` run over a list of files: each is set up for the
// engine (probe, thumbnail, the options dialog's settings), converted, and
// once finished published (".html" name, md, "saveUploadFile"), with one line
// per file on standard output and a progress bar on a terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::cli {

class ServiceClient;

struct AddSettings {
  std::string service, account, password;
  std::filesystem::path data;
  int preset = -1;           // none: the dialog's defaults
  int64_t thumbnailAt = -1;  // microseconds; -1: a tenth of the duration
  int jobs = 1;
  bool strict = false;  // an output much shorter than its input fails
};

// Adds the files to the catalogue of the company signed in on service.
// Returns 0 when all were added, 1 when any failed (each named on its own
// line and in a last line on standard error). A failed file leaves nothing
// in the data folder; Ctrl-C stops the conversions and counts as failure.
int AddFiles(const AddSettings& settings, ServiceClient& service, const std::string& companyid,
             const std::vector<std::string>& files);

}  // namespace kestrova::cli
