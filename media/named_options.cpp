#include "media/named_options.h"

#include "media/entry_points.h"
#include "media/logger.h"

namespace media {

const int kOptionTypeFlags[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

namespace {
const AVMediaType kTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA, AVMEDIA_TYPE_SUBTITLE,
                               AVMEDIA_TYPE_ATTACHMENT};

std::string Trim(const std::string& text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}
}  // namespace

bool TOptionContexts::Create(int scalerFlags) {
  Free();
  for (int i = 0; i < 5; ++i) {
    codec[i].reset(Av().avcodec_alloc_context3(nullptr));
    if (!codec[i]) return false;
    codec[i]->codec_type = kTypes[i];
  }
  format.reset(Av().avformat_alloc_context());
  scaler.reset(Av().sws_getContext(16, 16, AVPixelFormat(0), 16, 16, AVPixelFormat(0), scalerFlags, nullptr, nullptr,
                                   nullptr));
  return format && scaler;
}

void TOptionContexts::Free() {
  for (auto& context : codec) context.reset();
  format.reset();
  scaler.reset();
  names.clear();
}

bool SetNamedOption(TOptionContexts& contexts, const std::string& rawName, const std::string& rawValue) {
  std::string name = Trim(rawName);
  std::string value = Trim(rawValue);
  if (name.empty() || value.empty()) return false;
  const AVOption* found = nullptr;
  int result = 0;
  for (int type = 0; type < 5 && result >= 0; ++type) {
    int flags = kOptionTypeFlags[type];
    const AVOption* option = Av().av_opt_find(contexts.codec[0].get(), name.c_str(), nullptr, flags, 0);
    if (option) {
      found = option;
      result = Av().av_opt_set(contexts.codec[type].get(), name.c_str(), value.c_str(), 0);
    }
  }
  if (!found) {
    for (void* object : {static_cast<void*>(contexts.format.get()), static_cast<void*>(contexts.scaler.get())}) {
      if (!object) continue;
      found = Av().av_opt_find(object, name.c_str(), nullptr, 0, 0);
      if (found) {
        result = Av().av_opt_set(object, name.c_str(), value.c_str(), 0);
        break;
      }
    }
  }
  if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    AVCodecContext* target = contexts.codec[name[0] == 'v' ? 0 : name[0] == 'a' ? 1 : 3].get();
    std::string rest = name.substr(1);
    found = Av().av_opt_find(target, rest.c_str(), nullptr, 0, 0);
    if (found) result = Av().av_opt_set(target, rest.c_str(), value.c_str(), 0);
  }
  if (!found) return false;
  if (result < 0) {
    Av().av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
    return false;
  }
  // Record the option's own name ("b" for "vb"): that is the name later
  // contexts are asked for.
  contexts.names.push_back(found->name);
  if (contexts.codec[0]->debug || (contexts.format && contexts.format->debug)) FFLogger().SetLogLevel(llDebug);
  return true;
}

void ApplyNamedOptions(const TOptionContexts& contexts, void* target, void* source, int flags) {
  for (const auto& name : contexts.names) {
    uint8_t* value = nullptr;
    if (Av().av_opt_get(source, name.c_str(), 0, &value) < 0 || !value) continue;
    const AVOption* option = Av().av_opt_find(source, name.c_str(), nullptr, 0, 0);
    if (option && (option->flags & flags) == flags) {
      Av().av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(value), 0);
    }
    Av().av_free(value);
  }
}

}  // namespace media
