// The options dialog's choices as one plain record: what the output settings
// builder turns into the engine's input and output records. Fields carry the
// names of the dialog's controls; each starts at the value its control has
// when the dialog first opens (hidden controls never change from it).
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace kestrova::convert {

struct OptionDialogChoices {
  // Selected item index and text of the lists and radio groups.
  std::string grpFormats = "MP4";
  int grpAudioChannelsIndex = 0;  // "Auto"
  int grpAudioSampleRateIndex = 3;
  std::string grpAudioSampleRate = "22050";
  int cboFrameSizeIndex = 6;
  std::string cboFrameSize = "320x240 - qvga";
  int grpFrameRateIndex = 2;
  std::string grpFrameRate = "15";
  int grpAspectRatioIndex = 0;
  std::string grpAspectRatio = "Auto";
  std::string grpVideoCodec = "X264";
  std::string grpAudioCodec = "AAC";

  // Check boxes and the edits they unlock (text as typed).
  bool chkVideoBitRate = true;
  std::string edtVideoBitRate = "120";
  bool chkAudioBitRate = false;
  std::string edtAudioBitRate = "64";
  bool chkAudioVolume = false;
  std::string edtAudioVolume = "256";

  // The range: used only when chkCutClip is enabled and checked.
  bool chkCutClipEnabled = false;
  bool chkCutClipChecked = false;
  int64_t clipStart = std::numeric_limits<int64_t>::max();  // not set
  int64_t clipEnd = std::numeric_limits<int64_t>::min();    // not set (no time)

  // Hidden fixed settings.
  bool rdoCustomHook = false;
  bool chkCopyTimestamp = true;
  bool chkOverwrite = false;

  // The 16-character name shared by the output and its thumbnail.
  std::string thumbName;
  // The file the user chose, as the probe opened it.
  std::string probeFileName;
  std::string probeForcedFormat;
  // edtOutPath: the output folder, ending with a "/".
  std::string edtOutPath;
};

}  // namespace kestrova::convert
