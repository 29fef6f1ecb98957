#include "progress_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

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

namespace {
constexpr const char* kRenameRefused = "服务器不支持改名，改为直接上传到正式文件名：";
constexpr const char* kRemovedBeforeRename = "服务器不支持覆盖式改名，已先删除旧文件再改名：";

// Where the file name sits in a status text: its first byte and its length.
bool FindFileName(const std::string& text, size_t& start, size_t& length) {
  struct Shape {
    const char* before;
    const char* after;  // empty: the name runs to the end
  };
  static constexpr std::array<Shape, 5> kShapes = {{
      {"正在上传：", " 当前进度："},
      {"文件：", " 上传完成"},
      {"上传 ", " 失败："},
      {kRenameRefused, ""},
      {kRemovedBeforeRename, ""},
  }};
  for (const Shape& shape : kShapes) {
    std::string before = shape.before, after = shape.after;
    if (text.rfind(before, 0) != 0) continue;
    start = before.size();
    // The figures come last, so the marker before them is searched from the end;
    // an error detail follows " 失败：", so that one is the first after the name.
    size_t end = after.empty() ? text.size()
                 : after == " 失败：" ? text.find(after, start)
                                     : text.rfind(after);
    if (end == std::string::npos || end < start) continue;
    length = end - start;
    return true;
  }
  return false;
}

// UTF-8 text cut into whole characters; a stray byte counts as one.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> characters;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    length = std::min(length, text.size() - i);
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = k;  // cut short: what came is one
    characters.push_back(text.substr(i, length));
    i += length;
  }
  return characters;
}
}  // namespace

std::string RenameRefusedText(const std::string& fileName) { return kRenameRefused + fileName; }
std::string RemovedBeforeRenameText(const std::string& fileName) { return kRemovedBeforeRename + fileName; }

std::string FitStatusText(const std::string& text, const std::function<int(const std::string&)>& widthOf,
                          int maxWidth) {
  size_t start = 0, length = 0;
  if (widthOf(text) <= maxWidth || !FindFileName(text, start, length)) return text;
  // Whole characters, never half of one.
  std::vector<std::string> name = Characters(text.substr(start, length));
  auto withName = [&](size_t kept) {
    size_t tail = kept / 2, head = kept - tail;
    std::string shortened;
    for (size_t i = 0; i < head; ++i) shortened += name[i];
    shortened += "\u2026";  // …
    for (size_t i = name.size() - tail; i < name.size(); ++i) shortened += name[i];
    return text.substr(0, start) + shortened + text.substr(start + length);
  };
  // The longest shortened name that fits; at worst the ellipsis alone.
  size_t low = 0, high = name.empty() ? 0 : name.size() - 1;
  while (low < high) {
    size_t middle = (low + high + 1) / 2;
    if (widthOf(withName(middle)) <= maxWidth)
      low = middle;
    else
      high = middle - 1;
  }
  return withName(low);
}

}  // namespace kestrova::sync
