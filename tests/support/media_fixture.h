// Media files made at test time with the ffmpeg command-line tool: small
// (320x240, a few seconds) and made once per test program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrova::test {

// Runs "ffmpeg -y -v error ARGS OUTPUT"; throws std::runtime_error with the
// tool's output when it fails.
void MakeMedia(const std::string& ffmpegArgs, const std::filesystem::path& output);

// What ffprobe says: runs "ffprobe -v error ARGS FILE" and returns its output.
std::string Ffprobe(const std::string& ffprobeArgs, const std::filesystem::path& file);

// One value of "-show_entries" in plain "key=value" form ("format=duration").
std::string FfprobeValue(const std::string& entries, const std::filesystem::path& file,
                         const std::string& streamSelect = "");

// The first 55% of a 10 s 320x240 MP4 (H.264 and AAC) whose index comes
// first: it opens and reads as 10 s long, but converts to about 5 s, as a
// half-copied file does.
void MakeHalfMissingMp4(const std::filesystem::path& output);

// Overwrites every 7th byte of `length` bytes from `from` with bytes of a
// fixed pseudo-random sequence, so that every run damages a file the same way.
void Scramble(std::string& data, size_t from, size_t length, uint64_t seed);

// A 3 s AVI (320x240 MPEG-4 at 15 fps, PCM sound) whose index at the end
// (idx1) is overwritten with scrambled bytes: the file ends, to a player,
// almost as soon as it opens.
void MakeAviWithBadIndex(const std::filesystem::path& output);

// The usual set, made on first use in a folder that lives as long as the program.
struct MediaSet {
  std::filesystem::path folder;
  std::filesystem::path mp4;         // H.264 (B-frames) + AAC, 3 s, 25 fps, key frame every 25 pictures
  std::filesystem::path audioOnly;   // AAC in .m4a, 3 s
  std::filesystem::path still;       // one PNG picture, 320x240
  std::filesystem::path mpegts;      // MPEG-TS, H.264 + MP2, one program with a provider and a name
  std::filesystem::path chinese;     // a copy of mp4 under a Chinese name
  std::filesystem::path truncated;   // the first third of mp4
  std::filesystem::path notMedia;    // a text file
  std::filesystem::path empty;       // 0 bytes
};
const MediaSet& SharedMedia();

}  // namespace kestrova::test
