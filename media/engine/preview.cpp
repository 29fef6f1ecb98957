#include "media/engine/preview.h"

#include <mutex>

namespace media {

namespace {
std::mutex& FactoryMutex() {
  static std::mutex m;
  return m;
}
std::function<std::unique_ptr<IPreviewer>()>& Factory() {
  static std::function<std::unique_ptr<IPreviewer>()> f;
  return f;
}
}  // namespace

void SetPreviewerFactory(std::function<std::unique_ptr<IPreviewer>()> factory) {
  std::lock_guard<std::mutex> lock(FactoryMutex());
  Factory() = std::move(factory);
}

std::unique_ptr<IPreviewer> MakePreviewer() {
  std::function<std::unique_ptr<IPreviewer>()> f;
  {
    std::lock_guard<std::mutex> lock(FactoryMutex());
    f = Factory();
  }
  return f ? f() : nullptr;
}

}  // namespace media
