// The records through which callers describe a conversion to the engine
// (one input, one output) and through which the engine reports back (hook,
// preview, progress, termination). The dialogs call the initialisers before
// filling a record, so every field they leave alone reads as "not set".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/bitmap.h"

namespace media {



// The 64-bit value with only the sign bit set: no time given.
inline constexpr int64_t kNoTime = INT64_MIN;
// The most inputs, and the most outputs, one task takes.
inline constexpr int kMaxFiles = 20;

struct TInputOptions {
  std::string FileName;
  std::string FileFormat;
  int64_t StartTime = kNoTime;  // microseconds
  int ProgramID = -1;
  std::string ExtOptions;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
};

struct TStreamInfo {
  double Timestamp = -1.0;  // days since 1899-12-30, local time; 0 = now
  int Year = -1;
  int Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TOutputOptions {
  std::string FileName;
  std::string FileExt;
  std::string FileFormat;
  int PacketSize = -1;
  int MuxRate = -1;
  float MuxDelay = -1.0f;
  float MuxPreload = -1.0f;
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  int AudioVolume = -1;
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;
  int AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int AudioSyncMethod = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
  uint32_t PadColor = 0;  // 0x00BBGGRR
  int GroupPictureSize = -1;
  int VideoBitrate = -1;
  int VideoMaxRate = -1;
  int VideoMinRate = -1;
  int VideoBitrateTolerance = -1;
  int VideoBufferSize = -1;
  int VideoSyncMethod = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamp = false;
  int64_t StartTime = kNoTime;
  int64_t Duration = kNoTime;
  TStreamInfo Info;
  int Target = 0;        // 0 none, 1 vcd, 2 svcd, 3 dvd
  int TargetNorm = 0;    // 0 auto, 1 pal, 2 ntsc
  int DefaultNorm = 1;   // 1 pal, else ntsc
  bool CustomHook = false;
  bool Join = false;
  std::string ExtOptions;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
};

void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

struct THookInfo {
  int TaskIndex = -1;
  media::Bitmap* Bitmap = nullptr;  // the frame as 24-bit rows; edit in place
  int FrameNumber = 0;
  int64_t PTS = 0;
  bool Update = true;     // set false to leave the frame unchanged
  bool StopHook = false;  // set true to stop hook calls for this task
};
using PHookInfo = THookInfo*;

struct TPreviewInfo {
  int TaskIndex = -1;
  const media::Bitmap* Bitmap = nullptr;
  int FrameNumber = 0;
  int64_t PTS = 0;
};

struct TProgressInfo {
  int TaskIndex = -1;
  int FileIndex = -1;  // input read last; -1 in the last report
  int FrameNumber = 0;
  int FPS = 0;
  float Quality = 0;
  float BitRate = 0;  // kbit/s
  int64_t CurrentSize = 0;
  int64_t CurrentDuration = 0;
  int64_t TotalDuration = -1;
};
using PProgressInfo = TProgressInfo*;

struct TTerminateInfo {
  int TaskIndex = -1;  // -1: the whole batch has ended
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

}  // namespace media
