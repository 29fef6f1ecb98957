#include "site_files.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace kestrova::service {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace

SitePath ResolveSitePath(const std::filesystem::path& siteDir, std::string_view target) {
  SitePath result;
  std::string_view path = target.substr(0, target.find_first_of("?#"));
  auto decoded = PercentDecode(path);
  if (!decoded || decoded->empty() || decoded->front() != '/') {
    result.verdict = SitePath::Verdict::Refused;
    return result;
  }
  if (std::any_of(decoded->begin(), decoded->end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\'; })) {
    result.verdict = SitePath::Verdict::Refused;
    return result;
  }
  if (siteDir.empty()) return result;

  std::filesystem::path file = siteDir;
  size_t begin = 1;
  while (begin <= decoded->size()) {
    size_t end = decoded->find('/', begin);
    if (end == std::string::npos) end = decoded->size();
    std::string_view segment = std::string_view(*decoded).substr(begin, end - begin);
    // ".." is refused rather than resolved: no page needs it, and it is the
    // one way out of the folder.
    if (segment == "..") return result;
    if (!segment.empty() && segment != ".") file /= std::string(segment);
    begin = end + 1;
  }
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) file /= "index.html";
  if (!std::filesystem::is_regular_file(file, error)) return result;
  result.verdict = SitePath::Verdict::Found;
  result.file = file;
  return result;
}

std::string SiteContentType(const std::filesystem::path& file) {
  static const std::map<std::string, std::string> kTypes{
      {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
      {".php", "text/html; charset=utf-8"},  {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"}, {".xml", "text/xml; charset=utf-8"},
      {".txt", "text/plain; charset=utf-8"}, {".gif", "image/gif"},
      {".png", "image/png"},                 {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},               {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},
  };
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  auto it = kTypes.find(ext);
  return it == kTypes.end() ? "application/octet-stream" : it->second;
}

}  // namespace kestrova::service
