// Stands in for the FTP site connection until the synchronisation is wired
// into the main window: it says so instead of pretending to connect.
#pragma once

#include "platform.h"
#include "site_sync.h"

namespace kestrova::ui {

class UnwiredSiteSync : public catalogue::SiteSync {
 public:
  explicit UnwiredSiteSync(Platform& platform) : platform_(platform) {}
  bool connectFtp() override;
  void deleteIfPresent(const std::string& folder, const std::string& name) override;

 private:
  Platform& platform_;
};

}  // namespace kestrova::ui
