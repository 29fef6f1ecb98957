// The site connection as the catalogue's delete path sees it. Header only, so
// the sync library does not depend on the catalogue: the main window, which
// links both, includes it.
//
// The window's own uses of the connection go ahead only while no upload run
// holds it; otherwise the user is told a transfer is under way.
#pragma once

#include <mutex>

#include "site_connection.h"
#include "site_sync.h"

namespace kestrova::sync {

class CatalogueSiteSync : public catalogue::SiteSync {
 public:
  CatalogueSiteSync(SiteConnection& site, SyncView& view) : site_(site), view_(view) {}

  bool connectFtp() override {
    std::unique_lock lock(site_.busy, std::try_to_lock);
    if (!lock.owns_lock()) {
      view_.showMessage(kMsgTransferring, "", BoxKind::Ok);
      return false;
    }
    sync::connectFtp(site_.ftp, view_);
    return site_.ftp.connected();
  }

  void deleteIfPresent(const std::string& folder, const std::string& name) override {
    std::unique_lock lock(site_.busy, std::try_to_lock);
    if (!lock.owns_lock()) throw catalogue::SiteCommandError(kMsgTransferring);
    try {
      sync::deleteIfPresent(site_.ftp, folder, name);
    } catch (const FtpError& error) {
      throw catalogue::SiteCommandError(error.what());
    }
  }

 private:
  SiteConnection& site_;
  SyncView& view_;
};

}  // namespace kestrova::sync
