// DIR/config.xml, the web player's playlist and company card, rewritten from
// what the back end holds: by `config` on request and by `add` after it has
// registered its videos, so an upload right after puts them on the site.
#pragma once

#include <filesystem>
#include <string>

#include "login_profile.h"

namespace kestrova::cli {

class ServiceClient;

struct SiteConfigResult {
  std::string error;  // empty on success
  size_t published = 0, videos = 0;
};

SiteConfigResult RewriteSiteConfig(ServiceClient& client, const publishing::LoginProfile& profile,
                                   const std::filesystem::path& file);

}  // namespace kestrova::cli
