// A phone clip stored as 640x360 landscape pictures with a display matrix is
// shown upright, as the ffmpeg tool turns it: the size the host hears of, the
// picture captured and the picture on the host surface. The stored picture
// is white in its top-left quarter only, so the quarter it lands in tells the
// turn.
#include <gtest/gtest.h>

#include <sstream>

#include "media/bitmap.h"
#include "media_fixture.h"
#include "player_fixture.h"
#include "process.h"

using namespace media;
using kestrova::test::MakeMedia;
using kestrova::test::PlayerRig;
using kestrova::test::RunCommand;
using kestrova::test::ShellQuote;
using kestrova::test::TempDir;

namespace {

// Which quarter of the upright picture is white, 0 top-left, 1 top-right,
// 2 bottom-left, 3 bottom-right, as the ffmpeg tool turns the clip.
int WhiteQuarterByFfmpeg(const std::filesystem::path& clip) {
  auto result = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(clip.string()) +
                           " -frames:v 1 -vf scale=2:2 -f rawvideo -pix_fmt gray - | od -An -tu1");
  std::istringstream values(result.output);
  int brightest = -1, best = -1;
  for (int quarter = 0, value = 0; quarter < 4 && values >> value; ++quarter) {
    if (value > brightest) {
      brightest = value;
      best = quarter;
    }
  }
  return best;
}

bool Bright(const Bitmap& bitmap, int x, int y) { return bitmap.Row(y)[x * 3 + 1] > 200; }

TEST(PlayerRotationTest, APhoneClipIsShownUpright) {
  TempDir folder;
  const auto stored = folder.path() / "stored.mp4";
  MakeMedia("-f lavfi -i color=c=black:size=640x360:rate=25:duration=1,drawbox=x=0:y=0:w=320:h=180:c=white:t=fill "
            "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
            stored);
  for (int rotate : {90, 180, 270}) {
    SCOPED_TRACE(rotate);
    const auto clip = folder.path() / ("rotate" + std::to_string(rotate) + ".mp4");
    MakeMedia("-i " + ShellQuote(stored.string()) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(rotate), clip);
    const int expected = WhiteQuarterByFfmpeg(clip);
    ASSERT_GE(expected, 0);
    const bool sideways = rotate != 180;
    const int width = sideways ? 360 : 640, height = sideways ? 640 : 360;

    PlayerRig rig(640, 640);
    int openWidth = 0, openHeight = 0;
    rig.player->SetOnFileOpen([&](int64_t, int w, int h, int&, int&) {
      openWidth = w;
      openHeight = h;
    });
    ASSERT_TRUE(rig.player->Open(clip.string(), rig.surface.get(), true));
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.player->Counters().shown >= 1; }));
    EXPECT_EQ(openWidth, width);
    EXPECT_EQ(openHeight, height);
    const Bitmap& captured = rig.player->GetCurrentBitmap();
    ASSERT_EQ(captured.width, width);
    ASSERT_EQ(captured.height, height);
    for (int quarter = 0; quarter < 4; ++quarter) {
      const int x = (quarter % 2) * width / 2 + width / 4, y = (quarter / 2) * height / 2 + height / 4;
      EXPECT_EQ(Bright(captured, x, y), quarter == expected) << "quarter " << quarter;
    }
    // On the square surface the upright picture is letterboxed: bars at the
    // sides for a portrait picture, above and below for a landscape one.
    player::SurfacePicture shown = rig.surface->Snapshot();
    const int left = (640 - width) / 2, top = (640 - height) / 2;
    if (sideways) {
      EXPECT_EQ(shown.Pixel(left / 2, 320) & 0xffffff, 0u);
    } else {
      EXPECT_EQ(shown.Pixel(320, top / 2) & 0xffffff, 0u);
    }
    const int x = left + (expected % 2) * width / 2 + width / 4, y = top + (expected / 2) * height / 2 + height / 4;
    EXPECT_GT((shown.Pixel(x, y) >> 8) & 255, 200u);
  }
}

}  // namespace
