#include "mp4_boxes.h"

#include <cstdio>
#include <memory>

namespace md {

namespace {
uint64_t BigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}
}  // namespace

std::vector<Mp4Box> ReadTopLevelBoxes(const std::string& path) {
  std::vector<Mp4Box> boxes;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return boxes;
  const long long fileSize = ftello(file.get());
  uint64_t offset = 0;
  while (fileSize > 0 && offset + 8 <= static_cast<uint64_t>(fileSize)) {
    unsigned char header[16];
    if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0 || std::fread(header, 1, 8, file.get()) != 8)
      break;
    uint64_t size = BigEndian(header, 4);
    if (size == 1) {  // the real size follows as 64 bits
      if (std::fread(header + 8, 1, 8, file.get()) != 8) break;
      size = BigEndian(header + 8, 8);
    } else if (size == 0) {  // runs to the end of the file
      size = static_cast<uint64_t>(fileSize) - offset;
    }
    if (size < 8 || size > static_cast<uint64_t>(fileSize) - offset) break;
    boxes.push_back({std::string(reinterpret_cast<char*>(header + 4), 4), offset, size});
    offset += size;
  }
  return boxes;
}

}  // namespace md
