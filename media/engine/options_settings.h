// The current settings of one conversion task. Options are applied one after
// another; each input that is opened and each output stream that is created
// takes the settings in force at that moment, and a few settings are cleared
// again once consumed (see the Clear* helpers).
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/engine/engine_records.h"  // kMaxFiles

namespace media {

inline constexpr int kMaxStreams = 20;

struct StreamMap {
  int file = 0, stream = 0, syncFile = 0, syncStream = 0;
};

struct MetaDataMap {
  int outFile = 0, inFile = 0;
};

// An option for one encoder's own option table (libx264's "weightb", ...);
// handed over when the encoder is opened.
using PrivateOptions = std::vector<std::pair<std::string, std::string>>;

struct TaskSettings {
  std::string forcedFormat;
  bool pgmyuvCompat = false;
  int frameWidth = 0, frameHeight = 0;
  float frameAspectRatio = 0;
  int pixelFormat = -1;
  bool pixelFormatAsked = false;  // by the pix_fmt option, not taken from an input
  int sampleFormat = -1;
  int padTop = 0, padBottom = 0, padLeft = 0, padRight = 0;
  int padY = 16, padCb = 128, padCr = 128;
  int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
  int maxVideoFrames = INT_MAX, maxAudioFrames = INT_MAX, maxDataFrames = INT_MAX;
  int frameRateNum = 0, frameRateDen = 0;
  bool frameRateAsked = false;  // by the r option, not taken from an input
  float videoQScale = 0;
  std::vector<int16_t> intraMatrix, interMatrix;  // empty = none
  std::string rcOverride;
  bool videoDisable = false;
  int videoDiscard = 0;
  std::string videoCodecName;
  bool videoCopy = false;
  uint32_t videoTag = 0;
  std::string videoLanguage;
  bool sameQuality = false;
  bool deinterlace = false;
  int topFieldFirst = -1;
  int meThreshold = 0;
  int intraDcPrecision = 8;
  bool loopInput = false;
  int loopOutput = -1;
  bool qpHist = false;
  std::string videoFilters;
  bool intraOnly = false;
  int audioSampleRate = 44100;
  int64_t audioChannelLayout = 0;
  float audioQScale = -99999;
  bool audioDisable = false;
  int audioChannels = 2;
  std::string audioCodecName;
  bool audioCopy = false;
  uint32_t audioTag = 0;
  std::string audioLanguage;
  int audioVolume = 256;
  bool subtitleDisable = false;
  std::string subtitleCodecName;
  bool subtitleCopy = false;
  std::string subtitleLanguage;
  uint32_t subtitleTag = 0;
  float muxPreload = 0.5f, muxMaxDelay = 0.7f;
  int64_t recordingTime = INT64_MAX;
  int64_t startTime = 0;
  int64_t recordingTimestamp = 0;  // seconds
  int64_t inputTsOffset = 0;
  double tsScale[kMaxStreams] = {};  // for the next input
  std::vector<std::pair<std::string, std::string>> metadata;
  bool doPktDump = false, doHexDump = false, doPsnr = false;
  int passNumber = 0;
  std::string passLogFile;
  int videoSyncMethod = -1;
  int audioSyncMethod = 0;
  float audioDriftThreshold = 0.1f;
  bool copyTimestamps = false;
  bool shortest = false;
  int videoGlobalHeader = 0;
  std::string vstatsFileName;
  int programId = 0;
  int copyInitialNonKeyFrames = 0;
  bool rateEmulation = false;
  int captureChannel = 0;
  std::string tvStandard;
  bool exitOnError = false;
  bool vhookInUse = false;
  int verbosity = 1;
  // Threads of each codec: 0 lets the engine share the machine's cores among
  // the tasks that run at once (each codec then threads as it can).
  int threadCount = 0;
  bool inputSync = false;
  int64_t limitFileSize = 0;
  bool forceFps = false;
  float dtsDeltaThreshold = 10;
  int swsFlags = 4;  // bicubic
  std::vector<std::string> videoBitstreamFilters, audioBitstreamFilters, subtitleBitstreamFilters;
  std::vector<StreamMap> streamMaps;
  std::vector<MetaDataMap> metaDataMaps;
  // Encoder-own options (from presets and option texts) for the next stream
  // of each kind.
  PrivateOptions videoPrivate, audioPrivate, subtitlePrivate;
  // libx264's own "x264-params" words, joined with ':' when the encoder opens.
  std::vector<std::string> x264Params;
};

}  // namespace media
