#include "media_fixture.h"

#include <memory>
#include <mutex>
#include <stdexcept>

#include "process.h"

namespace kestrova::test {

void MakeMedia(const std::string& ffmpegArgs, const std::filesystem::path& output) {
  auto result = RunCommand("ffmpeg -nostdin -y -v error " + ffmpegArgs + " " + ShellQuote(output.string()));
  if (result.exitCode != 0) throw std::runtime_error("ffmpeg failed for " + output.string() + ": " + result.output);
}

std::string Ffprobe(const std::string& ffprobeArgs, const std::filesystem::path& file) {
  auto result = RunCommand("ffprobe -v error " + ffprobeArgs + " " + ShellQuote(file.string()) + " 2>&1");
  if (result.exitCode != 0) throw std::runtime_error("ffprobe failed for " + file.string() + ": " + result.output);
  return result.output;
}

std::string FfprobeValue(const std::string& entries, const std::filesystem::path& file,
                         const std::string& streamSelect) {
  std::string select = streamSelect.empty() ? "" : "-select_streams " + streamSelect + " ";
  std::string out = Ffprobe(select + "-show_entries " + entries + " -of default=noprint_wrappers=1:nokey=1", file);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

void MakeHalfMissingMp4(const std::filesystem::path& output) {
  const std::filesystem::path whole = output.string() + ".whole.mp4";
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i sine=sample_rate=44100:duration=10 "
            "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -movflags +faststart",
            whole);
  const std::string bytes = ReadFile(whole);
  std::filesystem::remove(whole);
  WriteFile(output, bytes.substr(0, bytes.size() * 55 / 100));
}

void Scramble(std::string& data, size_t from, size_t length, uint64_t seed) {
  for (size_t i = from; i < data.size() && i < from + length; i += 7) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    data[i] = static_cast<char>(seed >> 56);
  }
}

void MakeAviWithBadIndex(const std::filesystem::path& output) {
  const std::filesystem::path whole = output.string() + ".whole.avi";
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine=sample_rate=22050 -t 3 -c:v mpeg4 "
            "-c:a pcm_s16le",
            whole);
  std::string bytes = ReadFile(whole);
  std::filesystem::remove(whole);
  const size_t index = bytes.find("idx1");
  if (index == std::string::npos) throw std::runtime_error("the AVI made has no idx1 index");
  Scramble(bytes, index + 8, bytes.size() - index - 8, 7);
  WriteFile(output, bytes);
}

namespace {

struct OwnedMediaSet {
  TempDir dir;
  MediaSet set;
};

std::unique_ptr<OwnedMediaSet> MakeSet() {
  auto owned = std::make_unique<OwnedMediaSet>();
  MediaSet& m = owned->set;
  m.folder = owned->dir.path();
  m.mp4 = m.folder / "clip.mp4";
  m.audioOnly = m.folder / "tone.m4a";
  m.still = m.folder / "still.png";
  m.mpegts = m.folder / "program.ts";
  m.chinese = m.folder / "中文视频.mp4";
  m.truncated = m.folder / "truncated.mp4";
  m.notMedia = m.folder / "notes.txt";
  m.empty = m.folder / "empty.mp4";

  const std::string video = "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 ";
  const std::string audio = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 ";
  MakeMedia(video + audio +
                "-c:v libx264 -preset veryfast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p "
                "-c:a aac -b:a 64k -metadata title=Kestrova -metadata comment=fixture -shortest",
            m.mp4);
  MakeMedia(audio + "-c:a aac -b:a 64k", m.audioOnly);
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -frames:v 1", m.still);
  MakeMedia(video + audio +
                "-c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p -c:a mp2 "
                "-metadata service_provider=KestrovaTV -metadata service_name=Channel1 -shortest",
            m.mpegts);
  std::filesystem::copy_file(m.mp4, m.chinese);
  std::string whole = ReadFile(m.mp4);
  WriteFile(m.truncated, whole.substr(0, whole.size() / 3));
  WriteFile(m.notMedia, "These are plain notes, not a video.\n");
  WriteFile(m.empty, "");
  return owned;
}

}  // namespace

const MediaSet& SharedMedia() {
  static std::once_flag once;
  static std::unique_ptr<OwnedMediaSet> owned;
  std::call_once(once, [] { owned = MakeSet(); });
  return owned->set;
}

}  // namespace kestrova::test
