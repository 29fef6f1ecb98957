// md's copy of the input's edit lists when the new index has no room to grow
// in (the second way, index moved to the front afterwards): the media behind
// it move and their chunk offsets with them.
#include <gtest/gtest.h>

#include <algorithm>

#include "interleaved_remux.h"
#include "media_fixture.h"
#include "mp4_boxes.h"
#include "process.h"

using namespace kestrova::test;
namespace fs = std::filesystem;

namespace {

std::string FrameMd5(const fs::path& file) {
  auto r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -c copy -f framemd5 - 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output.substr(r.output.find("\n0,"));  // the packets, after the header comments
}

TEST(MdTiming, EditListsAreKeptWhenTheIndexHasNoRoomToGrow) {
  TempDir dir;
  const fs::path input = dir / "late.mp4", output = dir / "out.mp4";
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -itsoffset 0.045 "
            "-f lavfi -i sine=sample_rate=22050:duration=3 -c:v libx264 -preset ultrafast -bf 2 "
            "-pix_fmt yuv420p -c:a aac -ar 22050",
            input);
  // The muxer leaves 8 bytes of free space at most: the edit lists of two
  // tracks need more.
  md::RemuxSettings settings;
  settings.reserveIndexRoom = false;
  md::RemuxInterleaved(input.string(), output.string(), settings);
  EXPECT_EQ(FrameMd5(output), FrameMd5(input));
  EXPECT_EQ(FfprobeValue("stream=start_time,duration", output), FfprobeValue("stream=start_time,duration", input));
  std::vector<std::string> types;
  for (const md::Mp4Box& box : md::ReadTopLevelBoxes(output.string())) types.push_back(box.type);
  EXPECT_LT(std::find(types.begin(), types.end(), "moov"), std::find(types.begin(), types.end(), "mdat"));
}

}  // namespace
