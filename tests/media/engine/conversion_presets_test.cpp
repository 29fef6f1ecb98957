// The dialog's defaults and quality presets as one table for every front end.
#include "media/engine/conversion_presets.h"

#include <gtest/gtest.h>

namespace {

TEST(ConversionPresetsTest, DefaultsAreTheOptionsDialogAsItOpens) {
  const media::TOutputOptions o = media::DialogOutputDefaults();
  EXPECT_EQ(o.FileExt, ".mp4");
  EXPECT_EQ(o.FrameSize, "320x240");
  EXPECT_EQ(o.FrameRate, "15");
  EXPECT_EQ(o.VideoBitrate, 120000);
  EXPECT_EQ(o.VideoCodec, "libx264");
  EXPECT_EQ(o.VideoPreset, "libx264-default");
  EXPECT_EQ(o.AudioCodec, "libfaac");
  EXPECT_EQ(o.AudioSampleRate, 22050);
  EXPECT_EQ(o.AudioBitrate, -1);
  EXPECT_EQ(o.FrameAspectRatio, "");
  EXPECT_TRUE(o.CopyTimestamp);
  EXPECT_TRUE(o.DisableSubtitle);
  EXPECT_EQ(o.Info.Timestamp, 0.0);
  EXPECT_EQ(o.Duration, media::kNoTime);
  EXPECT_EQ(o.FileName, "");
}

TEST(ConversionPresetsTest, PresetsSetBitRateAndSizeNineLeavesThemOthersAreRefused) {
  struct Case {
    int preset;
    bool accepted;
    int bitrate;
    const char* size;
  };
  const Case cases[] = {{0, true, 48000, "176x144"},     {1, true, 120000, "320x240"},
                        {4, true, 512000, "640x480"},    {6, true, 1024000, "640x480"},
                        {8, true, 1536000, "1024x768"},  {9, true, 777000, "1x1"},
                        {10, false, 777000, "1x1"},      {-1, false, 777000, "1x1"}};
  for (const Case& c : cases) {
    media::TOutputOptions o = media::DialogOutputDefaults();
    o.VideoBitrate = 777000;
    o.FrameSize = "1x1";
    EXPECT_EQ(media::ApplyQualityPreset(c.preset, o), c.accepted) << c.preset;
    EXPECT_EQ(o.VideoBitrate, c.bitrate) << c.preset;
    EXPECT_EQ(o.FrameSize, c.size) << c.preset;
  }
  // Preset 1 is what the dialog shows before any choice.
  EXPECT_EQ(media::QualityPresets()[1].videoKbits * 1000, media::DialogOutputDefaults().VideoBitrate);
  EXPECT_STREQ(media::QualityPresets()[1].frameSize, media::DialogOutputDefaults().FrameSize.c_str());
}

}  // namespace
