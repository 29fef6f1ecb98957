#include "curl_library.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <stdexcept>

namespace kestrova::cli {
namespace {

template <class Function>
void Resolve(void* library, const char* name, Function& target) {
  target = reinterpret_cast<Function>(::dlsym(library, name));
  if (!target) throw std::runtime_error(std::string("libcurl 缺少 ") + name);
}

CurlLibrary Load() {
  // The library stays loaded until the process ends.
  void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = ::dlerror();
    throw std::runtime_error(std::string("无法加载 libcurl（libcurl.so.4）：") + (reason ? reason : "找不到"));
  }
  CurlLibrary curl{};
  Resolve(library, "curl_global_init", curl.global_init);
  Resolve(library, "curl_easy_init", curl.easy_init);
  Resolve(library, "curl_easy_cleanup", curl.easy_cleanup);
  Resolve(library, "curl_easy_setopt", curl.easy_setopt);
  Resolve(library, "curl_easy_perform", curl.easy_perform);
  Resolve(library, "curl_easy_getinfo", curl.easy_getinfo);
  Resolve(library, "curl_easy_strerror", curl.easy_strerror);
  Resolve(library, "curl_slist_append", curl.slist_append);
  Resolve(library, "curl_slist_free_all", curl.slist_free_all);
  curl.global_init(CURL_GLOBAL_DEFAULT);
  return curl;
}

}  // namespace

const CurlLibrary& Curl() {
  // A failed load is not remembered: the next caller gets the same error.
  static std::mutex mutex;
  static std::unique_ptr<CurlLibrary> loaded;
  std::lock_guard lock(mutex);
  if (!loaded) loaded = std::make_unique<CurlLibrary>(Load());
  return *loaded;
}

}  // namespace kestrova::cli
