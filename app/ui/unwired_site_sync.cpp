#include "unwired_site_sync.h"

#include "app_title.h"

namespace kestrova::ui {

bool UnwiredSiteSync::connectFtp() {
  platform_.messageBox(QStringLiteral("网站同步模块尚未接入，无法连接FTP服务器！"), ApplicationTitle());
  return false;
}

void UnwiredSiteSync::deleteIfPresent(const std::string& folder, const std::string& name) {
  throw catalogue::SiteCommandError("FTP连接未建立，无法删除服务器文件 " + folder + "/" + name);
}

}  // namespace kestrova::ui
