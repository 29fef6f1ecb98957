// Helpers that take the libraries' own types. Internal to the media library;
// the plain ones are in utils.h.
#pragma once

#include <cstdint>
#include <string>

#include "media/av_headers.h"
#include "media/utils.h"

namespace media {

// One picture's time in µs at the given rate; 40000 when the rate is unset.
int64_t FrameDuration(AVRational frameRate);
// The first tag with that key (in any case), else fallback.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key, const std::string& fallback);
// "name(long name)" of the codec, or what the tag tells when the library has none.
std::string CodecNameText(AVCodecID codecId, uint32_t codecTag, bool encoder);
std::string CodecNameText(const AVCodecContext* context, bool encoder);

}  // namespace media
