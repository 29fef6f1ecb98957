#include "media/engine/options_generic.h"

#include "media/engine/engine_av.h"
#include "media/named_options.h"

namespace media {

void OptionContextSetFree::operator()(OptionContextSet* set) const { delete set; }

OptionContextSetPtr CreateOptionContexts(int swsFlags) {
  OptionContextSetPtr set(new TOptionContexts());
  if (!set->Create(swsFlags)) set.reset();
  return set;
}

bool GenericSetOption(OptionContextSet* set, const std::string& name, const std::string& value) {
  return set != nullptr && SetNamedOption(*set, name, value);
}

bool GenericKnowsOption(OptionContextSet* set, const std::string& name) {
  if (set == nullptr || name.empty()) return false;
  for (void* object : {static_cast<void*>(set->codec[0].get()), static_cast<void*>(set->format.get()),
                       static_cast<void*>(set->scaler.get())})
    if (object != nullptr && AV(av_opt_find)(object, name.c_str(), nullptr, 0, 0) != nullptr) return true;
  // "vb", "abt": the rest of the name on the codec context of that kind.
  return name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's') &&
         AV(av_opt_find)(set->codec[0].get(), name.c_str() + 1, nullptr, 0, 0) != nullptr;
}

void GenericApplyOptions(OptionContextSet* set, void* target, int mediaType, int flags) {
  if (set == nullptr || target == nullptr) return;
  void* source = mediaType < 0 ? static_cast<void*>(set->format.get())
                 : mediaType < 5 ? static_cast<void*>(set->codec[mediaType].get())
                                 : nullptr;
  if (source != nullptr) ApplyNamedOptions(*set, target, source, flags);
}

long long GenericGetInt(OptionContextSet* set, int mediaType, const char* name) {
  int64_t value = 0;
  if (set == nullptr || mediaType < 0 || mediaType >= 5 || set->codec[mediaType] == nullptr) return 0;
  if (AV(av_opt_get_int)(set->codec[mediaType].get(), name, 0, &value) < 0) return 0;
  return value;
}

int GenericScalerFlags(OptionContextSet* set) {
  int64_t value = SWS_BICUBIC;
  if (set != nullptr && set->scaler != nullptr) AV(av_opt_get_int)(set->scaler.get(), "sws_flags", 0, &value);
  return static_cast<int>(value);
}

}  // namespace media
