// The web player's configuration file, data/config.xml: company details,
// display flags and the playlist of published videos, rewritten after every
// catalogue refresh.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "videofile.h"

namespace kestrova::publishing {

struct PlayerConfig {
  // productinfo
  std::string companyid, account, tvtype;
  // videosetting: the company card ...
  std::string companyname, addr, tel, fax, qq, skype, msn, email;
  // ... and the player flags
  bool chkDisplayEntCard = false, chkDisplayZhimo = false, chkAutoPlay = false, chkAutocre = false,
       chkDisplayLogo = false;
  // The catalogue rows in list order; only rows whose state is exactly "A"
  // are written.
  service::TvideofileList rows;
};

// The existing file could not be loaded (missing or not well-formed).
class ConfigLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads the existing file, replaces its document element with a fresh
// "root" built from config and saves it in place (UTF-8, no indentation).
// Throws ConfigLoadError when the file cannot be loaded, writing nothing.
// A failure while building or saving is swallowed: the old file stays whole,
// since the new one is written beside it and then moved over it.
void createConfigXml(const std::filesystem::path& file, const PlayerConfig& config);

}  // namespace kestrova::publishing
