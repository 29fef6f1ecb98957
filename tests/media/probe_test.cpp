// The probe on media made by the ffmpeg tool, checked against what ffprobe
// reports. Built against the sanitized media library, so a memory fault on any
// of these files (corrupt ones included) fails the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "media/entry_points.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"
#include "media/probe_access.h"
#include "media_fixture.h"
#include "process.h"

using namespace media;
using kestrova::test::FfprobeValue;
using kestrova::test::SharedMedia;

namespace {

struct Logged {
  const void* sender;
  TLogLevel level;
  std::string message;
};

class ProbeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(FFmpegLoader().Load(EngineLibraries)) << FFmpegLoader().LastError();
    logger = std::make_unique<TFFLogger>();
    logger->SetTriggerEventInMainThread(false);
    logger->SetLogLevel(llWarning);
    logger->SetOnLog([this](const void* sender, std::uint32_t, TLogLevel level, const std::string& message) {
      std::lock_guard lock(mutex);
      log.push_back({sender, level, message});
    });
    SharedMedia();  // made once, before the first test's clock starts
  }
  void TearDown() override { logger.reset(); }

  std::unique_ptr<TFFLogger> logger;
  std::mutex mutex;
  std::vector<Logged> log;
};

ProbeEnvironment* g_environment =
    static_cast<ProbeEnvironment*>(::testing::AddGlobalTestEnvironment(new ProbeEnvironment));

bool WasLogged(const void* sender, TLogLevel level, const std::string& message) {
  std::lock_guard lock(g_environment->mutex);
  for (auto& entry : g_environment->log) {
    if (entry.sender == sender && entry.level == level && entry.message == message) return true;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
  return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int64_t SecondsToMicroseconds(const std::string& seconds) { return std::llround(std::stod(seconds) * 1e6); }

TEST(ProbeTest, Mp4SummaryAndInformationTextMatchFfprobe) {
  const auto& m = SharedMedia();
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(m.mp4.string())) << probe.LastErrorMessage();
  EXPECT_EQ(probe.StreamCount(), 2);
  EXPECT_EQ(probe.ProgramCount(), 0);
  EXPECT_EQ(probe.VideoStreamCount(), 1);
  EXPECT_EQ(probe.AudioStreamCount(), 1);
  EXPECT_EQ(probe.SubtitleStreamCount(), 0);
  EXPECT_EQ(probe.FirstVideoStream(), 0);
  EXPECT_EQ(probe.FirstAudioStream(), 1);
  EXPECT_EQ(probe.FirstSubtitleStream(), -1);
  EXPECT_EQ(probe.DefaultStream(), 0);
  EXPECT_EQ(probe.FileSize(), int64_t(std::filesystem::file_size(m.mp4)));
  EXPECT_EQ(probe.FileName(), m.mp4.string());

  auto lines = Lines(probe.GetFileInfoText());
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "File Name: " + m.mp4.string());
  EXPECT_EQ(lines[1], "Format Name: " + FfprobeValue("format=format_name", m.mp4));
  EXPECT_EQ(lines[2], "Format Long Name: " + FfprobeValue("format=format_long_name", m.mp4));
  EXPECT_EQ(lines[3], "File Size: " + SizeText(probe.FileSize()));
  EXPECT_EQ(lines[4], "Duration: " + DurationText(SecondsToMicroseconds(FfprobeValue("format=duration", m.mp4))));
  EXPECT_EQ(lines[5], "StartTime: 0.000000");
  EXPECT_EQ(lines[6], "Bit Rate: " + std::to_string(std::stoll(FfprobeValue("format=bit_rate", m.mp4)) / 1000) + " kb/s");
  EXPECT_EQ(lines[7], "Metadata:");
  EXPECT_TRUE(HasLine(lines, "  title           : Kestrova"));
  EXPECT_TRUE(HasLine(lines, "  comment         : fixture"));

  std::string video, audio;
  for (auto& line : lines) {
    if (line.rfind("Stream #0", 0) == 0) video = line;
    if (line.rfind("Stream #1", 0) == 0) audio = line;
  }
  // "Stream #0[0x1](und), 1/12800: Video: h264 (High) ..."
  std::string timeBase = FfprobeValue("stream=time_base", m.mp4, "v");
  EXPECT_EQ(video.rfind("Stream #0[0x1](und), " + timeBase + ": Video: h264 ", 0), 0u) << video;
  EXPECT_NE(video.find("320x240"), std::string::npos) << video;
  EXPECT_NE(video.find(", 25 fps, 25 tbr, "), std::string::npos) << video;
  EXPECT_NE(video.find(", StartTime: 0.000000, Duration: 00:00:03.000"), std::string::npos) << video;
  EXPECT_NE(audio.find(": Audio: aac"), std::string::npos) << audio;
  EXPECT_NE(audio.find(FfprobeValue("stream=sample_rate", m.mp4, "a") + " Hz"), std::string::npos) << audio;
  // The stream's only other tags show in its block; "language" never does.
  EXPECT_TRUE(HasLine(lines, "  Metadata:"));
  for (auto& line : lines) EXPECT_EQ(line.find("language"), std::string::npos) << line;
}

TEST(ProbeTest, FileAndVideoStreamInformation) {
  const auto& m = SharedMedia();
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(m.mp4.string()));
  TFileStreamInfo file;
  probe.GetFileStreamInfo(file);
  EXPECT_EQ(file.Duration, SecondsToMicroseconds(FfprobeValue("format=duration", m.mp4)));
  EXPECT_EQ(file.StartTime, 0);
  EXPECT_EQ(file.Title, "Kestrova");
  EXPECT_EQ(file.Comment, "fixture");
  EXPECT_EQ(file.Author, "");

  TVideoStreamInfo video;
  probe.GetVideoStreamInfo(video);
  EXPECT_EQ(video.Width, 320);
  EXPECT_EQ(video.Height, 240);
  EXPECT_EQ(video.FrameRateNum, 25);
  EXPECT_EQ(video.FrameRateDen, 1);
  EXPECT_EQ(video.PixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_NEAR(video.AspectRatio, 4.0 / 3.0, 1e-5);
  EXPECT_EQ(video.CodecName.rfind("h264(", 0), 0u) << video.CodecName;
  EXPECT_EQ(video.Language, "und");
  EXPECT_EQ(video.Duration, 3000000);
  const AVRational timeBase = media::ProbeInputAccess::Input(probe)->streams[0]->time_base;
  EXPECT_EQ(video.StreamDuration, Av().av_rescale_q(video.Duration, {1, 1000000}, timeBase));

  const std::pair<int, std::string> refused[] = {{1, "stream #1 is not video stream."},
                                                 {5, "stream index #5 is invalid."},
                                                 {-2, "stream index #-2 is invalid."}};
  for (auto& [index, message] : refused) {
    probe.GetVideoStreamInfo(index, video);
    EXPECT_EQ(probe.LastErrorMessage(), message);
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(video.Height, -1);
    EXPECT_EQ(video.Duration, -1);
    EXPECT_EQ(video.AspectRatio, -1.0f);
    EXPECT_EQ(video.CodecName, "");
  }
  EXPECT_TRUE(WasLogged(&probe, llError, "stream #1 is not video stream."));
}

TEST(ProbeTest, StepsForwardAndBackThroughReorderedPictures) {
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(SharedMedia().mp4.string()));
  Bitmap bitmap;
  EXPECT_FALSE(probe.CopyPictureTo(bitmap));
  EXPECT_EQ(probe.LastErrorMessage(), "picture not ready, please decode first");

  // Forward through the first 40 pictures: times step by 40 ms, in order.
  std::vector<Bitmap> forward;
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(probe.ReadNextFrame()) << probe.LastErrorMessage();
    EXPECT_EQ(probe.CurrentPTS(), i * 40000);
    EXPECT_EQ(probe.KeyFrame(), i % 25 == 0) << i;
    forward.emplace_back();
    ASSERT_TRUE(probe.CopyPictureTo(forward.back()));
  }
  EXPECT_EQ(forward[0].width, 320);
  EXPECT_EQ(forward[0].height, 240);
  EXPECT_NE(forward[0].pixels, forward[1].pixels);

  // Back again across the key frame at 1 s: each step shows the picture before.
  for (int i = 38; i >= 20; --i) {
    ASSERT_TRUE(probe.ReadPreviousFrame()) << probe.LastErrorMessage();
    ASSERT_EQ(probe.CurrentPTS(), i * 40000);
    Bitmap back;
    ASSERT_TRUE(probe.CopyPictureTo(back));
    EXPECT_EQ(back.pixels, forward[i].pixels) << i;
  }

  // The previous picture of the second is the first.
  ASSERT_TRUE(probe.SeekTo(0, 0));
  ASSERT_TRUE(probe.ReadNextFrame());
  ASSERT_TRUE(probe.ReadNextFrame());
  ASSERT_TRUE(probe.ReadPreviousFrame());
  EXPECT_EQ(probe.CurrentPTS(), 0);
  Bitmap first;
  ASSERT_TRUE(probe.CopyPictureTo(first));
  EXPECT_EQ(first.pixels, forward[0].pixels);
}

TEST(ProbeTest, StepsBackAndForthOverTheLastGroupWithoutSeekingAgain) {
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(SharedMedia().mp4.string()));
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 2900000));
  std::vector<Bitmap> forward;
  while (probe.ReadNextFrame()) {
    forward.emplace_back();
    ASSERT_TRUE(probe.CopyPictureTo(forward.back()));
  }
  ASSERT_EQ(forward.size(), 25u);  // the group from the key frame at 2 s
  ASSERT_TRUE(probe.EndOfStream());

  // Back to the key frame: the pictures come from what was decoded, so no
  // seek happens; the end of the stream is left behind all the same, as a
  // step back that seeks leaves it.
  for (int i = 23; i >= 0; --i) {
    ASSERT_TRUE(probe.ReadPreviousFrame()) << probe.LastErrorMessage();
    ASSERT_EQ(probe.CurrentPTS(), 2000000 + i * 40000);
    EXPECT_FALSE(probe.EndOfStream()) << i;
    Bitmap back;
    ASSERT_TRUE(probe.CopyPictureTo(back));
    EXPECT_EQ(back.pixels, forward[i].pixels) << i;
  }
  // And forward again to the last picture, then the end as before.
  for (int i = 1; i < 25; ++i) {
    ASSERT_TRUE(probe.ReadNextFrame()) << i;
    ASSERT_EQ(probe.CurrentPTS(), 2000000 + i * 40000);
  }
  EXPECT_FALSE(probe.ReadNextFrame());
  EXPECT_EQ(probe.LastErrorMessage(), "stream eof reached.");

  // Before the key frame lies an earlier group: that step seeks.
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 2000000));
  ASSERT_TRUE(probe.ReadNextFrame());
  ASSERT_EQ(probe.CurrentPTS(), 2000000);
  ASSERT_TRUE(probe.ReadPreviousFrame()) << probe.LastErrorMessage();
  EXPECT_EQ(probe.CurrentPTS(), 1960000);
  ASSERT_TRUE(probe.ReadNextFrame());
  EXPECT_EQ(probe.CurrentPTS(), 2000000);
}

TEST(ProbeTest, SeeksAndReachesTheEnd) {
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(SharedMedia().mp4.string()));
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 1500000));
  EXPECT_FALSE(probe.PictureReady());
  ASSERT_TRUE(probe.ReadNextFrame());
  EXPECT_EQ(probe.CurrentPTS(), 1000000);  // the key frame before 1.5 s
  EXPECT_TRUE(probe.KeyFrame());

  // A negative time seeks to the start.
  ASSERT_TRUE(probe.SeekTo(0, -5));
  ASSERT_TRUE(probe.ReadNextFrame());
  EXPECT_EQ(probe.CurrentPTS(), 0);

  // Past the last picture: end of stream, until the next seek.
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 2900000));
  int pictures = 0;
  while (probe.ReadNextFrame()) ++pictures;
  EXPECT_EQ(pictures, 25);  // 2.00 .. 2.96 s, the held-back ones included
  EXPECT_TRUE(probe.EndOfStream());
  EXPECT_EQ(probe.LastErrorMessage(), "stream eof reached.");
  EXPECT_FALSE(probe.ReadNextFrame());
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 0));
  EXPECT_FALSE(probe.EndOfStream());
  EXPECT_TRUE(probe.ReadNextFrame());
}

TEST(ProbeTest, AudioOnlyFileHasNoPictures) {
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(SharedMedia().audioOnly.string()));
  EXPECT_EQ(probe.VideoStreamCount(), 0);
  EXPECT_EQ(probe.FirstVideoStream(), -1);
  EXPECT_EQ(probe.FirstAudioStream(), 0);
  EXPECT_EQ(probe.DefaultStream(), 0);
  EXPECT_FALSE(probe.ReadNextFrame());
  EXPECT_EQ(probe.LastErrorMessage(), "no video stream.");
  TVideoStreamInfo video;
  probe.GetVideoStreamInfo(video);
  EXPECT_EQ(probe.LastErrorMessage(), "no video stream.");
  EXPECT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 1000000)) << probe.LastErrorMessage();
}

TEST(ProbeTest, StillImageKeepsItsOnePictureAndRefusesSeeks) {
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(SharedMedia().still.string()));
  EXPECT_TRUE(probe.IsStillImage()) << probe.FormatName();
  EXPECT_FALSE(probe.SeekTo(0, 1000000));
  EXPECT_EQ(probe.LastErrorMessage(), "\"image2\" format cannot to be seeked.");
  ASSERT_TRUE(probe.ReadNextFrame()) << probe.LastErrorMessage();
  EXPECT_TRUE(probe.ReadNextFrame());
  EXPECT_TRUE(probe.ReadNextFrame());
  Bitmap picture;
  ASSERT_TRUE(probe.CopyPictureTo(picture));
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 240);
}

TEST(ProbeTest, TransportStreamListsItsProgramFirst) {
  const auto& m = SharedMedia();
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(m.mpegts.string()));
  EXPECT_EQ(probe.ProgramCount(), 1);
  auto lines = Lines(probe.GetFileInfoText());
  auto program = std::find(lines.begin(), lines.end(), "Program 1 KestrovaTV@Channel1");
  ASSERT_NE(program, lines.end());
  int streamLines = 0;
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->rfind("Stream #", 0) == 0) {
      ++streamLines;
      EXPECT_GT(it, program) << *it;
    }
  }
  EXPECT_EQ(streamLines, 2);
  EXPECT_TRUE(HasLine(lines, "StartTime: " + [&] {
    int64_t start = SecondsToMicroseconds(FfprobeValue("format=start_time", m.mpegts));
    char text[32];
    snprintf(text, sizeof text, "%lld.%06lld", (long long)(start / 1000000), (long long)(start % 1000000));
    return std::string(text);
  }()));
  auto video = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind("Stream #0", 0) == 0; });
  EXPECT_EQ(video->rfind("Stream #0[0x100], 1/90000: Video: h264", 0), 0u) << *video;

  // Pictures are counted from the stream's start, and the start is reachable
  // again after a seek even though this demuxer seeks by timestamp alone.
  ASSERT_TRUE(probe.ReadNextFrame());
  EXPECT_EQ(probe.CurrentPTS(), 0);
  ASSERT_TRUE(probe.ReadNextFrame());
  ASSERT_TRUE(probe.ReadPreviousFrame()) << probe.LastErrorMessage();
  EXPECT_EQ(probe.CurrentPTS(), 0);

  // A seek time counts from the stream's start, not from the file's zero:
  // this stream starts well after zero, so a seek that forgets it lands
  // before the start.
  // (This demuxer may land on the key frame after the time asked.)
  ASSERT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 1000000));
  ASSERT_TRUE(probe.ReadNextFrame()) << probe.LastErrorMessage();
  EXPECT_GE(probe.CurrentPTS(), 1000000);
  EXPECT_LE(probe.CurrentPTS(), 2000000);
}

TEST(ProbeTest, StreamSharedByTwoProgramsIsListedUnderEach) {
  kestrova::test::TempDir dir;
  auto file = dir / "two-programs.ts";
  kestrova::test::MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine -t 1 -c:v libx264 -c:a aac "
                            "-map 0:v -map 1:a -program program_num=1:title=A:st=0:st=1 "
                            "-program program_num=2:title=B:st=0",
                            file);
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(file.string()));
  ASSERT_EQ(probe.ProgramCount(), 2);
  std::vector<std::string> headings;
  for (auto& line : Lines(probe.GetFileInfoText())) {
    if (line.rfind("Program ", 0) == 0) headings.push_back(line.substr(0, line.find(' ', 8)));
    if (line.rfind("Stream #", 0) == 0) headings.push_back(line.substr(0, line.find('[')));
  }
  const std::vector<std::string> expected = {"Program 1", "Stream #0", "Stream #1", "Program 2", "Stream #0"};
  EXPECT_EQ(headings, expected);
}

TEST(ProbeTest, FileTagsAreFoundWhateverTheirCase) {
  // Matroska keeps its tag names in capitals ("COMMENT").
  kestrova::test::TempDir dir;
  auto file = dir / "tags.mkv";
  kestrova::test::MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -t 0.2 -c:v mpeg4 -metadata comment=fixture "
                            "-metadata copyright=Kestrova -metadata genre=News",
                            file);
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(file.string()));
  TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  EXPECT_EQ(info.Comment, "fixture");
  EXPECT_EQ(info.Copyright, "Kestrova");
  EXPECT_EQ(info.Genre, "News");
}

TEST(ProbeTest, ChineseAndColonNamesOpen) {
  const auto& m = SharedMedia();
  TAVProbe probe;
  ASSERT_TRUE(probe.OpenFile(m.chinese.string())) << probe.LastErrorMessage();
  EXPECT_EQ(probe.FileName(), m.chinese.string());
  EXPECT_EQ(media::ProbeInputAccess::Input(probe)->url, m.chinese.string());  // passed through unchanged

  // "影片:1.mp4" would be read as a protocol name: it goes through our own I/O.
  kestrova::test::TempDir dir;
  std::filesystem::copy_file(m.mp4, dir / "影片:1.mp4");
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  bool opened = probe.OpenFile("影片:1.mp4");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(opened) << probe.LastErrorMessage();
  EXPECT_EQ(std::string(media::ProbeInputAccess::Input(probe)->url), "unicode:utf8:影片:1.mp4");
  EXPECT_EQ(probe.FileName(), "影片:1.mp4");
  EXPECT_EQ(probe.FileSize(), int64_t(std::filesystem::file_size(m.mp4)));
  EXPECT_TRUE(probe.SeekTo(AVSEEK_FLAG_BACKWARD, 2000000));
  ASSERT_TRUE(probe.ReadNextFrame());
  EXPECT_EQ(probe.CurrentPTS(), 2000000);
  probe.CloseFile();
  EXPECT_FALSE(probe.OpenFile((dir / "缺少:1.mp4").string().substr(dir.path().string().size() + 1)));
  EXPECT_EQ(probe.LastErrorMessage(), "缺少:1.mp4: No such file or directory");
}

TEST(ProbeTest, UnusableFilesFailCleanly) {
  const auto& m = SharedMedia();
  const std::pair<std::filesystem::path, std::string> table[] = {
      {m.folder / "missing.mp4", "No such file or directory"},
      {m.empty, "Invalid data found when processing input"},
      {m.truncated, "Invalid data found when processing input"},
      {m.notMedia, "Invalid data found when processing input"},
  };
  TAVProbe probe;
  for (auto& [path, reason] : table) {
    EXPECT_FALSE(probe.OpenFile(path.string())) << path;
    EXPECT_EQ(probe.LastErrorMessage(), path.string() + ": " + reason);
    EXPECT_TRUE(WasLogged(&probe, llError, path.string() + ": " + reason));
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(media::ProbeInputAccess::Input(probe), nullptr);
  }
  EXPECT_EQ(probe.GetFileInfoText(), "");
  EXPECT_EQ(probe.LastErrorMessage(), "file not loaded.");
  EXPECT_FALSE(probe.SeekTo(0, 0));
  EXPECT_FALSE(probe.ReadNextFrame());
  EXPECT_EQ(probe.LastErrorMessage(), "file not loaded.");
  EXPECT_FALSE(probe.OpenFile(m.mp4.string(), "no-such-format"));
  EXPECT_EQ(probe.LastErrorMessage(), "Unknown input format: no-such-format");
  ASSERT_TRUE(probe.OpenFile(m.mpegts.string(), "mpegts"));
  EXPECT_EQ(probe.ForcedFormat(), "mpegts");
}

TEST(ProbeTest, AttachedInputIsReadButNeverSeeked) {
  TAVProbe owner;
  ASSERT_TRUE(owner.OpenFile(SharedMedia().mp4.string()));
  {
    TAVProbe attached;
    media::ProbeInputAccess::Attach(attached, media::ProbeInputAccess::Input(owner));
    EXPECT_FALSE(attached.OwnsInput());
    EXPECT_EQ(attached.StreamCount(), 2);
    EXPECT_NE(attached.GetFileInfoText(), "");
    EXPECT_THROW(attached.SeekTo(0, 0), std::runtime_error);
    EXPECT_EQ(attached.LastErrorMessage(), "file cannot be seeked, handle is readonly.");
    EXPECT_THROW(attached.ReadNextFrame(), std::runtime_error);
  }
  // The owner's input outlives the attached probe.
  EXPECT_TRUE(owner.ReadNextFrame());
  EXPECT_EQ(owner.CurrentPTS(), 0);
}

// Damaged copies of a real file: every call may fail, none may crash.
TEST(ProbeTest, CorruptInputNeverCrashes) {
  const auto& m = SharedMedia();
  std::string original = kestrova::test::ReadFile(m.mpegts);
  std::string mp4 = kestrova::test::ReadFile(m.mp4);
  kestrova::test::TempDir dir;
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int variant = 0; variant < 16; ++variant) {
    std::string data = variant % 2 ? original : mp4;
    for (int flip = 0; flip < 40; ++flip) data[next() % data.size()] = char(next());
    if (variant % 4 == 3) data.resize(next() % data.size());
    auto path = dir / ("damaged" + std::to_string(variant) + (variant % 2 ? ".ts" : ".mp4"));
    kestrova::test::WriteFile(path, data);
    TAVProbe probe;
    if (!probe.OpenFile(path.string())) continue;
    probe.GetFileInfoText();
    Bitmap bitmap;
    for (int i = 0; i < 30 && probe.ReadNextFrame(); ++i) probe.CopyPictureTo(bitmap);
    probe.ReadPreviousFrame();
    probe.SeekTo(AVSEEK_FLAG_BACKWARD, 1500000);
    probe.ReadNextFrame();
    probe.ReadPreviousFrame();
  }
}

// A host may unload the libraries before its last probe goes (at exit): the
// probe then holds a decoder, pictures and an input whose free functions are
// gone, and must leave them alone rather than call an empty slot. In a child
// process, which ends without the leak check: the objects are abandoned.
TEST(ProbeTest, ProbeDestroyedAfterTheLibrariesWereUnloadedFreesNothing) {
  EXPECT_EXIT(
      {
        auto probe = std::make_unique<TAVProbe>();
        if (!probe->OpenFile(SharedMedia().mp4.string())) std::_Exit(2);
        for (int i = 0; i < 8; ++i) probe->ReadNextFrame();
        if (!probe->ReadPreviousFrame()) std::_Exit(3);
        FFmpegLoader().Unload(EngineLibraries);
        probe.reset();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
