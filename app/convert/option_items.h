// The item lists of the options dialog and what its quality presets select.
// Texts are the dialog's own, byte for byte.
#pragma once

#include <array>
#include <string_view>

namespace kestrova::convert {

inline constexpr std::array<std::string_view, 31> kFrameSizeItems = {
    "Auto - Original",   "128x96 - sqcif",    "176x144 - qcif",    "352x288 - cif",     "704x576 - 4cif",
    "160x120 - qqvga",   "320x240 - qvga",    "400x300 - qvga",    "480x360 - qvga",    "640x480 - vga",
    "800x600 - svga",    "1024x768 - xga",    "1600x1200 - uxga",  "2048x1536 - qxga",  "1280x1024 - sxga",
    "2560x2048 - qsxga", "5120x4096 - hsxga", "852x480 - wvga",    "1366x768 - wxga",   "1600x1024 - wsxga",
    "1920x1200 - wuxga", "2560x1600 - woxga", "3200x2048 - wqsxga", "3840x2400 - wquxga", "6400x4096 - whsxga",
    "7680x4800 - whuxga", "320x200 - cga",    "640x350 - ega",     "852x480 - hd480",   "1280x720 - hd720",
    "1920x1080 - hd1080"};
inline constexpr int kDefaultFrameSizeIndex = 6;

inline constexpr std::array<std::string_view, 5> kAudioSampleRateItems = {"Auto", "8000", "11025", "22050", "44100"};
inline constexpr std::array<std::string_view, 5> kFrameRateItems = {"Auto", "10", "15", "25", "30"};
inline constexpr std::array<std::string_view, 5> kAspectRatioItems = {"Auto", "4:3", "16:9", "37:20", "47:20"};
// Hidden groups: fixed at their design-time choice.
inline constexpr std::array<std::string_view, 1> kFormatItems = {"MP4"};
inline constexpr std::array<std::string_view, 3> kNormItems = {"Auto", "PAL", "NTSC"};
inline constexpr std::array<std::string_view, 3> kAudioChannelItems = {"Auto", "Mono", "Stereo"};
inline constexpr std::array<std::string_view, 5> kAudioCodecItems = {"Auto", "AAC", "AC3", "FLAC", "MP3"};

struct QualityPreset {
  std::string_view item;
  // Items 0 to 8 lock the video bit rate and the frame size to these; the
  // last item unlocks them and changes nothing.
  std::string_view videoBitRate;  // kbit/s, as written into the edit
  int frameSizeIndex;             // -1: left as it is
};

inline constexpr std::array<QualityPreset, 10> kQualityPresets = {{
    {"小视频(176*144 48Kbps)", "48", 2},
    {"标清(320*240 120Kbps)", "120", 6},
    {"标清(400*300 256Kbps)", "256", 7},
    {"标清(480*360 384Kbps)", "384", 8},
    {"高清(640*480 512Kbps)", "512", 9},
    {"高清（800*600 768Kbps）", "768", 10},
    {"超高清（640*480 1024Kbps）", "1024", 9},
    {"超高清（800*600 1280Kbps）", "1280", 10},
    {"超高清（1024*768 1536Kbps）", "1536", 11},
    {"根据下方参数自行选择", "", -1},
}};
inline constexpr int kFreeChoicePreset = 9;

}  // namespace kestrova::convert
