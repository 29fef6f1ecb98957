#include "media/engine/preview.h"

#include <mutex>

namespace media {

namespace {
std::mutex& FactoryMutex() {
  static std::mutex m;
  return m;
}
std::function<std::unique_ptr<TPreviewer>()>& Factory() {
  static std::function<std::unique_ptr<TPreviewer>()> f;
  return f;
}
}  // namespace

void SetPreviewerFactory(std::function<std::unique_ptr<TPreviewer>()> factory) {
  std::lock_guard<std::mutex> lock(FactoryMutex());
  Factory() = std::move(factory);
}

std::unique_ptr<TPreviewer> MakePreviewer() {
  std::function<std::unique_ptr<TPreviewer>()> f;
  {
    std::lock_guard<std::mutex> lock(FactoryMutex());
    f = Factory();
  }
  return f ? f() : nullptr;
}

}  // namespace media
