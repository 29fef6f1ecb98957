#include "progress_text.h"

#include <cstdio>

namespace kestrova::sync {

std::string PercentText(std::int64_t count, std::int64_t total) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", static_cast<double>(count) * 100.0 / static_cast<double>(total));
  return text;
}

std::string ProgressText(const std::string& fileName, std::int64_t count, std::int64_t total) {
  if (total <= 0) return "正在读取服务器文件列表：已接收 " + std::to_string(count) + " 字节";
  return "正在上传：" + fileName + " 当前进度：" + std::to_string(count) + "/" + std::to_string(total) +
         " 当前文件上传百分比：" + PercentText(count, total) + "%";
}

std::string TransferDoneText(const std::string& fileName) { return "文件：" + fileName + " 上传完成"; }

}  // namespace kestrova::sync
