#include "output_length.h"

#include <algorithm>
#include <cstdio>

#include "media/probe.h"

namespace kestrova::convert {

int64_t ConvertedLength(const std::string& file) {
  media::TAVProbe probe;
  if (!probe.OpenFile(file)) return -1;
  media::TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  probe.CloseFile();
  return info.Duration >= 0 ? info.Duration : -1;
}

std::string ShortOutputNote(int64_t outputLength, int64_t expectedLength) {
  if (outputLength < 0 || expectedLength <= 0) return "";
  const int64_t allowed = std::max<int64_t>(1000000, expectedLength / 10);
  if (expectedLength - outputLength <= allowed) return "";
  char text[160];
  std::snprintf(text, sizeof text, "输出只有 %.1f 秒，源文件应有 %.1f 秒：源文件可能不完整", outputLength / 1e6,
                expectedLength / 1e6);
  return text;
}

}  // namespace kestrova::convert
