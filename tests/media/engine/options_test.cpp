// The option vocabulary, presets, extra-options classes and target presets of
// a task's settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "engine_test_env.h"
#include "media/engine/closest_ratio.h"
#include "media/engine/options_error.h"
#include "media/engine/options_presets.h"
#include "media/engine/transcoder.h"
#include "media/logger.h"
#include "media_fixture.h"
#include "process.h"

using media::FFmpegException;
using media::TCustomFFmpeg;

namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { kestrova::test::LoadEngineLibrariesOrFail(); }
  TCustomFFmpeg task;

  std::string ErrorOf(const std::string& name, const std::string& value) {
    try {
      task.ApplyOption(name, value);
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(OptionsTest, RefusedValuesRaiseTheirOwnTexts) {
  const struct {
    const char* name;
    const char* value;
    const char* error;
  } cases[] = {
      {"croptop", "0", "Vertical crop dimensions are outside the range of the original image.\n"
                       "Remember to crop first and scale second."},
      {"cropleft", "4", "Horizontal crop dimensions are outside the range of the original image.\n"
                        "Remember to crop first and scale second."},
      {"aspect", "16:0", "Incorrect aspect ratio specification."},
      {"aspect", "wide", "Incorrect aspect ratio specification."},
      {"vtag", "XVI", "video tag parameter must be 4 chars"},
      {"atag", "mp4aa", "audio tag parameter must be 4 chars"},
      {"stag", "tx", "subtitle tag parameter must be 4 chars"},
      {"qscale", "0", "qscale must be > 0.0 and <= 255"},
      {"qscale", "256", "qscale must be > 0.0 and <= 255"},
      {"pass", "3", "pass number can be only 1 or 2"},
      {"threads", "2", "TODO: option - threads"},
      {"itsscale", "20:1.5", "stream index over MAX_STREAMS(20)"},
      {"metadata", "title", "Missing ="},
      {"r", "fast", "Incorrect frame rate"},
      {"s", "big", "Incorrect frame size"},
      {"pix_fmt", "nonsense", "Unknown pixel format requested: nonsense"},
      {"t", "soon", "Invalid duration specification for t: soon"},
      {"timestamp", "yesterday-ish", "Invalid date specification for timestamp: yesterday-ish"},
      {"vbsf", "no_such_filter=1", "Unknown bitstream filter no_such_filter"},
      {"newvideo", "", "At least one output file must be specified"},
      {"target", "pal-laserdisc", "Unknown target type"},
      {"target", "dvd", "frame_rate is invalid."},
      {"vpre", "nowhere-to-be-found", "Preset \"nowhere-to-be-found\" not found"},
      {"vhook", "/nonexistent/plugin.so", "Failed to add video hook function: /nonexistent/plugin.so"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.name, c.value), c.error) << c.name << "=" << c.value;
}

TEST_F(OptionsTest, AcceptedValuesSetTheSettings) {
  auto& s = task.Settings();
  task.ApplyOption("qscale", "255");
  EXPECT_EQ(s.videoQScale, 255.0f);
  task.ApplyOption("aspect", "1.7777");
  EXPECT_NEAR(s.frameAspectRatio, 1.7777, 1e-4);
  task.ApplyOption("vtag", "XVID");
  EXPECT_EQ(s.videoTag, 'X' | 'V' << 8 | 'I' << 16 | static_cast<uint32_t>('D') << 24);
  task.ApplyOption("metadata", "comment=a=b");
  ASSERT_EQ(s.metadata.size(), 1u);
  EXPECT_EQ(s.metadata[0].second, "a=b");
  task.ApplyOption("vcodec", "copy");
  task.ApplyOption("vcodec", "libx264");
  EXPECT_TRUE(s.videoCopy);
  EXPECT_EQ(s.videoCodecName, "libx264");
  task.ApplyOption("map", "0x1:2");
  ASSERT_EQ(s.streamMaps.size(), 1u);
  EXPECT_EQ(s.streamMaps[0].file, 1);
  EXPECT_EQ(s.streamMaps[0].stream, 2);
  EXPECT_EQ(s.streamMaps[0].syncStream, 2);
  task.ApplyOption("t", "00:00:07.500");
  EXPECT_EQ(s.recordingTime, 7500000);
  EXPECT_EQ(task.TotalDuration(), 7500000);
  task.ApplyOption("padcolor", std::to_string(0x0000FF));  // pure red
  EXPECT_EQ(s.padY, 76);
  EXPECT_EQ(s.padCr, 255);
}

// Runs on the sanitized library: a number that ran to the end of the text
// used to make the reader step past the text's end.
TEST_F(OptionsTest, StreamMapsThatEndEarlyReadNothingPastTheirText) {
  struct Case {
    const char* text;
    int file, stream, syncFile, syncStream;
  };
  const Case cases[] = {{"000000000000000000001", 1, 0, 1, 0},
                        {"3", 3, 0, 3, 0},
                        {"1:2:", 1, 2, 0, 0},
                        {"1:2:3", 1, 2, 3, 0},
                        {"", 0, 0, 0, 0}};
  auto& s = task.Settings();
  for (const Case& c : cases) {
    s.streamMaps.clear();
    task.ApplyOption("map", c.text);
    ASSERT_EQ(s.streamMaps.size(), 1u) << c.text;
    const auto& m = s.streamMaps[0];
    EXPECT_EQ(std::vector<int>({m.file, m.stream, m.syncFile, m.syncStream}),
              std::vector<int>({c.file, c.stream, c.syncFile, c.syncStream}))
        << c.text;
  }
  task.ApplyOption("map_meta_data", "000000000000000000007");
  ASSERT_EQ(s.metaDataMaps.size(), 1u);
  EXPECT_EQ(s.metaDataMaps[0].outFile, 7);
  EXPECT_EQ(s.metaDataMaps[0].inFile, 0);
}

TEST_F(OptionsTest, CropIsCheckedAgainstTheInputFrame) {
  task.Settings().frameWidth = 720;
  task.Settings().frameHeight = 576;
  EXPECT_EQ(ErrorOf("croptop", "576").substr(0, 8), "Vertical");
  EXPECT_EQ(ErrorOf("croptop", "575"), "");
  EXPECT_EQ(task.Settings().frameHeight, 1);
  EXPECT_EQ(ErrorOf("croptop", "-3"), "");  // negative values are ignored
  // Left and right against the width, which here is larger than the height.
  EXPECT_EQ(ErrorOf("cropleft", "720").substr(0, 10), "Horizontal");
  EXPECT_EQ(ErrorOf("cropleft", "600"), "");
  EXPECT_EQ(ErrorOf("cropright", "120").substr(0, 10), "Horizontal");
  EXPECT_EQ(ErrorOf("cropright", "119"), "");
  EXPECT_EQ(task.Settings().frameWidth, 1);
  EXPECT_EQ(task.Settings().cropLeft, 600);
  EXPECT_EQ(task.Settings().cropRight, 119);
}

TEST_F(OptionsTest, MatrixNeedsSixtyFourValues) {
  std::string values;
  for (int i = 0; i < 63; ++i) values += (i ? "," : "") + std::to_string(16 + i);
  EXPECT_EQ(ErrorOf("intra_matrix", values), "Syntax error in matrix \"" + values + "\" at coeff 62");
  EXPECT_EQ(ErrorOf("intra_matrix", values + ",99,100,101"), "");
  EXPECT_EQ(task.Settings().intraMatrix[63], 99);
}

TEST_F(OptionsTest, BitrateGoesToTheLibraryAndWarnsWhenTiny) {
  std::vector<std::string> lines;
  media::FFLogger().SetTriggerEventInMainThread(false);
  media::FFLogger().SetOnLog(
      [&lines](const void*, std::uint32_t, media::TLogLevel, const std::string& text) { lines.push_back(text); });
  const std::string warning =
      "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
  const struct {
    const char* name;
    const char* value;
    bool warns;
  } cases[] = {
      {"vb", "500", true}, {"ab", "999", true}, {"b", "64", true},
      {"ab", "64000", false}, {"vb", "1000", false}, {"vb", "300000", false},
  };
  for (const auto& c : cases) {
    lines.clear();
    EXPECT_EQ(ErrorOf(c.name, c.value), "") << c.name << "=" << c.value;
    bool warned = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
                    return line.find(warning) != std::string::npos;
                  }) != lines.end();
    EXPECT_EQ(warned, c.warns) << c.name << "=" << c.value;
  }
  media::FFLogger().SetOnLog(nullptr);

  // The last video rate reaches the encoder: libx264 writes its settings
  // into the stream, the average rate in kbit/s among them.
  kestrova::test::TempDir dir;
  kestrova::test::MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -t 0.4 -pix_fmt yuv420p", dir / "in.mkv");
  ASSERT_TRUE(task.OpenInput((dir / "in.mkv").string())) << task.LastErrorText();
  task.ApplyOption("vcodec", "libx264");
  ASSERT_GE(task.OpenOutput((dir / "out.mp4").string(), false), 0) << task.LastErrorText();
  task.Start(false);
  ASSERT_TRUE(task.Finished()) << task.ErrorText();
  EXPECT_NE(kestrova::test::ReadFile(dir / "out.mp4").find(" bitrate=300 "), std::string::npos);
}

TEST_F(OptionsTest, TargetPresetWithNormSetsSizeRateAndGop) {
  task.ApplyOption("target", "pal-dvd");
  auto& s = task.Settings();
  EXPECT_EQ(s.frameWidth, 720);
  EXPECT_EQ(s.frameHeight, 576);
  EXPECT_EQ(s.frameRateNum, 25);
  EXPECT_EQ(s.frameRateDen, 1);
  EXPECT_EQ(s.videoCodecName, "mpeg2video");
  EXPECT_EQ(s.audioCodecName, "ac3");
  EXPECT_EQ(s.forcedFormat, "dvd");
  EXPECT_EQ(s.audioSampleRate, 48000);
}

TEST_F(OptionsTest, ExtraOptionsApplyOneClassAtATime) {
  // "b" (class 5) stands before "vcodec" (class 2): the codec comes first.
  const std::string text = "b=300000<CRLF>vcodec=libx264\r\ns=640x480\nvfilters=hflip";
  task.ApplyExtraOptions(text, 2);
  EXPECT_EQ(task.Settings().videoCodecName, "libx264");
  EXPECT_EQ(task.Settings().frameWidth, 0);
  task.ApplyExtraOptions(text, 3);
  EXPECT_EQ(task.Settings().frameWidth, 640);
  EXPECT_TRUE(task.Settings().videoFilters.empty());
  task.ApplyExtraOptions(text, 4);
  EXPECT_EQ(task.Settings().videoFilters, "hflip");
}

TEST(BuiltInPresets, ThirtySixInTableOrder) {
  const auto& presets = media::BuiltInPresets();
  ASSERT_EQ(presets.size(), 36u);
  EXPECT_EQ(presets.front().Name, "libx264-baseline");
  EXPECT_EQ(presets.back().Name, "libx264-veryslow_firstpass");
  EXPECT_EQ(presets.front().Text, "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0");
  const auto* def = media::FindBuiltInPreset("LIBX264-DEFAULT");
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->Text.substr(0, def->Text.find("\nsubq")),
            "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_method=hex");
  EXPECT_NE(def->Text.find("directpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"),
            std::string::npos);
}

TEST(BuiltInPresets, OldLibx264KeysBecomeTodaysOptions) {
  using T = media::TranslatedOption;
  auto flags2 = media::TranslatePresetLine("flags2", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree");
  ASSERT_EQ(flags2.size(), 6u);
  EXPECT_EQ(flags2[0].name, "b-pyramid");
  EXPECT_EQ(flags2[0].value, "normal");
  EXPECT_EQ(flags2[1].name, "mixed-refs");
  EXPECT_EQ(flags2[1].value, "0");
  EXPECT_EQ(flags2[2].name, "weightb");
  EXPECT_EQ(flags2[3].name, "8x8dct");
  EXPECT_EQ(flags2[5].name, "mbtree");
  for (const auto& t : flags2) EXPECT_EQ(t.kind, T::EncoderPrivate);
  EXPECT_EQ(media::TranslatePresetLine("cqp", "0")[0].name, "qp");
  EXPECT_EQ(media::TranslatePresetLine("directpred", "3")[0].name, "direct-pred");
  auto noLoop = media::TranslatePresetLine("flags", "-loop");
  ASSERT_EQ(noLoop.size(), 1u);
  EXPECT_EQ(noLoop[0].kind, T::X264Params);
  EXPECT_TRUE(media::TranslatePresetLine("flags", "+loop").empty());
  EXPECT_EQ(media::TranslatePresetLine("subq", "7")[0].kind, T::Generic);
}

// libx264 switches on every partition it finds named, whatever the sign.
TEST(BuiltInPresets, PartitionsSwitchedOffStayOff) {
  const struct {
    const char* old;
    const char* today;
  } cases[] = {
      {"-parti8x8-parti4x4-partp8x8-partb8x8", "none"},
      {"+parti8x8+parti4x4-partp8x8-partb8x8", "i8x8,i4x4"},
      {"-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "i4x4,p8x8"},
      {"+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "i8x8,i4x4,p8x8,p4x4,b8x8"},
  };
  for (const auto& c : cases) {
    auto t = media::TranslatePresetLine("partitions", c.old);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].kind, media::TranslatedOption::EncoderPrivate);
    EXPECT_EQ(t[0].name, "partitions");
    EXPECT_EQ(t[0].value, c.today) << c.old;
  }
}

TEST_F(OptionsTest, PresetForAnEncoderNotYetNamedWaitsForIt) {
  EXPECT_EQ(ErrorOf("vpre", "libx264-hq"), "");
  bool cabac = false;
  for (const auto& [name, value] : task.Settings().videoPrivate) cabac |= name == "coder" && value == "1";
  EXPECT_TRUE(cabac);
}

TEST_F(OptionsTest, SvcdTargetAsksTheMpeg2EncoderForScanOffsets) {
  task.ApplyOption("target", "pal-svcd");
  bool scanOffset = false;
  for (const auto& [name, value] : task.Settings().videoPrivate) scanOffset |= name == "scan_offset" && value == "1";
  EXPECT_TRUE(scanOffset);
}

TEST(ClosestRatio, BestFractionWithSmallTerms) {
  const struct {
    double value;
    int num, den;
  } cases[] = {
      {4.0 / 3 * 360 / 640, 3, 4},     // 4:3 picture stored as 640x360
      {16.0 / 9 * 480 / 720, 32, 27},  // 16:9 NTSC DVD
      {1.0, 1, 1},
      {0.0, 0, 1},
      {-2.0, 0, 1},
      {1000.0, 255, 1},  // as close as 8-bit terms get
      {1.0 / 1000, 0, 1},
  };
  for (const auto& c : cases) {
    media::SmallRatio r = media::ClosestRatio(c.value, 255);
    EXPECT_EQ(r.num, c.num) << c.value;
    EXPECT_EQ(r.den, c.den) << c.value;
  }
}

TEST_F(OptionsTest, EveryBuiltInPresetAppliesToLibx264) {
  for (const auto& p : media::BuiltInPresets()) {
    TCustomFFmpeg t;
    t.ApplyOption("vcodec", "libx264");
    EXPECT_NO_THROW(t.ApplyOption("vpre", p.Name)) << p.Name;
  }
  task.ApplyOption("vcodec", "libx264");
  task.ApplyOption("vpre", "default");  // found as libx264-default
  EXPECT_FALSE(task.Settings().videoPrivate.empty());
}

TEST_F(OptionsTest, PresetFilesAreCheckedLineByLine) {
  kestrova::test::TempDir dir;
  kestrova::test::WriteFile(dir / "bad.ffpreset", "g=250\nnot an option line\n");
  EXPECT_EQ(ErrorOf("fpre", (dir / "bad.ffpreset").string()),
            (dir / "bad.ffpreset").string() + ": Invalid syntax: \"not an option line\"");
  kestrova::test::WriteFile(dir / "unknown.ffpreset", "g=250\nno_such_key=1\n");
  EXPECT_EQ(ErrorOf("fpre", (dir / "unknown.ffpreset").string()),
            (dir / "unknown.ffpreset").string() +
                ": Invalid option or argument: \"no_such_key=1\", parsed as \"no_such_key\" = \"1\"");
  kestrova::test::WriteFile(dir / "good.ffpreset", "\n  g=48  \r\nvcodec=libx264\n");
  EXPECT_EQ(ErrorOf("fpre", (dir / "good.ffpreset").string()), "");
  EXPECT_EQ(task.Settings().videoCodecName, "libx264");
}

// Settings that fail once encoders, filters or files exist: the task says
// why and (under LeakSanitizer) frees every object it had made.
TEST_F(OptionsTest, FailuresPartWayFreeWhatWasMade) {
  kestrova::test::TempDir dir;
  kestrova::test::MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -t 0.2 -pix_fmt yuv420p", dir / "in.mkv");
  const struct {
    const char* name;
    const char* value;
    bool failsAtOpen;  // else at the start of the run
    const char* error;
  } cases[] = {
      {"rc_override", "1,2", true, "new_video_stream fail: error parsing rc_override"},
      {"vbsf", "vp9_superframe", false, "Unknown bitstream filter vp9_superframe"},
      {"pass", "2", false, "Cannot read file: Error reading log file"},
  };
  for (const auto& c : cases) {
    TCustomFFmpeg t;
    const std::string output = (dir / (std::string(c.name) + ".mp4")).string();
    ASSERT_TRUE(t.OpenInput((dir / "in.mkv").string())) << t.LastErrorText();
    t.ApplyOption("vcodec", "libx264");
    t.ApplyOption("passlogfile", (dir / "no-such-log").string());
    t.ApplyOption(c.name, c.value);
    const int opened = t.OpenOutput(output, false);
    if (c.failsAtOpen) {
      EXPECT_EQ(opened, -1) << c.name;
      EXPECT_EQ(t.LastErrorText(), c.error);
      EXPECT_FALSE(std::filesystem::exists(output)) << c.name;
      continue;
    }
    ASSERT_GE(opened, 0) << t.LastErrorText();
    EXPECT_FALSE(t.Start(false) && t.Finished()) << c.name;
    EXPECT_TRUE(t.HasError()) << c.name;
    EXPECT_EQ(t.ErrorText().substr(0, std::string(c.error).size()), c.error) << t.ErrorText();
    // The output was closed on the way out, its staging file removed: only
    // the input is left.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().filename(), "in.mkv") << c.name;
  }
}

TEST_F(OptionsTest, RecordTimestampIsLocalDayCountInStandardTime) {
  setenv("TZ", "CST-8", 1);  // UTC+8, no daylight saving
  tzset();
  media::TOutputOptions o;
  o.Info.Timestamp = 25569.0;
  task.ApplyOutputOptions(o);
  EXPECT_EQ(task.Settings().recordingTimestamp, -28800);
  unsetenv("TZ");
  tzset();
}

}  // namespace
