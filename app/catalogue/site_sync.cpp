#include "site_sync.h"

#include "request_texts.h"

namespace kestrova::catalogue {

std::string ServerFolder(const std::string& serverPath, const std::string& kind) {
  std::string root = service::Trim(serverPath);
  // A root of "/" would otherwise give "//video"; the folder is the same.
  if (!root.empty() && root.back() == '/') root.pop_back();
  return root + "/" + kind;
}

void DeleteServerVideoFiles(SiteSync& site, const std::string& serverPath, const std::string& base) {
  site.deleteIfPresent(ServerFolder(serverPath, "video"), base + ".html");
  site.deleteIfPresent(ServerFolder(serverPath, "zoom"), base + ".jpg");
}

}  // namespace kestrova::catalogue
