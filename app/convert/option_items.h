// The item lists of the conversion options dialog, in the order shown. The
// dialog fills its groups and lists from these; the settings record refers
// to them by index.
#pragma once

#include <array>
#include <string>

namespace kestrova::convert {

inline constexpr std::array<const char*, 31> kFrameSizeItems = {
    "Auto - Original",   "128x96 - sqcif",    "176x144 - qcif",    "352x288 - cif",     "704x576 - 4cif",
    "160x120 - qqvga",   "320x240 - qvga",    "400x300 - qvga",    "480x360 - qvga",    "640x480 - vga",
    "800x600 - svga",    "1024x768 - xga",    "1600x1200 - uxga",  "2048x1536 - qxga",  "1280x1024 - sxga",
    "2560x2048 - qsxga", "5120x4096 - hsxga", "852x480 - wvga",    "1366x768 - wxga",   "1600x1024 - wsxga",
    "1920x1200 - wuxga", "2560x1600 - woxga", "3200x2048 - wqsxga", "3840x2400 - wquxga", "6400x4096 - whsxga",
    "7680x4800 - whuxga", "320x200 - cga",    "640x350 - ega",     "852x480 - hd480",   "1280x720 - hd720",
    "1920x1080 - hd1080"};
inline constexpr std::array<const char*, 5> kAudioSampleRateItems = {"Auto", "8000", "11025", "22050", "44100"};
inline constexpr std::array<const char*, 5> kFrameRateItems = {"Auto", "10", "15", "25", "30"};
inline constexpr std::array<const char*, 5> kAspectRatioItems = {"Auto", "4:3", "16:9", "37:20", "47:20"};
// Hidden groups: their only or design-time choice is a fixed setting.
inline constexpr std::array<const char*, 1> kFormatItems = {"MP4"};
inline constexpr std::array<const char*, 3> kAudioChannelItems = {"Auto", "Mono", "Stereo"};
// Hidden groups that nothing reads: the output's audio codec is fixed by the
// shared defaults whatever they show.
inline constexpr std::array<const char*, 3> kNormItems = {"Auto", "PAL", "NTSC"};
inline constexpr std::array<const char*, 5> kAudioCodecItems = {"Auto", "AAC", "AC3", "FLAC", "MP3"};

// The index of the first frame size item for "WxH" ("640x480" -> 9), or -1.
int FrameSizeItemOf(const std::string& size);

// The index of text in items, or -1.
template <size_t N>
int ItemIndexOf(const std::array<const char*, N>& items, const std::string& text) {
  for (size_t i = 0; i < N; ++i)
    if (text == items[i]) return static_cast<int>(i);
  return -1;
}

}  // namespace kestrova::convert
