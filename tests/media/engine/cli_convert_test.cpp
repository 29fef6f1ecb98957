// kestrova-cli convert as a user runs it: web-ready MP4 from the fixtures,
// quality presets, clear errors without half-written files, Ctrl-C.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>
#include <thread>

#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

std::string Cli() { return (BinDir() / "kestrova-cli").string(); }

CommandResult Convert(const std::string& arguments) { return RunCommand(ShellQuote(Cli()) + " convert " + arguments + " 2>&1"); }

TEST(CliConvert, TurnsTheFixturesIntoWebReadyMp4) {
  TempDir out;
  for (const auto& input : {SharedMedia().mp4, SharedMedia().mpegts, SharedMedia().chinese}) {
    const auto target = out / (input.stem().string() + ".mp4");
    auto r = Convert(ShellQuote(input.string()) + " " + ShellQuote(target.string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(FfprobeValue("stream=codec_name,width,height,r_frame_rate", target, "v:0"), "h264\n320\n240\n15/1");
    EXPECT_EQ(FfprobeValue("stream=codec_name,sample_rate", target, "a:0"), "aac\n22050");
    EXPECT_NEAR(std::atof(FfprobeValue("format=duration", target).c_str()), 3.0, 0.2) << input;
  }
}

TEST(CliConvert, QualityPresetChoosesSizeAndRate) {
  TempDir out;
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "p0.mp4").string()) + " --preset 0");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(FfprobeValue("stream=width,height", out / "p0.mp4", "v:0"), "176\n144");
  r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "bad.mp4").string()) + " --preset 12");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("kestrova-cli convert：--preset 只能是 0 到 9"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out / "bad.mp4"));
}

TEST(CliConvert, UnreadableInputsFailClearlyAndWriteNothing) {
  TempDir out;
  const struct {
    std::filesystem::path input;
    std::string message;
  } cases[] = {
      {out / "missing.avi", "No such file or directory"},
      {SharedMedia().notMedia, "Invalid data found when processing input"},
      {SharedMedia().empty, "Invalid data found when processing input"},
  };
  for (const auto& c : cases) {
    const auto target = out / "never.mp4";
    auto r = Convert(ShellQuote(c.input.string()) + " " + ShellQuote(target.string()));
    EXPECT_NE(r.exitCode, 0) << c.input;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(target)) << c.input;
  }
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "x.mp4").string()) +
                   " --opt vtag=toolong");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("video tag parameter must be 4 chars"), std::string::npos) << r.output;
}

// Times (seconds) at which the picture turns white, and at which a beep
// starts, each counted once per second.
std::vector<double> FlashTimes(const std::filesystem::path& file) {
  std::vector<double> times;
  std::stringstream lines(Ffprobe("-f lavfi -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                                  "movie=" + file.string() + ",signalstats"));
  for (std::string line; std::getline(lines, line);) {
    double t = 0, luma = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &t, &luma) == 2 && luma > 100 && (times.empty() || t - times.back() > 0.5))
      times.push_back(t);
  }
  return times;
}

std::vector<double> BeepTimes(const std::filesystem::path& file) {
  std::vector<double> times;
  // 5 ms slices of sound (at the output's 22050 Hz), each with its loudness.
  std::stringstream lines(
      Ffprobe("-f lavfi -show_entries frame=pts_time:frame_tags=lavfi.astats.Overall.RMS_level -of csv=p=0",
              "amovie=" + file.string() + ",asetnsamples=n=110,astats=metadata=1:reset=1"));
  for (std::string line; std::getline(lines, line);) {
    double t = 0, level = 0;
    if (line.find("inf") == std::string::npos && std::sscanf(line.c_str(), "%lf,%lf", &t, &level) == 2 &&
        level > -40 && (times.empty() || t - times.back() > 0.5))
      times.push_back(t);
  }
  return times;
}

// Each flash of a converted file comes with its beep as in the source:
// compared with the source's own offsets, which carry the same measuring
// error (the beep's onset is found in 5 ms slices). Gives the flashes'
// times, the converted file's and the source's.
std::pair<std::vector<double>, std::vector<double>> ExpectFlashesWithTheirBeeps(const std::filesystem::path& source,
                                                                                const std::filesystem::path& converted,
                                                                                size_t count, double tolerance) {
  const auto flashes = FlashTimes(converted), beeps = BeepTimes(converted);
  const auto sourceFlashes = FlashTimes(source), sourceBeeps = BeepTimes(source);
  EXPECT_EQ(flashes.size(), count);
  EXPECT_EQ(beeps.size(), count);
  EXPECT_EQ(sourceFlashes.size(), count);
  EXPECT_EQ(sourceBeeps.size(), count);
  if (flashes.size() != count || beeps.size() != count || sourceFlashes.size() != count || sourceBeeps.size() != count)
    return {};
  for (size_t i = 0; i < count; ++i)
    EXPECT_NEAR(flashes[i] - beeps[i], sourceFlashes[i] - sourceBeeps[i], tolerance) << "second " << i;
  return {flashes, sourceFlashes};
}

// The index of each picture of a file whose n-th source picture has the
// brightness 4n (so the index survives scaling and coding).
std::vector<int> PictureIndices(const std::filesystem::path& file) {
  std::vector<int> indices;
  std::stringstream lines(Ffprobe("-f lavfi -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                                  "movie=" + file.string() + ",signalstats"));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) indices.push_back(static_cast<int>(std::lround(std::atof(line.c_str()) / 4)));
  return indices;
}

// Converted to 15 fps, every output time shows the picture the fps filter of
// the ffmpeg tool picks (the latest one whose time, rounded to the nearest
// output time, has come), and the last picture lasts until the end: a
// slideshow keeps its length. Sound and pictures stay together.
TEST(CliConvert, PicturesAtTheOutputRateAreTheOnesTheFpsFilterPicks) {
  TempDir dir;
  const struct {
    std::string name, rate;
    int seconds;
  } cases[] = {{"thirty", "30", 2}, {"twenty-five", "25", 2}, {"slideshow", "0.2", 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto source = dir / (c.name + ".mp4"), ours = dir / (c.name + "-ours.mp4"),
               theirs = dir / (c.name + "-theirs.mp4");
    MakeMedia("-f lavfi -i \"color=c=black:s=64x48:r=" + c.rate + ":d=" + std::to_string(c.seconds) +
                  ",geq=lum='4*N':cb=128:cr=128\" -c:v libx264 -preset ultrafast -bf 2 -qp 0 -pix_fmt yuv420p",
              source);
    auto r = Convert(ShellQuote(source.string()) + " " + ShellQuote(ours.string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    MakeMedia("-i " + ShellQuote(source.string()) + " -vf fps=15,scale=320:240 -c:v libx264 -qp 0", theirs);
    const auto picked = PictureIndices(ours);
    EXPECT_EQ(picked, PictureIndices(theirs));
    EXPECT_EQ(picked.size(), static_cast<size_t>(15 * c.seconds));
    EXPECT_NEAR(std::atof(FfprobeValue("stream=duration", ours, "v:0").c_str()), c.seconds, 1e-3);
  }
  // A flash and a beep at each second of a 30 fps clip come out together,
  // as in the source.
  const auto source = dir / "flash.mp4", converted = dir / "flash-web.mp4";
  MakeMedia("-f lavfi -i \"color=c=black:s=160x120:r=30:d=4,drawbox=c=white:t=fill:enable='lt(mod(t\\,1)\\,0.02)'\" "
            "-f lavfi -i \"sine=f=1000:sample_rate=44100:d=4,volume=enable='gte(mod(t\\,1)\\,0.05)':volume=0\" "
            "-c:v libx264 -preset ultrafast -bf 2 -pix_fmt yuv420p -c:a aac",
            source);
  auto r = Convert(ShellQuote(source.string()) + " " + ShellQuote(converted.string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto [flashes, sourceFlashes] = ExpectFlashesWithTheirBeeps(source, converted, 4, 0.02);
  for (size_t i = 0; i < flashes.size(); ++i) EXPECT_NEAR(flashes[i], sourceFlashes[i], 1e-3) << "second " << i;
}

// Writes a display matrix that turns the first track's pictures clockwise by
// `degrees` (90 or 270) into an MP4 the ffmpeg tool made, the way a phone
// marks a portrait clip.
void TurnInContainer(const std::filesystem::path& file, int degrees) {
  std::string bytes = ReadFile(file);
  auto word = [](int32_t v) {
    std::string w(4, '\0');
    for (int i = 0; i < 4; ++i) w[i] = static_cast<char>((static_cast<uint32_t>(v) >> (24 - 8 * i)) & 0xff);
    return w;
  };
  auto matrix = [&](int32_t a, int32_t b, int32_t c, int32_t d) {
    return word(a) + word(b) + word(0) + word(c) + word(d) + word(0) + word(0) + word(0) + word(0x40000000);
  };
  const size_t found = bytes.find(matrix(0x10000, 0, 0, 0x10000), bytes.find("tkhd"));
  ASSERT_NE(found, std::string::npos);
  const int32_t s = degrees == 90 ? 0x10000 : -0x10000;
  bytes.replace(found, 36, matrix(0, s, -s, 0));
  WriteFile(file, bytes);
}

// How alike two first pictures are (PSNR in dB) after each went through its
// filters, `reference` being a file the ffmpeg tool turns upright itself.
double Likeness(const std::filesystem::path& picture, const std::string& pictureFilters,
                const std::filesystem::path& reference, const std::string& referenceFilters) {
  auto r = RunCommand("ffmpeg -nostdin -hide_banner -i " + ShellQuote(picture.string()) + " -i " +
                      ShellQuote(reference.string()) + " -lavfi \"[0:v]" + pictureFilters + ",format=yuv420p[a];[1:v]" +
                      referenceFilters + ",format=yuv420p[b];[a][b]psnr\" -frames:v 1 -f null - 2>&1");
  const size_t at = r.output.find("average:");
  return at == std::string::npos ? 0.0 : std::atof(r.output.c_str() + at + 8);
}

// Sources of the kinds companies bring, each converted by the command as the
// dialog would, and checked for what makes an output web-ready and faithful:
// the length of a range, pixel format, display shape, no time before zero,
// pictures in step with the sound, upright pictures of a phone's clip.
TEST(CliConvert, CompanySourcesComeOutWebReady) {
  TempDir dir;
  const std::string bframes = " -c:v libx264 -preset ultrafast -bf 2 -c:a aac ";
  const std::string testsrc = "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 ";
  // 30 fps for 3 s then 6 fps; a white picture and a beep at every second.
  const std::string flashAndBeep =
      "-f lavfi -i \"color=c=black:s=160x120:r=30:d=6,drawbox=c=white:t=fill:enable='lt(mod(t\\,1)\\,0.02)',"
      "select='lt(t\\,3)+not(mod(n\\,5))'\" -f lavfi -i \"sine=f=1000:sample_rate=44100:d=6,"
      "volume=enable='gte(mod(t\\,1)\\,0.05)':volume=0\" -fps_mode vfr -pix_fmt yuv420p";
  const std::string range = " --start 00:00:01.000 --end 00:00:03.500";
  const struct {
    std::string name, source, options;
    double seconds;  // the asked range: both streams last that long, within one picture (0: whole file)
    double picture;
    std::string pixelFormat, profile;
    bool flashes;  // check that each flash comes with its beep
    int rotation = 0;  // a phone's display matrix, clockwise degrees
  } cases[] = {
      {"bframes", testsrc + "-t 5 -pix_fmt yuv420p" + bframes, range, 2.5, 1.0 / 15, "yuv420p", "High", false},
      {"vfr", flashAndBeep + bframes, "", 0, 0, "yuv420p", "High", true},
      {"vfr-range", flashAndBeep + bframes, " --start 00:00:02.000 --end 00:00:05.750", 3.75, 1.0 / 6, "yuv420p", "High",
       false},
      {"tenbit", testsrc + "-t 1 -pix_fmt yuv420p10le" + bframes, "", 0, 0, "yuv420p", "High", false},
      {"full-chroma", testsrc + "-t 1 -pix_fmt yuv444p" + bframes, "", 0, 0, "yuv420p", "High", false},
      {"full-chroma-asked", testsrc + "-t 1 -pix_fmt yuv444p" + bframes, " --opt pix_fmt=yuv444p", 0, 0, "yuv444p",
       "High 4:4:4 Predictive", false},
      {"turned-90", testsrc + "-t 1 -pix_fmt yuv420p" + bframes, "", 0, 0, "yuv420p", "High", false, 90},
      {"turned-270", testsrc + "-t 1 -pix_fmt yuv420p" + bframes, "", 0, 0, "yuv420p", "High", false, 270},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto input = dir / (c.name + ".mp4");
    MakeMedia(c.source, input);
    if (c.rotation != 0) TurnInContainer(input, c.rotation);
    const auto target = dir / (c.name + "-web.mp4");
    auto r = Convert(ShellQuote(input.string()) + " " + ShellQuote(target.string()) + c.options);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(FfprobeValue("stream=profile,pix_fmt", target, "v:0"), c.profile + "\n" + c.pixelFormat);
    EXPECT_EQ(FfprobeValue("stream=display_aspect_ratio", target, "v:0"), c.rotation ? "3:4" : "4:3");
    if (c.rotation != 0) {
      // Upright like the ffmpeg tool shows the source, in the conversion, the
      // thumbnail and the probe's text.
      EXPECT_GT(Likeness(target, "null", input, "scale=240:320"), 30.0);
      const auto thumb = dir / (c.name + ".jpg");
      auto t = RunCommand(ShellQuote(Cli()) + " thumbnail " + ShellQuote(input.string()) +
                          " --at 00:00:00.000 -o " + ShellQuote(thumb.string()) + " 2>&1");
      ASSERT_EQ(t.exitCode, 0) << t.output;
      // The 120x90 thumbnail holds the upright picture 68 pixels wide in
      // its middle: the inner 60 columns are compared.
      EXPECT_GT(Likeness(thumb, "crop=60:90:30:0", input, "scale=68:90,crop=60:90:4:0"), 25.0);
      auto info = RunCommand(ShellQuote(Cli()) + " probe " + ShellQuote(input.string()) + " 2>&1");
      EXPECT_NE(info.output.find(", Rotation: " + std::to_string(c.rotation)), std::string::npos) << info.output;
    }
    for (const char* stream : {"v:0", "a:0"}) {
      if (c.seconds > 0) {
        EXPECT_NEAR(std::atof(FfprobeValue("stream=duration", target, stream).c_str()), c.seconds, c.picture + 1e-3)
            << stream;
      }
      EXPECT_GE(std::atof(FfprobeValue("stream=start_time", target, stream).c_str()), 0.0) << stream;
    }
    if (c.flashes) ExpectFlashesWithTheirBeeps(input, target, 6, 0.07);
  }
}

TEST(CliConvert, WhatTheUserTypesWinsAndMeansWhatItSays) {
  TempDir out;
  const auto input = ShellQuote(SharedMedia().mp4.string()) + " ";
  // The frame rate, the size and the preset typed win over the dialog's.
  // 640x360 from a 4:3 source keeps 4:3 on screen with pixels of 3:4.
  auto r = Convert(input + ShellQuote((out / "typed.mp4").string()) +
                   " --opt r=25 --opt s=640x360 --opt vpre=libx264-ultrafast");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(FfprobeValue("stream=width,height,r_frame_rate,sample_aspect_ratio", out / "typed.mp4", "v:0"),
            "640\n360\n3:4\n25/1");
  // libx264 writes its settings into the stream: the ultrafast preset
  // switches every inter partition off (and 8x8 transforms, hence intra 4x4
  // only).
  const std::string bytes = ReadFile(out / "typed.mp4");
  EXPECT_NE(bytes.find("analyse=0x1:0 "), std::string::npos);
  // "b" is the video bit rate: it leaves the audio's own rate alone.
  r = Convert(input + ShellQuote((out / "rates.mp4").string()) + " --opt ab=48000 --opt b=300000");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_LT(std::atoi(FfprobeValue("stream=bit_rate", out / "rates.mp4", "a:0").c_str()), 60000);
}

// Options that cannot hold fail the run with the reason; the ones that can
// (either end of a range alone, another encoder, an encoder's own option)
// work.
TEST(CliConvert, OptionsThatCannotHoldFailWithTheirReason) {
  TempDir out;
  std::filesystem::create_directory(out / "locked");
  std::filesystem::permissions(out / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  // The superuser writes into any folder; the kernel's own files refuse it too.
  const std::filesystem::path unwritable = geteuid() == 0 ? "/sys/kestrova-never.mp4" : out / "locked" / "x.mp4";
  const auto input = ShellQuote(SharedMedia().mp4.string()) + " ";
  const struct {
    std::string output, options, message;
  } refused[] = {
      {(out / "range.mp4").string(), " --start 00:00:02.000 --end 00:00:01.000",
       "--end 00:00:01.000 不在 --start 00:00:02.000 之后"},
      {(out / "rate.mp4").string(), " --opt b=foo", "Invalid value \"foo\" for option \"b\""},
      {(out / "bogus.mp4").string(), " --opt bogus=1", "Unrecognized option 'bogus'"},
      {(out / "no-such-folder" / "x.mp4").string(), "",
       "Could not open '" + (out / "no-such-folder" / "x.mp4").string() + "': No such file or directory"},
      {unwritable.string(), "", "Could not open '" + unwritable.string() + "': Permission denied"},
  };
  for (const auto& c : refused) {
    auto r = Convert(input + ShellQuote(c.output) + c.options);
    EXPECT_NE(r.exitCode, 0) << c.options << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(c.output)) << c.output;
  }
  const struct {
    std::string name, options, entries, expected;
    double seconds;
  } accepted[] = {
      {"start", " --start 00:00:01.000", "stream=codec_name", "h264", 2.0},
      {"end", " --end 00:00:01.000", "stream=codec_name", "h264", 1.0},
      {"hevc", " --opt vcodec=libx265", "stream=codec_name", "hevc", 3.0},
      {"crf", " --opt crf=30", "stream=codec_name", "h264", 3.0},
  };
  for (const auto& c : accepted) {
    const auto target = out / (c.name + ".mp4");
    auto r = Convert(input + ShellQuote(target.string()) + c.options);
    ASSERT_EQ(r.exitCode, 0) << c.name << r.output;
    EXPECT_EQ(FfprobeValue(c.entries, target, "v:0"), c.expected) << c.name;
    EXPECT_NEAR(std::atof(FfprobeValue("format=duration", target).c_str()), c.seconds, 0.1) << c.name;
  }
  // libx264 writes its settings into the stream.
  EXPECT_NE(ReadFile(out / "crf.mp4").find("crf=30.0"), std::string::npos);
}

// A target, a codec, a timestamp, languages and a pad colour typed by the
// user give what the ffmpeg tool gives for the same request, whatever the
// dialog's defaults say.
TEST(CliConvert, TypedOptionsWinOverTheDialogsDefaults) {
  TempDir out;
  // Stereo, and in a container whose time base is the picture rate: the
  // ffmpeg tool tells a target's norm by that alone.
  const auto input = out / "source.avi";
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 -t 2 -ac 2 -c:v mpeg4 "
            "-c:a pcm_s16le",
            input);
  const std::string video = "stream=codec_name,width,height,r_frame_rate,pix_fmt";
  const std::string audio = "stream=codec_name,sample_rate,channels";
  const struct {
    std::string name, file, ours, theirs;
    std::string entries[3];  // each compared on v:0, a:0 and the format
  } cases[] = {
      {"pal-vcd", "vcd.mpg", "--opt target=pal-vcd", "-target pal-vcd", {video, audio, ""}},
      {"pal-svcd", "svcd.mpg", "--opt target=pal-svcd", "-target pal-svcd", {video, audio, ""}},
      {"pal-dvd", "pal-dvd.mpg", "--opt target=pal-dvd", "-target pal-dvd", {video, audio, ""}},
      {"dvd", "dvd.mpg", "--opt target=dvd", "-target dvd", {video, audio, ""}},
      {"pal-dv", "dv.dv", "--opt target=pal-dv", "-target pal-dv", {video, audio, ""}},
      {"mpeg4", "mpeg4.mp4", "--opt vcodec=mpeg4", "-c:v mpeg4 -s 320x240 -r 15 -c:a aac -ar 22050",
       {video, audio, ""}},
      {"timestamp", "stamp.mp4", "--opt timestamp=2001-02-03T04:05:06",
       "-c:v libx264 -c:a aac -timestamp 2001-02-03T04:05:06", {"", "", "format_tags=creation_time"}},
      {"languages", "lang.mp4", "--opt alang=eng --opt vlang=fra",
       "-c:v libx264 -c:a aac -metadata:s:a:0 language=eng -metadata:s:v:0 language=fra",
       {"stream_tags=language", "stream_tags=language", ""}},
      {"padcolor", "pad.mp4", "--opt padtop=16 --opt padbottom=16 --opt padcolor=255",
       "-vf scale=320:240,pad=320:272:0:16:red -c:v libx264 -c:a aac", {"stream=width,height", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto ours = out / ("ours-" + c.file), theirs = out / ("theirs-" + c.file);
    auto r = Convert(ShellQuote(input.string()) + " " + ShellQuote(ours.string()) + " " + c.ours);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    MakeMedia("-i " + ShellQuote(input.string()) + " " + c.theirs, theirs);
    const char* selections[] = {"v:0", "a:0", ""};
    for (int i = 0; i < 3; ++i) {
      if (c.entries[i].empty()) continue;
      EXPECT_EQ(FfprobeValue(c.entries[i], ours, selections[i]), FfprobeValue(c.entries[i], theirs, selections[i]))
          << c.entries[i];
    }
  }
  // The padding bands are red in both, in every picture (R, G, B of a pixel
  // in the top band): the bands are painted once, and each later picture the
  // scaler draws must keep them.
  for (const auto& file : {out / "ours-pad.mp4", out / "theirs-pad.mp4"}) {
    auto rgb = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) +
                          " -vf format=rgb24,crop=1:1:160:4 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    ASSERT_GE(rgb.output.size(), 3u * 20) << file;  // 2 s of pictures
    ASSERT_EQ(rgb.output.size() % 3, 0u) << file;
    for (size_t i = 0; i < rgb.output.size(); i += 3) {
      EXPECT_GT(static_cast<uint8_t>(rgb.output[i]), 200) << file << " picture " << i / 3;
      EXPECT_LT(static_cast<uint8_t>(rgb.output[i + 1]), 60) << file << " picture " << i / 3;
      EXPECT_LT(static_cast<uint8_t>(rgb.output[i + 2]), 60) << file << " picture " << i / 3;
    }
  }
}

TEST(CliConvert, RefusesToWriteOverItsInput) {
  TempDir dir;
  const auto input = dir / "same.mp4";
  std::filesystem::copy_file(SharedMedia().mp4, input);
  std::filesystem::create_symlink(input, dir / "link.mp4");
  const std::string before = ReadFile(input);
  for (const std::string& output : {input.string(), (dir / "." / "same.mp4").string(), (dir / "link.mp4").string()}) {
    auto r = Convert(ShellQuote(input.string()) + " " + ShellQuote(output));
    EXPECT_NE(r.exitCode, 0) << output;
    EXPECT_NE(r.output.find("is the input file"), std::string::npos) << r.output;
    EXPECT_TRUE(ReadFile(input) == before) << output;
  }
}

TEST(CliConvert, RangeAfterTheEndFailsAndLeavesNoFile) {
  TempDir out;
  const auto target = out / "after.mp4";
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote(target.string()) +
                   " --start 00:00:30.000 --end 00:00:40.000");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("Start time 00:00:30.000 is after the end of"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("2777777"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(CliConvert, AConversionThatFailsLeavesAnEarlierFileOfThatNameAsItWas) {
  TempDir out;
  const auto target = out / "earlier.mp4";
  WriteFile(target, "an earlier conversion");
  // A frame size the H.264 encoder refuses once the conversion starts.
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote(target.string()) + " --opt s=321x241");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Error while opening encoder"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(target), "an earlier conversion");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), std::filesystem::directory_iterator()), 1);
}

TEST(CliConvert, CtrlCStopsCleanlyWithAPlayableFile) {
  TempDir dir;
  MakeMedia("-f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i sine=sample_rate=44100 -t 30 "
            "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
            dir / "long.mp4");
  const auto target = dir / "interrupted.mp4";
  ChildProcess cli({Cli(), "convert", (dir / "long.mp4").string(), target.string(), "--preset", "8", "--opt",
                    "vpre=libx264-veryslow"},
                   dir / "cli.log");
  // Wait until the hidden file the output is written as has grown past its
  // header, then interrupt. The name itself holds nothing until the end.
  bool grown = false;
  for (int i = 0; i < 600 && !grown; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      std::error_code ec;
      if (entry.path().filename().string().rfind(".interrupted.mp4.", 0) == 0 && entry.file_size(ec) > 2000)
        grown = true;
    }
    if (!grown) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(grown);
  EXPECT_FALSE(std::filesystem::exists(target));
  int status = cli.stop(2, std::chrono::seconds(60));
  ASSERT_TRUE(WIFEXITED(status)) << cli.log();
  EXPECT_EQ(WEXITSTATUS(status), 130) << cli.log();
  EXPECT_NE(cli.log().find("已停止；" + target.string() + " 中是已转换的部分"), std::string::npos) << cli.log();
  double seconds = std::atof(FfprobeValue("format=duration", target).c_str());
  EXPECT_GT(seconds, 0.0);
  EXPECT_LT(seconds, 29.0);
  auto decode = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(target.string()) + " -f null - 2>&1");
  EXPECT_EQ(decode.exitCode, 0);
  EXPECT_EQ(decode.output, "");
  // The stopped output took its name: nothing hidden is left beside it.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

}  // namespace
