// The service's own web pages: which file a request path names and how it is
// served. Plain functions, so the rules are tested without a server.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::service {

struct SitePath {
  enum class Verdict {
    Found,     // file holds the page
    NotFound,  // a well-formed path that names no page (or leaves the folder)
    Refused,   // a path that is not a sane address: bad escapes, NUL or control characters
  };
  Verdict verdict = Verdict::NotFound;
  std::filesystem::path file;
};

// Resolves a request target ("/member/?a=b") below siteDir. "%xx" escapes
// are decoded; a path with a NUL or another control character, or a broken
// escape, is refused, because what follows such a byte would be read one way
// by the file system and another by the content-type lookup. ".." never
// climbs out of siteDir. A folder stands for its index.html.
SitePath ResolveSitePath(const std::filesystem::path& siteDir, std::string_view target);

// The Content-Type for a page file by its extension. The pages are UTF-8
// Chinese; the ".php" address the tool links to is served as the HTML it is.
std::string SiteContentType(const std::filesystem::path& file);

}  // namespace kestrova::service
