// md as the desktop tool starts it: the index moves before the media, audio
// and video come in short alternating portions, every packet stays as it was,
// and a file md cannot rewrite is left exactly as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;
namespace fs = std::filesystem;

namespace {

// The command line the desktop tool hands over, blanks and quotes included.
CommandResult RunMd(const std::string& parameters) {
  return RunCommand(ShellQuote((BinDir() / "md").string()) + parameters + " 2>&1");
}
CommandResult RunMdOn(const fs::path& file, int interleaveMs = 500) {
  return RunMd("  -inter " + std::to_string(interleaveMs) + "  \"" + file.string() + "\"");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// One line per packet in ffprobe's csv form. A packet with side data (the
// audio priming's skip samples) spills onto lines of its own; they are joined
// back to it.
std::vector<std::string> PacketLines(const std::string& entries, const fs::path& file) {
  std::vector<std::string> packets;
  for (const std::string& line : Lines(Ffprobe(entries + " -of csv=p=0", file))) {
    if (!packets.empty() && !std::isdigit(static_cast<unsigned char>(line[0])))
      packets.back() += line;
    else
      packets.push_back(line);
  }
  return packets;
}

// Every packet (stream, times, size, flags, side data and an MD5 of its
// data), stream by stream in each stream's own order.
std::vector<std::string> PacketsByStream(const fs::path& file, bool withDurations = true) {
  auto lines = PacketLines(std::string("-show_data_hash MD5 -show_entries packet=stream_index,pts_time,dts_time,") +
                               (withDurations ? "duration_time," : "") + "size,flags,data_hash",
                           file);
  std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    return std::stoi(a) < std::stoi(b);
  });
  return lines;
}

// The top-level boxes in file order, as ffprobe's trace names them.
std::vector<std::string> TopLevelBoxes(const fs::path& file) {
  std::vector<std::string> boxes;
  auto r = RunCommand("ffprobe -v trace " + ShellQuote(file.string()) + " 2>&1");
  for (const std::string& line : Lines(r.output)) {
    auto at = line.find("type:'");
    if (at != std::string::npos && line.find("parent:'root'") != std::string::npos)
      boxes.push_back(line.substr(at + 6, 4));
  }
  return boxes;
}

struct StreamRun {
  int stream;
  double seconds;  // the run's media, summed over its packets
};

// Consecutive packets of one stream in file order form a run.
std::vector<StreamRun> RunsInFileOrder(const fs::path& file) {
  struct Packet {
    int stream;
    long long pos;
    double duration;
  };
  std::vector<Packet> packets;
  for (const std::string& line : PacketLines("-show_entries packet=stream_index,pos,duration_time", file)) {
    Packet p{};
    if (std::sscanf(line.c_str(), "%d,%lf,%lld", &p.stream, &p.duration, &p.pos) == 3)
      packets.push_back(p);
    else
      ADD_FAILURE() << "unexpected ffprobe line " << line;
  }
  std::sort(packets.begin(), packets.end(), [](const Packet& a, const Packet& b) { return a.pos < b.pos; });
  std::vector<StreamRun> runs;
  for (const Packet& p : packets) {
    if (runs.empty() || runs.back().stream != p.stream) runs.push_back({p.stream, 0});
    runs.back().seconds += p.duration;
  }
  return runs;
}

std::vector<fs::path> FolderContents(const fs::path& folder) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Md, MovesTheIndexFirstAndInterleavesInShortPortionsKeepingEveryPacket) {
  for (int interleaveMs : {500, 200}) {
    SCOPED_TRACE(interleaveMs);
    TempDir dir;
    const fs::path file = dir / "Ab12cd34Ef56gh78.html";  // published name, MP4 inside
    fs::copy_file(SharedMedia().mp4, file);
    chmod(file.c_str(), 0640);
    const auto before = PacketsByStream(file);
    auto boxes = TopLevelBoxes(file);
    ASSERT_LT(std::find(boxes.begin(), boxes.end(), "mdat"), std::find(boxes.begin(), boxes.end(), "moov"))
        << "the fixture should start with its index at the end";

    auto r = RunMdOn(file, interleaveMs);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    boxes = TopLevelBoxes(file);
    auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov, mdat);
    EXPECT_EQ(PacketsByStream(file), before);

    std::map<int, int> runsPerStream;
    for (const StreamRun& run : RunsInFileOrder(file)) {
      EXPECT_LE(run.seconds, interleaveMs / 1000.0 + 1e-6) << "stream " << run.stream;
      ++runsPerStream[run.stream];
    }
    // 3 seconds of audio and video: both are cut into portions of nearly the
    // full length (the input alternates packet by packet, some 70 runs each).
    ASSERT_EQ(runsPerStream.size(), 2u);
    for (auto [stream, runs] : runsPerStream) {
      EXPECT_GE(runs, 3000 / interleaveMs) << "stream " << stream;
      EXPECT_LE(runs, 2 * 3000 / interleaveMs + 2) << "stream " << stream;
    }

    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FolderContents(dir.path()), std::vector<fs::path>{file.filename()}) << "nothing left beside it";
  }
}

// What the ffmpeg tool reads from a file, packet by packet: times,
// durations, sizes and checksums after the edit lists are applied.
std::string FrameMd5(const fs::path& file) {
  auto r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -c copy -f framemd5 - 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string lines;
  for (const std::string& line : Lines(r.output))
    if (line[0] != '#') lines += line + "\n";
  return lines;
}

// Audio that starts late sits behind an edit list that the format library
// reads as shifted times and would write back rounded to whole milliseconds
// (45 ms as 44), with the last sample's duration cut to the edit: md keeps
// every edit list and sample duration as they were.
TEST(Md, KeepsTheEditListsOfLateAudio) {
  TempDir dir;
  // A WMV's audio starts 45 ms in: converted with its times kept, as the
  // conversion dialog does.
  const fs::path wmv = dir / "source.wmv";
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=sample_rate=44100:duration=3 "
            "-c:v wmv2 -c:a wmav2",
            wmv);
  const struct {
    std::string name, source;
  } cases[] = {
      {"itsoffset.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -itsoffset 0.3 "
                        "-f lavfi -i sine=sample_rate=44100:duration=3"},
      {"from-wmv.mp4", "-i " + ShellQuote(wmv.string()) + " -copyts -ar 22050"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / c.name;
    MakeMedia(c.source + " -c:v libx264 -preset ultrafast -bf 2 -pix_fmt yuv420p -c:a aac", file);
    const std::string before = FrameMd5(file);
    const std::string durations = "stream=start_time,duration";
    const std::string lengths = FfprobeValue(durations, file);
    auto r = RunMdOn(file);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(FrameMd5(file), before);
    EXPECT_EQ(FfprobeValue(durations, file), lengths);
    auto boxes = TopLevelBoxes(file);
    EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"), std::find(boxes.begin(), boxes.end(), "mdat"));
  }
}

TEST(Md, AudioOnlyAndFragmentedFilesAreRewrittenToo) {
  TempDir dir;
  // A fragmented file's own index is tiny, so the room md reserves for the
  // new one falls short and it takes the second way (index moved afterwards).
  const fs::path fragmented = dir / "fragmented.mp4";
  MakeMedia("-i " + ShellQuote(SharedMedia().mp4.string()) + " -c copy -movflags +frag_keyframe+empty_moov",
            fragmented);
  const fs::path audioOnly = dir / "tone.m4a";
  fs::copy_file(SharedMedia().audioOnly, audioOnly);
  for (const fs::path& file : {audioOnly, fragmented}) {
    SCOPED_TRACE(file.filename());
    // The fragmented file leaves its first audio packet's duration open; the
    // MP4 index has a duration for every sample, so it gets one (as with
    // ffmpeg's copy).
    const bool withDurations = file != fragmented;
    const auto before = PacketsByStream(file, withDurations);
    auto r = RunMdOn(file);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(PacketsByStream(file, withDurations), before);
    auto boxes = TopLevelBoxes(file);
    EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"), std::find(boxes.begin(), boxes.end(), "mdat"));
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moof"), 0) << "one index for the whole file";
  }
}

TEST(Md, ThroughASymbolicLinkTheFileItNamesIsRewritten) {
  TempDir dir;
  fs::create_directories(dir / "store");
  const fs::path real = dir / "store" / "clip.mp4";
  fs::copy_file(SharedMedia().mp4, real);
  const fs::path link = dir / "clip.html";
  fs::create_symlink(real, link);
  auto r = RunMdOn(link);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(link));
  auto boxes = TopLevelBoxes(real);
  EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"), std::find(boxes.begin(), boxes.end(), "mdat"));
  EXPECT_EQ(FolderContents(dir / "store"), std::vector<fs::path>{"clip.mp4"});
}

TEST(Md, FileItCannotRewriteIsLeftByteForByte) {
  TempDir dir;
  // Index first, data cut short: it opens, but samples are missing.
  const fs::path indexFirst = dir / "index-first.mp4";
  MakeMedia("-i " + ShellQuote(SharedMedia().mp4.string()) + " -c copy -movflags +faststart", indexFirst);
  const std::string whole = ReadFile(indexFirst);
  const std::string cutShort = whole.substr(0, whole.size() * 2 / 3);
  const fs::path matroska = dir / "clip.mkv";
  MakeMedia("-i " + ShellQuote(SharedMedia().mp4.string()) + " -c copy", matroska);

  const struct {
    std::string name;
    std::string content;
    std::string message;
  } cases[] = {
      {"cut-short.html", cutShort, "is damaged"},
      {"index-lost.html", ReadFile(SharedMedia().truncated), "moov atom not found"},
      {"notes.html", ReadFile(SharedMedia().notMedia), "Invalid data found"},
      {"empty.html", "", "Invalid data found"},
      {"matroska.html", ReadFile(matroska), "is not an MP4 file"},
  };
  TempDir work;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = work / c.name;
    WriteFile(file, c.content);
    auto r = RunMdOn(file);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(file.string() + " is unchanged"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(file), c.content);
  }
  EXPECT_EQ(FolderContents(work.path()).size(), std::size(cases)) << "no temporary file left behind";

  auto r = RunMdOn(work / "missing.html");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("No such file or directory"), std::string::npos) << r.output;
}

TEST(Md, StoppedAtAnyMomentLeavesTheOldFileOrTheNewOneAndNothingElse) {
  const std::string original = ReadFile(SharedMedia().mp4);
  const auto packets = PacketsByStream(SharedMedia().mp4);
  // From before md has opened the file to the flush before its rename.
  for (int delayMs : {0, 20, 60, 120, 250}) {
    SCOPED_TRACE(delayMs);
    TempDir dir;
    const fs::path file = dir / "clip.html";
    WriteFile(file, original);
    ChildProcess md({(BinDir() / "md").string(), "-inter", "500", file.string()});
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    md.stop(SIGTERM);
    EXPECT_EQ(FolderContents(dir.path()), std::vector<fs::path>{file.filename()});
    if (ReadFile(file) != original) {
      EXPECT_EQ(PacketsByStream(file), packets) << "a replaced file is the whole new one";
      auto boxes = TopLevelBoxes(file);
      EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"), std::find(boxes.begin(), boxes.end(), "mdat"));
    }
  }
}

TEST(Md, BadCommandLinesAreRefused) {
  for (const std::string& parameters : {std::string(""), std::string(" -inter"), std::string(" -inter 0 a.mp4"),
                                        std::string(" -inter half a.mp4"), std::string(" a.mp4 b.mp4")}) {
    auto r = RunMd(parameters);
    EXPECT_EQ(r.exitCode, 2) << parameters;
    EXPECT_NE(r.output.find("usage: md"), std::string::npos) << r.output;
  }
}

}  // namespace
