// The vendor's commands that run without the server: adding a company and
// creating the demo company.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "store.h"

namespace kestrova::service {

// Builds a company from "--field value" options: account, password (hashed
// here), tvtype (default "SETUP"), and any profile field by its reply name
// (name, title, tel, ..., dsp_logo as 0/1, ftp_addr, ..., domain). Unknown
// names are an error, so a typo does not pass silently.
NewCompany CompanyFromOptions(const std::map<std::string, std::string>& options);

// Where the local demo site listens: its FTP port (the upload target) and its
// HTTP port (the web address the embed snippet points at).
struct DemoSitePorts {
  std::string ftp = "2121";
  std::string http = "8641";
};

// Creates the demo company unless the account "demo" exists already, with
// three sample catalogue rows (no files behind them) when sampleVideos is
// set, its site settings pointing at the demo site on ports. An existing
// demo company gets its site settings moved to ports, so a demo started on
// other ports never reads another demo's site. Returns its id either way;
// created tells which.
std::int64_t SeedDemoCompany(Store& store, bool& created, bool sampleVideos = true, const DemoSitePorts& ports = {});

}  // namespace kestrova::service
