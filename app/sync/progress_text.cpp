#include "progress_text.h"

#include <QList>
#include <QString>
#include <array>
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

namespace {
constexpr const char* kRenameRefused = "服务器不支持改名，改为直接上传到正式文件名：";

// Where the file name sits in a status text: its first byte and its length.
bool FindFileName(const std::string& text, size_t& start, size_t& length) {
  struct Shape {
    const char* before;
    const char* after;  // empty: the name runs to the end
  };
  static constexpr std::array<Shape, 4> kShapes = {{
      {"正在上传：", " 当前进度："},
      {"文件：", " 上传完成"},
      {"上传 ", " 失败："},
      {kRenameRefused, ""},
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
}  // namespace

std::string RenameRefusedText(const std::string& fileName) { return kRenameRefused + fileName; }

std::string FitStatusText(const std::string& text, const std::function<int(const std::string&)>& widthOf,
                          int maxWidth) {
  size_t start = 0, length = 0;
  if (widthOf(text) <= maxWidth || !FindFileName(text, start, length)) return text;
  // Whole characters, never half of one.
  QList<uint> name = QString::fromStdString(text.substr(start, length)).toUcs4();
  auto withName = [&](qsizetype kept) {
    qsizetype tail = kept / 2, head = kept - tail;
    QList<uint> shortened = name.mid(0, head);
    shortened.append(0x2026);  // …
    shortened.append(name.mid(name.size() - tail));
    return text.substr(0, start) + QString::fromUcs4(reinterpret_cast<const char32_t*>(shortened.constData()),
                                                     shortened.size()).toStdString() +
           text.substr(start + length);
  };
  // The longest shortened name that fits; at worst the ellipsis alone.
  qsizetype low = 0, high = name.size() - 1;
  while (low < high) {
    qsizetype middle = (low + high + 1) / 2;
    if (widthOf(withName(middle)) <= maxWidth)
      low = middle;
    else
      high = middle - 1;
  }
  return withName(std::max<qsizetype>(low, 0));
}

}  // namespace kestrova::sync
