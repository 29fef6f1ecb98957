// The options dialog's settings as the engine's records: the dialog as it
// opens, the range rule, quality presets, fall-backs for unreadable numbers
// and the output name that never overwrites.
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "media/engine/conversion_presets.h"
#include "option_items.h"
#include "output_settings.h"
#include "process.h"
#include "random_file_name.h"

using namespace kestrova::convert;
using kestrova::test::TempDir;
using kestrova::test::WriteFile;

namespace {

OptionFields DialogFor(const TempDir& data) {
  OptionFields f = DefaultOptionFields();
  f.thumbName = "Ab12cd34Ef56gh78";
  f.outputFolder = (data / "video").string() + "/";
  f.inputFileName = "/home/user/Holiday.avi";
  return f;
}

TEST(OutputSettings, DialogAsItOpens) {
  TempDir data;
  const OptionFields f = DialogFor(data);
  // The controls' design-time choices.
  EXPECT_EQ(f.frameSize.index, 6);
  EXPECT_EQ(f.frameSize.text, "320x240 - qvga");
  EXPECT_EQ(f.audioSampleRate.index, 3);
  EXPECT_EQ(f.audioSampleRate.text, "22050");
  EXPECT_EQ(f.frameRate.index, 2);
  EXPECT_EQ(f.frameRate.text, "15");
  EXPECT_EQ(f.aspectRatio.index, 0);
  EXPECT_EQ(f.format.text, "MP4");
  EXPECT_TRUE(f.videoBitRateChecked);
  EXPECT_EQ(f.videoBitRate, "120");
  EXPECT_FALSE(f.audioBitRateChecked);
  EXPECT_EQ(f.audioBitRate, "64");
  EXPECT_FALSE(f.audioVolumeChecked);
  EXPECT_EQ(f.audioVolume, "256");
  EXPECT_FALSE(f.cutClipEnabled);

  const media::TOutputOptions out = getOutputOptions(f);
  EXPECT_EQ(out.FileExt, ".mp4");
  EXPECT_EQ(out.FileName, (data / "video").string() + "/Ab12cd34Ef56gh78.mp4");
  EXPECT_EQ(out.FileFormat, "");
  EXPECT_EQ(out.FrameSize, "320x240");
  EXPECT_EQ(out.FrameRate, "15");
  EXPECT_EQ(out.FrameAspectRatio, "");
  EXPECT_EQ(out.VideoBitrate, 120000);
  EXPECT_EQ(out.AudioBitrate, -1);
  EXPECT_EQ(out.VideoCodec, "libx264");
  EXPECT_EQ(out.VideoPreset, "libx264-default");
  EXPECT_EQ(out.AudioCodec, "libfaac");
  EXPECT_EQ(out.AudioSampleRate, 22050);
  EXPECT_EQ(out.AudioChannels, -1);
  EXPECT_EQ(out.AudioVolume, -1);
  EXPECT_TRUE(out.CopyTimestamp);
  EXPECT_TRUE(out.DisableSubtitle);
  EXPECT_FALSE(out.CustomHook);
  EXPECT_EQ(out.Info.Timestamp, 0);
  EXPECT_EQ(out.Duration, media::kNoTime);
  EXPECT_EQ(out.StartTime, media::kNoTime);
  EXPECT_EQ(out.ExtOptions, "");

  const media::TInputOptions in = getInputOptions(f);
  EXPECT_EQ(in.FileName, "/home/user/Holiday.avi");
  EXPECT_EQ(in.FileFormat, "");
  EXPECT_EQ(in.StartTime, media::kNoTime);

  // The shared defaults are the same dialog: preset 1 changes nothing.
  OptionFields preset1 = f;
  ChooseQualityPreset(1, preset1);
  EXPECT_EQ(getOutputOptions(preset1).VideoBitrate, out.VideoBitrate);
  EXPECT_EQ(getOutputOptions(preset1).FrameSize, out.FrameSize);
}

TEST(OutputSettings, RangeOnlyWhenEnabledCheckedAndOrdered) {
  const struct {
    bool enabled, checked;
    int64_t start, end;
    bool applies;
  } cases[] = {
      {true, true, 5000000, 12500000, true},
      {true, false, 5000000, 12500000, false},
      {false, true, 5000000, 12500000, false},
      {true, true, 12500000, 5000000, false},
      {true, true, 5000000, 5000000, false},
      {true, true, 0, 1000, true},
      {true, true, INT64_MAX, media::kNoTime, false},  // neither end set
  };
  TempDir data;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.enabled << c.checked << " " << c.start << ".." << c.end);
    OptionFields f = DialogFor(data);
    f.cutClipEnabled = c.enabled;
    f.cutClipChecked = c.checked;
    f.clipStart = c.start;
    f.clipEnd = c.end;
    EXPECT_EQ(RangeApplies(f), c.applies);
    EXPECT_EQ(getInputOptions(f).StartTime, c.applies ? c.start : media::kNoTime);
    EXPECT_EQ(getOutputOptions(f).Duration, c.applies ? c.end - c.start : media::kNoTime);
  }
}

TEST(OutputSettings, QualityPresetsSetRateAndSize) {
  const struct {
    int preset;
    int bitrate;
    const char* size;
  } cases[] = {{0, 48000, "176x144"},    {1, 120000, "320x240"},  {2, 256000, "400x300"}, {3, 384000, "480x360"},
               {4, 512000, "640x480"},   {5, 768000, "800x600"},  {6, 1024000, "640x480"},
               {7, 1280000, "800x600"},  {8, 1536000, "1024x768"}};
  TempDir data;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preset);
    OptionFields f = DialogFor(data);
    f.videoBitRateChecked = false;
    ChooseQualityPreset(c.preset, f);
    EXPECT_TRUE(f.videoBitRateChecked);
    EXPECT_EQ(getOutputOptions(f).VideoBitrate, c.bitrate);
    EXPECT_EQ(getOutputOptions(f).FrameSize, c.size);
    EXPECT_EQ(f.frameSize.text.rfind(std::string(c.size) + " - ", 0), 0u) << f.frameSize.text;
  }
  // The last preset hands the controls to the user, leaving their values.
  OptionFields f = DialogFor(data);
  ChooseQualityPreset(6, f);
  ChooseQualityPreset(9, f);
  EXPECT_EQ(getOutputOptions(f).VideoBitrate, 1024000);
  EXPECT_EQ(f.frameSize.text, "640x480 - vga");
  EXPECT_THROW(ChooseQualityPreset(10, f), std::out_of_range);
  EXPECT_THROW(ChooseQualityPreset(-1, f), std::out_of_range);
  EXPECT_STREQ(media::UserChosenPresetItem(), "根据下方参数自行选择");
}

TEST(OutputSettings, EachControlAndItsFallBack) {
  TempDir data;
  using Edit = void (*)(OptionFields&);
  const struct {
    const char* what;
    Edit edit;
    void (*check)(const media::TOutputOptions&);
  } cases[] = {
      {"video rate in letters", [](OptionFields& f) { f.videoBitRate = "abc"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.VideoBitrate, 200000); }},
      {"video rate empty", [](OptionFields& f) { f.videoBitRate = ""; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.VideoBitrate, 200000); }},
      {"video rate too large for bit/s", [](OptionFields& f) { f.videoBitRate = "99999999"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.VideoBitrate, 200000); }},
      {"video rate box unchecked", [](OptionFields& f) { f.videoBitRateChecked = false; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.VideoBitrate, -1); }},
      {"audio rate checked", [](OptionFields& f) { f.audioBitRateChecked = true; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioBitrate, 64000); }},
      {"audio rate 1536", [](OptionFields& f) { f.audioBitRateChecked = true; f.audioBitRate = "1536"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioBitrate, 1536000); }},
      {"audio rate unreadable", [](OptionFields& f) { f.audioBitRateChecked = true; f.audioBitRate = "12 8"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioBitrate, 64000); }},
      {"volume unchecked", [](OptionFields& f) { f.audioVolume = "512"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioVolume, -1); }},
      {"volume checked", [](OptionFields& f) { f.audioVolumeChecked = true; f.audioVolume = "512"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioVolume, 512); }},
      {"volume unreadable", [](OptionFields& f) { f.audioVolumeChecked = true; f.audioVolume = "loud"; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioVolume, -1); }},
      {"sample rate Auto", [](OptionFields& f) { f.audioSampleRate = {0, "Auto"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioSampleRate, -1); }},
      {"sample rate 44100", [](OptionFields& f) { f.audioSampleRate = {4, "44100"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioSampleRate, 44100); }},
      {"sample rate unreadable", [](OptionFields& f) { f.audioSampleRate = {2, "fast"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioSampleRate, 22050); }},
      {"frame size original", [](OptionFields& f) { f.frameSize = {0, kFrameSizeItems[0]}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.FrameSize, ""); }},
      {"frame size hd720", [](OptionFields& f) { f.frameSize = {29, kFrameSizeItems[29]}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.FrameSize, "1280x720"); }},
      {"frame rate Auto", [](OptionFields& f) { f.frameRate = {0, "Auto"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.FrameRate, ""); }},
      {"frame rate 25", [](OptionFields& f) { f.frameRate = {3, "25"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.FrameRate, "25"); }},
      {"aspect 16:9", [](OptionFields& f) { f.aspectRatio = {2, "16:9"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.FrameAspectRatio, "16:9"); }},
      {"stereo", [](OptionFields& f) { f.audioChannels = {2, "Stereo"}; },
       [](const media::TOutputOptions& o) { EXPECT_EQ(o.AudioChannels, 2); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OptionFields f = DialogFor(data);
    c.edit(f);
    c.check(getOutputOptions(f));
  }
}

TEST(OutputSettings, OutputNameNeverOverwrites) {
  TempDir data;
  std::filesystem::create_directories(data / "video");
  const OptionFields f = DialogFor(data);
  const std::string folder = f.outputFolder;
  EXPECT_EQ(getOutputOptions(f).FileName, folder + "Ab12cd34Ef56gh78.mp4");
  WriteFile(folder + "Ab12cd34Ef56gh78.mp4", "taken");
  EXPECT_EQ(getOutputOptions(f).FileName, folder + "Holiday_(new_1).mp4");
  WriteFile(folder + "Holiday_(new_1).mp4", "taken");
  EXPECT_EQ(getOutputOptions(f).FileName, folder + "Holiday_(new_2).mp4");
  // Only the last extension goes: "My.Clip.avi" gives "My.Clip".
  EXPECT_EQ(OutputFileName(folder, "Ab12cd34Ef56gh78", ".mp4", "/x/My.Clip.avi"), folder + "My.Clip_(new_1).mp4");
}

TEST(OutputSettings, RandomFileNamesAreSixteenLettersOrDigitsAndDiffer) {
  std::set<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = randomFileName();
    ASSERT_EQ(name.size(), 16u);
    for (char c : name) ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << name;
    names.insert(name);
  }
  // Drawn back to back, as for files added in one go: never the same twice.
  EXPECT_EQ(names.size(), 1000u);
}

}  // namespace
