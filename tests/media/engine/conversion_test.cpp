// Whole conversions through the engine component, checked with ffprobe:
// the dialog's defaults, a range, a stop request, join, audio-only input,
// volume, frame-rate sync and a custom hook.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "engine_run.h"
#include "engine_test_env.h"
#include "media/engine/conversion_presets.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

double Seconds(const std::string& text) { return std::atof(text.c_str()); }

class ConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LoadEngineLibrariesOrFail();
    dir_ = new TempDir();
    MakeMedia("-f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 15 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
              *dir_ / "long.mp4");
    MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 -t 2 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
              *dir_ / "two.mp4");
    MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 -t 3 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
              *dir_ / "three.mp4");
  }
  static void TearDownTestSuite() { delete dir_; }
  static TempDir* dir_;

  // Adds one task with these records and runs the batch in the calling thread.
  media::TTerminateInfo Convert(const std::filesystem::path& input, const std::filesystem::path& output,
                                media::TOutputOptions out, media::TInputOptions in = {}) {
    recorder.Attach(engine);
    int task = engine.AddTask(input.string(), &in);
    EXPECT_GE(task, 0) << engine.LastErrorMessage();
    if (task < 0) return {};
    EXPECT_TRUE(engine.SetOutputFile(task, output.string(), &out)) << engine.LastErrorMessage();
    engine.StartTask(0);
    EXPECT_TRUE(recorder.ended);
    return recorder.Report(task);
  }

  // The range 5 s to 12.5 s of the long input, with these extra options.
  void ExpectSevenAndAHalfFromFive(const std::string& extraOptions, const std::filesystem::path& output) {
    media::TInputOptions in;
    in.StartTime = 5000000;
    auto options = media::DialogOutputDefaults();
    options.Duration = 7500000;
    options.ExtOptions = extraOptions;
    auto result = Convert(*dir_ / "long.mp4", output, options, in);
    EXPECT_TRUE(result.Finished) << result.ExceptionMsg;
    EXPECT_NEAR(Seconds(FfprobeValue("format=duration", output)), 7.5, 0.15);
    EXPECT_NEAR(Seconds(FfprobeValue("stream=start_time", output, "v:0")), 0.0, 0.1);
  }

  media::HandOver handOver;  // this thread is the engine's host
  media::TFFmpegEngine engine{&handOver};
  BatchRecorder recorder;
  TempDir out;
};
TempDir* ConversionTest::dir_ = nullptr;

TEST_F(ConversionTest, DialogDefaultsGiveSmallH264AacMp4OfTheInputsLength) {
  auto result = Convert(*dir_ / "long.mp4", out / "default.mp4", media::DialogOutputDefaults());
  EXPECT_TRUE(result.Finished);
  EXPECT_FALSE(result.Exception) << result.ExceptionMsg;
  const auto file = out / "default.mp4";
  EXPECT_EQ(FfprobeValue("stream=codec_name,width,height,r_frame_rate", file, "v:0"), "h264\n320\n240\n15/1");
  EXPECT_EQ(FfprobeValue("stream=codec_name,sample_rate", file, "a:0"), "aac\n22050");
  EXPECT_NEAR(Seconds(FfprobeValue("format=duration", file)), 15.0, 0.15);
  EXPECT_EQ(FfprobeValue("format=format_name", file), "mov,mp4,m4a,3gp,3g2,mj2");
  // About the asked-for rate (120 kbit/s of video), not libx264's default quality.
  EXPECT_LT(std::atoi(FfprobeValue("stream=bit_rate", file, "v:0").c_str()), 200000);
}

TEST_F(ConversionTest, RangeFromFiveToTwelveAndAHalfSecondsLastsSevenAndAHalf) {
  ExpectSevenAndAHalfFromFive("", out / "range.mp4");
}

TEST_F(ConversionTest, AnOutputStartWithARangeStillLastsTheAskedDuration) {
  // The output's own start ("--opt ss=1") skips a second of the range; the
  // asked duration is counted from there.
  ExpectSevenAndAHalfFromFive("ss=1\n", out / "range-ss.mp4");
}

TEST_F(ConversionTest, StopRequestLeavesAPlayableFileAndFinishedFalse) {
  recorder.Attach(engine);
  std::atomic<bool> progressed{false};
  engine.SetProgressInterval(100);
  engine.SetOnProgress([&](media::TCustomFFmpegEngine&, media::PProgressInfo) { progressed = true; });
  auto options = media::DialogOutputDefaults();
  options.VideoPreset = "libx264-slower";  // slow enough to stop halfway
  options.FrameSize = "640x480";
  int task = engine.AddTask((*dir_ / "long.mp4").string());
  ASSERT_TRUE(engine.SetOutputFile(task, (out / "stopped.mp4").string(), &options)) << engine.LastErrorMessage();
  engine.StartTask(1);
  while (!progressed) handOver.Pump(std::chrono::milliseconds(10));
  engine.Stop(true);
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  auto result = recorder.Report(0);
  EXPECT_FALSE(result.Finished);
  EXPECT_FALSE(result.Exception) << result.ExceptionMsg;
  double seconds = Seconds(FfprobeValue("format=duration", out / "stopped.mp4"));
  EXPECT_GT(seconds, 0.0);
  EXPECT_LT(seconds, 14.0);
  auto decode = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote((out / "stopped.mp4").string()) + " -f null - 2>&1");
  EXPECT_EQ(decode.exitCode, 0);
  EXPECT_EQ(decode.output, "");
}

TEST_F(ConversionTest, JoinGivesOneOutputOfTheSummedLength) {
  recorder.Attach(engine);
  int task = engine.AddTask((*dir_ / "two.mp4").string());
  ASSERT_GE(task, 0);
  ASSERT_TRUE(engine.Task(task)->OpenInput((*dir_ / "three.mp4").string()));
  auto options = media::DialogOutputDefaults();
  options.Join = true;
  ASSERT_TRUE(engine.SetOutputFile(task, (out / "joined.mp4").string(), &options)) << engine.LastErrorMessage();
  EXPECT_NEAR(engine.Task(task)->TotalDuration(), 5000000, 100000);
  // A joined task writes one file only.
  EXPECT_FALSE(engine.SetOutputFile(task, (out / "second.mp4").string(), &options));
  EXPECT_EQ(engine.LastErrorMessage(), "Cannot join more than one output file.");
  engine.StartTask(0);
  auto result = recorder.Report(task);
  EXPECT_TRUE(result.Finished) << result.ExceptionMsg;
  EXPECT_NEAR(Seconds(FfprobeValue("format=duration", out / "joined.mp4")), 5.0, 0.2);
  EXPECT_NEAR(std::atoi(FfprobeValue("stream=nb_frames", out / "joined.mp4", "v:0").c_str()), 75, 2);
}

// The encoder's own settings line in the output tells how many threads
// libx264 ran with.
int X264Threads(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = bytes.find(" threads=");
  return at == std::string::npos ? -1 : std::atoi(bytes.c_str() + at + 9);
}

TEST_F(ConversionTest, CodecThreadsShareTheCoresAmongTasksThatRunAtOnce) {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  if (cores < 2) GTEST_SKIP() << "one core: nothing to share";
  // One task alone: libx264 threads as it pleases (more than one thread).
  auto options = media::DialogOutputDefaults();
  Convert(*dir_ / "two.mp4", out / "alone.mp4", options);
  EXPECT_GT(X264Threads(out / "alone.mp4"), 1);

  // Two tasks side by side split the cores between them.
  media::TFFmpegEngine pair{&handOver};
  BatchRecorder both;
  both.Attach(pair);
  for (const char* name : {"first.mp4", "second.mp4"}) {
    int task = pair.AddTask((*dir_ / "three.mp4").string());
    ASSERT_GE(task, 0) << pair.LastErrorMessage();
    ASSERT_TRUE(pair.SetOutputFile(task, (out / name).string(), &options)) << pair.LastErrorMessage();
  }
  pair.StartTask(2);
  ASSERT_TRUE(PumpUntilEnded(handOver, both));
  for (const char* name : {"first.mp4", "second.mp4"}) {
    EXPECT_TRUE(both.Report(name[0] == 'f' ? 0 : 1).Finished);
    EXPECT_EQ(X264Threads(out / name), cores / 2) << name;
  }
}

TEST_F(ConversionTest, AudioOnlyInputGivesAudioOnlyOutput) {
  auto result = Convert(SharedMedia().audioOnly, out / "audio.mp4", media::DialogOutputDefaults());
  EXPECT_TRUE(result.Finished) << result.ExceptionMsg;
  EXPECT_EQ(FfprobeValue("stream=codec_type", out / "audio.mp4"), "audio");
  EXPECT_EQ(FfprobeValue("stream=sample_rate", out / "audio.mp4"), "22050");
}

// Raw 16-bit samples of a file's first audio stream.
std::vector<int16_t> Samples(const std::filesystem::path& file) {
  auto r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -f s16le -ac 1 -");
  std::vector<int16_t> s(r.output.size() / 2);
  std::memcpy(s.data(), r.output.data(), s.size() * 2);
  return s;
}

TEST_F(ConversionTest, VolumeDoublesAndClipsSamples) {
  MakeMedia("-f lavfi -i aevalsrc=20000/32768:s=8000:d=1 -c:a pcm_s16le", out / "level.wav");
  for (int volume : {512, 256, 128}) {
    media::TFFmpegEngine e;
    BatchRecorder r;
    r.Attach(e);
    media::TOutputOptions o;
    o.AudioVolume = volume;
    const auto target = out / ("vol" + std::to_string(volume) + ".wav");
    int task = e.AddTask((out / "level.wav").string());
    ASSERT_TRUE(e.SetOutputFile(task, target.string(), &o)) << e.LastErrorMessage();
    e.StartTask(0);
    ASSERT_TRUE(r.Report(task).Finished) << r.Report(task).ExceptionMsg;
    auto samples = Samples(target);
    ASSERT_GT(samples.size(), 4000u);
    const int expected = volume == 512 ? 32767 : volume == 256 ? 20000 : 10000;
    EXPECT_EQ(samples[samples.size() / 2], expected) << "vol " << volume;
  }
}

TEST_F(ConversionTest, ConstantRateOutputDropsAndDuplicatesFrames) {
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=50 -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
            out / "fifty.mp4");
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
            out / "ten.mp4");
  for (const char* name : {"fifty.mp4", "ten.mp4"}) {
    media::TFFmpegEngine e;
    BatchRecorder r;
    r.Attach(e);
    media::TOutputOptions o;
    o.FrameRate = "25";
    o.VideoSyncMethod = 1;
    o.VideoCodec = "libx264";
    const auto target = out / (std::string("cfr-") + name);
    int task = e.AddTask((out / name).string());
    ASSERT_TRUE(e.SetOutputFile(task, target.string(), &o)) << e.LastErrorMessage();
    e.StartTask(0);
    ASSERT_TRUE(r.Report(task).Finished) << r.Report(task).ExceptionMsg;
    // 2 s at 25 fps, whether half the pictures were dropped or each shown 2.5 times.
    EXPECT_NEAR(std::atoi(FfprobeValue("stream=nb_frames", target, "v:0").c_str()), 50, 2) << name;
  }
}

TEST_F(ConversionTest, AudioSyncPadsALateAudioStartWithSilence) {
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:d=3 -itsoffset 0.5 -f lavfi -i sine=sample_rate=22050:d=2.5 "
            "-map 0:v -map 1:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac",
            out / "late.mp4");
  for (int method : {0, 1}) {
    media::TFFmpegEngine e;
    BatchRecorder r;
    r.Attach(e);
    media::TOutputOptions o = media::DialogOutputDefaults();
    o.AudioSyncMethod = method;
    const auto target = out / ("async" + std::to_string(method) + ".mp4");
    int task = e.AddTask((out / "late.mp4").string());
    ASSERT_TRUE(e.SetOutputFile(task, target.string(), &o)) << e.LastErrorMessage();
    e.StartTask(0);
    ASSERT_TRUE(r.Report(task).Finished) << r.Report(task).ExceptionMsg;
    const double audio = std::atof(FfprobeValue("stream=duration", target, "a:0").c_str());
    if (method == 1)
      EXPECT_NEAR(audio, 3.0, 0.1);  // 0.5 s of silence in front
    else
      EXPECT_NEAR(audio, 2.5, 0.15);  // the encoders' priming samples add a little
  }
}

TEST_F(ConversionTest, CustomHookThatStopsItselfGetsNoFurtherCalls) {
  int calls = 0;
  int lastFrame = 0;
  engine.SetOnCustomHook([&](media::TCustomFFmpegEngine&, media::PHookInfo info) {
    ++calls;
    lastFrame = info->FrameNumber;
    EXPECT_EQ(info->Bitmap->width, 320);
    // Paint the picture black: the change must reach the output.
    std::fill(info->Bitmap->pixels.begin(), info->Bitmap->pixels.end(), 0);
    if (info->FrameNumber == 5) info->StopHook = true;
  });
  auto options = media::DialogOutputDefaults();
  options.CustomHook = true;
  auto result = Convert(*dir_ / "two.mp4", out / "hooked.mp4", options);
  EXPECT_TRUE(result.Finished) << result.ExceptionMsg;
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(lastFrame, 5);
  // The painted pictures reached the output: the first one is black, the
  // last one (after the hook stopped) is not.
  auto luma = [&](const char* select) {
    auto r = RunCommand("ffmpeg -nostdin -v info -i " + ShellQuote((out / "hooked.mp4").string()) +
                        " -vf \"" + select + ",signalstats,metadata=print:key=lavfi.signalstats.YAVG\" -f null - 2>&1");
    auto pos = r.output.rfind("YAVG=");
    return pos == std::string::npos ? -1.0 : std::atof(r.output.c_str() + pos + 5);
  };
  EXPECT_LT(luma("select=eq(n\\,0)"), 20.0);
  EXPECT_GT(luma("select=eq(n\\,25)"), 40.0);
}

TEST_F(ConversionTest, CustomHookThatThrowsLeavesFramesAndRunGoesOn) {
  int calls = 0;
  engine.SetOnCustomHook([&](media::TCustomFFmpegEngine&, media::PHookInfo) {
    ++calls;
    throw std::runtime_error("handler trouble");
  });
  auto options = media::DialogOutputDefaults();
  options.CustomHook = true;
  auto result = Convert(*dir_ / "two.mp4", out / "throwing.mp4", options);
  EXPECT_TRUE(result.Finished);
  EXPECT_FALSE(result.Exception);
  EXPECT_EQ(calls, 50);
}

// The luma planes of every picture of a file, one after another, as the
// ffmpeg tool decodes them.
std::string LumaPlanes(const std::filesystem::path& file) {
  return RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -f rawvideo -pix_fmt gray -").output;
}

TEST_F(ConversionTest, DeinterlaceRemovesCombingAndKeepsEveryPicture) {
  // Even rows dark, odd rows light: the two fields of a fast movement.
  MakeMedia("-f lavfi -i \"color=c=black:s=64x48:r=25,format=yuv420p,"
            "geq=lum='if(mod(Y\\,2)\\,235\\,16)':cb=128:cr=128\" -t 1 -c:v ffv1",
            out / "combed.mkv");
  for (bool deinterlace : {false, true}) {
    media::TFFmpegEngine e;
    BatchRecorder r;
    r.Attach(e);
    media::TOutputOptions o;
    o.VideoCodec = "ffv1";
    o.DisableAudio = true;
    if (deinterlace) o.ExtOptions = "deinterlace=1";
    const auto target = out / (deinterlace ? "deinterlaced.mkv" : "kept.mkv");
    int task = e.AddTask((out / "combed.mkv").string());
    ASSERT_TRUE(e.SetOutputFile(task, target.string(), &o)) << e.LastErrorMessage();
    e.StartTask(0);
    ASSERT_TRUE(r.Report(task).Finished) << r.Report(task).ExceptionMsg;
    const std::string luma = LumaPlanes(target);
    ASSERT_EQ(luma.size(), 25u * 64 * 48);  // one picture out for each picture in
    const int gap = std::abs(static_cast<uint8_t>(luma[20 * 64 + 10]) - static_cast<uint8_t>(luma[21 * 64 + 10]));
    if (deinterlace)
      EXPECT_LE(gap, 2);
    else
      EXPECT_GE(gap, 200);
  }
}

// Runs one task with these records in a fresh engine and returns its report.
media::TTerminateInfo ConvertOnce(const std::filesystem::path& input, const std::filesystem::path& output,
                                  const media::TOutputOptions& options, media::TInputOptions in = {}) {
  media::TFFmpegEngine e;
  BatchRecorder r;
  r.Attach(e);
  media::TOutputOptions o = options;
  int task = e.AddTask(input.string(), &in);
  EXPECT_GE(task, 0) << e.LastErrorMessage();
  if (task < 0) return {};
  EXPECT_TRUE(e.SetOutputFile(task, output.string(), &o)) << e.LastErrorMessage();
  e.StartTask(0);
  return r.Report(task);
}

int CountPackets(const std::filesystem::path& file) {
  return std::atoi(Ffprobe("-count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0",
                           file).c_str());
}

TEST_F(ConversionTest, CopiedVideoStartsAtAKeyFrameUnlessInitialNonKeyFramesAreKept) {
  // A key frame every second: from 1.5 s the first copied picture is not one.
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -t 3 -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p",
            out / "gop25.mp4");
  media::TOutputOptions o;
  o.VideoCodec = "copy";
  o.DisableAudio = true;
  o.StartTime = 1500000;
  auto plain = ConvertOnce(out / "gop25.mp4", out / "from-key.mkv", o);
  ASSERT_TRUE(plain.Finished) << plain.ExceptionMsg;
  o.ExtOptions = "copyinkf=1";
  auto kept = ConvertOnce(out / "gop25.mp4", out / "from-start.mkv", o);
  ASSERT_TRUE(kept.Finished) << kept.ExceptionMsg;
  EXPECT_EQ(CountPackets(out / "from-key.mkv"), 25);  // 2 s to 3 s
  EXPECT_NEAR(CountPackets(out / "from-start.mkv"), 37, 1);  // 1.5 s to 3 s
  EXPECT_EQ(Ffprobe("-select_streams v:0 -show_entries packet=flags -read_intervals %+#1 -of csv=p=0",
                    out / "from-key.mkv").substr(0, 1), "K");
}

TEST_F(ConversionTest, LoopInputRepeatsAStillPictureAndLoopOutputMarksAnAnimation) {
  MakeMedia("-f lavfi -i testsrc=size=64x48 -frames:v 1", out / "still.png");
  media::TOutputOptions o;
  o.Duration = 1000000;
  o.FrameRate = "10";
  o.VideoCodec = "gif";
  media::TInputOptions loopIn;
  loopIn.ExtOptions = "loop_input=1";
  auto looped = ConvertOnce(out / "still.png", out / "looped.gif", o, loopIn);
  ASSERT_TRUE(looped.Finished) << looped.ExceptionMsg;
  EXPECT_NEAR(CountPackets(out / "looped.gif"), 10, 1);
  // The writer's default output loop is none: no looping block in the file.
  EXPECT_EQ(ReadFile(out / "looped.gif").find("NETSCAPE2.0"), std::string::npos);

  o.ExtOptions = "loop_output=0";
  auto once = ConvertOnce(out / "still.png", out / "forever.gif", o);
  ASSERT_TRUE(once.Finished) << once.ExceptionMsg;
  EXPECT_EQ(CountPackets(out / "forever.gif"), 1);
  EXPECT_NE(ReadFile(out / "forever.gif").find("NETSCAPE2.0"), std::string::npos);
}

}  // namespace
