#include "logo_file.h"

#include <stdexcept>
#include <system_error>

namespace kestrova::publishing {

std::filesystem::path LogoPath(const std::filesystem::path& dataPath) { return dataPath / "model" / "logo.gif"; }

void StoreLogo(const std::filesystem::path& source, const std::filesystem::path& dataPath) {
  namespace fs = std::filesystem;
  fs::path target = LogoPath(dataPath);
  fs::path partial = target;
  partial += ".new";
  std::error_code error;
  if (!fs::is_regular_file(source, error)) {
    throw std::runtime_error("无法读取文件 " + source.string());
  }
  fs::create_directories(target.parent_path(), error);
  if (fs::equivalent(source, target, error)) return;  // already the logo
  error.clear();
  fs::copy_file(source, partial, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(partial, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    throw std::runtime_error("无法保存企业图标 " + target.string() + "：" + error.message());
  }
}

}  // namespace kestrova::publishing
