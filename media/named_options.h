// Options given by name ("b", "g", "ar"...) are tried on a codec context per
// media type, then the format context, then the scaler, the way the engine's
// command-line style settings expect. Recorded names are copied onto the real
// contexts later with ApplyNamedOptions.
#pragma once

#include <string>
#include <vector>

#include "media/av_headers.h"
#include "media/av_owners.h"

namespace media {

struct TOptionContexts {
  std::vector<std::string> names;  // options set so far, in order
  CodecContextPtr codec[5];  // video, audio, data, subtitle, attachment
  FormatContextPtr format;
  SwsPtr scaler;

  // Allocates the contexts (avcodec, avformat and swscale must be bound).
  bool Create(int scalerFlags);
  void Free();
};

// Option flags searched per media type, indexed like TOptionContexts::codec.
extern const int kOptionTypeFlags[5];

bool SetNamedOption(TOptionContexts& contexts, const std::string& name, const std::string& value);
// Copies every recorded option whose flags contain all of flags from source to
// target (both objects with an AVClass).
void ApplyNamedOptions(const TOptionContexts& contexts, void* target, void* source, int flags);

}  // namespace media
