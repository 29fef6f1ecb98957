// The state of the conversion options dialog that decides how a file is
// converted, as the dialog hands it over after OK: a plain record, so the
// output settings can be built and tested without a window, and kestrova-cli
// converts exactly as the dialog does.
#pragma once

#include <cstdint>
#include <string>

#include "media/engine/engine_records.h"

namespace kestrova::convert {

// A group or list: the selected index (-1 for none) and that item's text.
struct Choice {
  int index = -1;
  std::string text;
};

struct OptionFields {
  Choice format;           // grpFormats (hidden, "MP4")
  Choice audioChannels;    // grpAudioChannels (hidden, "Auto")
  Choice audioSampleRate;  // grpAudioSampleRate
  bool audioVolumeChecked = false;  // chkAudioVolume
  std::string audioVolume;          // edtAudioVolume
  Choice frameSize;                 // cboFrameSize
  Choice frameRate;                 // grpFrameRate
  Choice aspectRatio;               // grpAspectRatio
  bool videoBitRateChecked = false;  // chkVideoBitRate
  std::string videoBitRate;          // edtVideoBitRate, kbit/s
  bool audioBitRateChecked = false;  // chkAudioBitRate
  std::string audioBitRate;          // edtAudioBitRate, kbit/s

  // The range (chkCutClip and the marked times, microseconds).
  bool cutClipEnabled = false;
  bool cutClipChecked = false;
  int64_t clipStart = INT64_MAX;     // not set
  int64_t clipEnd = media::kNoTime;  // not set

  std::string thumbName;     // the 16-character name of thumbnail and output
  std::string outputFolder;  // the data folder's "video/" folder
  std::string inputFileName;       // the probe's FileName: the file the user chose
  std::string inputForcedFormat;   // the probe's ForcedFormat
};

// The dialog as it opens, before any preset is chosen (120 kbit/s, 320x240,
// 15 pictures/s, 22050 Hz); file, names and folder left empty.
OptionFields DefaultOptionFields();

// What choosing quality preset n (0 to 9) in the dialog does: presets 0 to 8
// check the video bit rate box and set its value and the frame size; 9 leaves
// them as they are for the user to set. Throws std::out_of_range for other n.
void ChooseQualityPreset(int n, OptionFields& fields);

}  // namespace kestrova::convert
