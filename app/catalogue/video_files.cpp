#include "video_files.h"

#include <system_error>

namespace kestrova::catalogue {

std::string BaseName(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

std::optional<std::string> SafeBaseName(const std::string& fileName) {
  if (fileName.find("..") != std::string::npos) return std::nullopt;
  for (unsigned char c : fileName) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return std::nullopt;
  }
  std::string base = BaseName(fileName);
  if (base.empty()) return std::nullopt;
  return base;
}

UnsafeFileNameError::UnsafeFileNameError(const std::string& fileName)
    : std::runtime_error("文件名“" + fileName + "”不能作为本地文件名使用，未做任何删除或写入") {}

std::string RequireSafeBaseName(const std::string& fileName) {
  std::optional<std::string> base = SafeBaseName(fileName);
  if (!base) throw UnsafeFileNameError(fileName);
  return *base;
}

std::filesystem::path ThumbnailPath(const std::filesystem::path& dataPath, const std::string& base) {
  return dataPath / "zoom" / (base + ".jpg");
}

std::filesystem::path VideoPath(const std::filesystem::path& dataPath, const std::string& base) {
  return dataPath / "video" / (base + ".html");
}

std::string ThumbnailAddress(const std::string& domain, const std::string& base) {
  return domain + "/zoom/" + base + ".jpg";
}

void DeleteLocalVideoFiles(const std::filesystem::path& dataPath, const std::string& base) {
  for (const auto& path : {ThumbnailPath(dataPath, base), VideoPath(dataPath, base)}) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) continue;
    if (!std::filesystem::remove(path, error) && error) {
      throw std::runtime_error("无法删除文件 " + path.string() + "：" + error.message());
    }
  }
}

}  // namespace kestrova::catalogue
