#include "option_items.h"

namespace kestrova::convert {

int FrameSizeItemOf(const std::string& size) {
  const std::string prefix = size + " ";
  for (size_t i = 1; i < kFrameSizeItems.size(); ++i)
    if (std::string(kFrameSizeItems[i]).rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

}  // namespace kestrova::convert
