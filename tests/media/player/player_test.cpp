// The player on a host surface: opening, the end of a file, sound-only files,
// stopping while events are on their way, capture, volume and aspect.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "media/bitmap.h"
#include "media_fixture.h"
#include "player_fixture.h"

using namespace media;
using kestrova::test::PlayerRig;
using kestrova::test::SharedMedia;
using kestrova::test::SharedPlayerMedia;

namespace {

bool IsBlack(uint32_t pixel) { return (pixel & 0xffffff) < 0x202020; }
bool IsBright(uint32_t pixel) {
  return ((pixel >> 16) & 255) > 200 && ((pixel >> 8) & 255) > 200 && (pixel & 255) > 200;
}

// First in the program, before any rig loads the libraries.
TEST(PlayerTest, OpenBeforeTheLibrariesAreLoadedFails) {
  HandOver handOver;
  TFFPlayer player(&handOver);
  if (player.LibrariesLoaded()) GTEST_SKIP() << "another test loaded the libraries first";
  EXPECT_FALSE(player.Open(SharedPlayerMedia().red.string(), nullptr, false));
  EXPECT_EQ(player.LastErrorMessage(), "libav or libsdl not loaded.");
  EXPECT_EQ(player.State(), psStop);
}

TEST(PlayerTest, NothingOpenGivesAnEmptyPictureAndStopIsHarmless) {
  PlayerRig rig;
  int64_t pts = 0;
  const Bitmap& picture = rig.player->GetCurrentBitmap(pts);
  EXPECT_EQ(picture.width, 0);
  EXPECT_EQ(picture.height, 0);
  EXPECT_EQ(pts, -1);
  rig.player->Stop(true);
  rig.player->Seek(0, 1000000);
  EXPECT_TRUE(rig.states.empty());
}

TEST(PlayerTest, AMissingFileFailsWithTheLibraryText) {
  PlayerRig rig;
  std::string missing = (SharedPlayerMedia().folder / "a.avi").string();
  EXPECT_FALSE(rig.player->Open(missing, rig.surface.get(), false));
  EXPECT_EQ(rig.player->LastErrorMessage(), missing + ": No such file or directory");
  rig.handOver.Pump();
  EXPECT_TRUE(rig.states.empty());
  // Not a medium at all: the library's text too, and the player stays usable.
  EXPECT_FALSE(rig.player->Open(SharedMedia().notMedia.string(), rig.surface.get(), false));
  EXPECT_NE(rig.player->LastErrorMessage().find(SharedMedia().notMedia.string() + ": "), std::string::npos);
  EXPECT_TRUE(rig.player->Open(SharedPlayerMedia().red.string(), rig.surface.get(), false));
}

// The fixture's clip has B-frames: the pictures the decoder holds at the end
// must still be shown, the last position is the duration and psEnd comes once.
TEST(PlayerTest, PlaysAFileWithBFramesToItsEnd) {
  PlayerRig rig;
  ASSERT_TRUE(rig.player->Open(SharedMedia().mp4.string(), rig.surface.get(), false));
  EXPECT_GT(rig.duration, 2900000);
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) > 0; }));
  rig.PumpUntil([] { return false; }, std::chrono::milliseconds(300));  // nothing more should come
  EXPECT_EQ(rig.Count(psEnd), 1);
  ASSERT_FALSE(rig.states.empty());
  EXPECT_EQ(rig.states.front(), psPlay);
  EXPECT_EQ(rig.LastPosition(), rig.duration);
  // The position follows the picture on screen: a picture shown a little late
  // may put it back by less than a picture's time, never more.
  for (size_t i = 1; i < rig.positions.size(); ++i) EXPECT_GT(rig.positions[i], rig.positions[i - 1] - 40000) << i;
  TPlayerCounters counters = rig.player->Counters();
  EXPECT_EQ(counters.shown + counters.dropped, 75);
  int64_t pts = -1;
  const Bitmap& last = rig.player->GetCurrentBitmap(pts);
  EXPECT_EQ(last.width, 320);
  EXPECT_EQ(pts, 2960000);  // the last picture stays
  EXPECT_EQ(rig.surface->Snapshot().ptsUs, 2960000);
  rig.player->Stop(true);
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psStop) == 1; }));
  EXPECT_EQ(rig.states.back(), psStop);
}

TEST(PlayerTest, ASoundOnlyFileRunsOnTheAudioClockAndShowsItsWaveform) {
  PlayerRig rig;
  ASSERT_TRUE(rig.player->Open(SharedMedia().audioOnly.string(), rig.surface.get(), false));
  int64_t pts = 0;
  EXPECT_EQ(rig.player->GetCurrentBitmap(pts).width, 0);
  EXPECT_EQ(pts, -1);
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) > 0; }));
  EXPECT_EQ(rig.LastPosition(), rig.duration);
  EXPECT_GT(rig.positions.size(), 20u);
  player::SurfacePicture wave = rig.surface->Snapshot();
  int white = 0;
  for (int y = 0; y < wave.height; ++y) {
    for (int x = 0; x < wave.width; ++x) white += IsBright(wave.Pixel(x, y)) ? 1 : 0;
  }
  EXPECT_GT(white, wave.width);  // a 440 Hz tone across the whole width
  EXPECT_TRUE(IsBlack(wave.Pixel(0, 0)));
}

TEST(PlayerTest, TwoOpensInARowStopTheFirstBeforeTheSecondPlays) {
  PlayerRig rig;
  ASSERT_TRUE(rig.player->Open(SharedMedia().mp4.string(), rig.surface.get(), false));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psPlay) == 1; }));
  ASSERT_TRUE(rig.player->Open(SharedPlayerMedia().red.string(), rig.surface.get(), false));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psPlay) == 2; }));
  std::vector<TPlayState> expected = {psPlay, psStop, psPlay};
  EXPECT_EQ(rig.states, expected);
}

// The host is slow with positions and the video thread waits for the host in
// its hook: a Stop with waiting from the host's thread must still return.
TEST(PlayerTest, StopWithWaitingWhileEventsAreOnTheirWayDoesNotHang) {
  PlayerRig rig;
  std::atomic<int> hooked{0};
  rig.player->SetOnPosition([&](int64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
  rig.player->SetHook(true);
  rig.player->SetOnHook([&](Bitmap& bitmap, int64_t) {
    rig.handOver.Call([] {});
    for (int y = 0; y < 8; ++y) std::fill_n(bitmap.Row(y), 8 * 3, uint8_t(255));
    ++hooked;
  });
  ASSERT_TRUE(rig.player->Open(SharedMedia().mp4.string(), rig.surface.get(), false));
  ASSERT_TRUE(rig.PumpUntil([&] { return hooked >= 10; }));
  auto started = std::chrono::steady_clock::now();
  rig.player->Stop(true);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  // What the hook drew is what was shown.
  EXPECT_TRUE(IsBright(rig.surface->Snapshot().Pixel(1, 1)));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psStop) == 1; }));
}

TEST(PlayerTest, OpenedPausedShowsAndCapturesTheFirstPicture) {
  PlayerRig rig;
  ASSERT_TRUE(rig.player->Open(SharedPlayerMedia().red.string(), rig.surface.get(), true));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psPause) == 1 && rig.player->Counters().shown >= 1; }))
      << "pauses " << rig.Count(psPause) << ", shown " << rig.player->Counters().shown;
  int64_t pts = -1;
  const Bitmap& picture = rig.player->GetCurrentBitmap(pts);
  ASSERT_EQ(picture.width, 320);
  ASSERT_EQ(picture.height, 240);
  EXPECT_EQ(pts, 0);
  const uint8_t* middle = picture.Row(120) + 160 * 3;  // BGR
  EXPECT_LT(middle[0], 40);
  EXPECT_LT(middle[1], 40);
  EXPECT_GT(middle[2], 200);
  // Paused, the position and the picture stay.
  const auto shownWhenPaused = rig.player->Counters().shown;
  rig.PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(rig.player->Counters().shown, shownWhenPaused);
}

TEST(PlayerTest, ASeekWhilePausedShowsThePictureOfTheNewPosition) {
  PlayerRig rig;
  ASSERT_TRUE(rig.player->Open(SharedMedia().mp4.string(), rig.surface.get(), true));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psPause) == 1 && rig.player->Counters().shown >= 1; }))
      << "pauses " << rig.Count(psPause) << ", shown " << rig.player->Counters().shown;
  rig.player->Seek(sfBackward, 2000000);
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.surface->Snapshot().ptsUs >= 2000000; }));
  EXPECT_LT(rig.surface->Snapshot().ptsUs, 2100000);
}

// White pictures on surfaces of other shapes: where the bars are. A 16:9
// picture, and a 240x240 one whose pixels are 4:3 wide (shown as 4:3).
TEST(PlayerTest, AspectRatioLetterboxesOnTheHostSurface) {
  struct Case {
    const std::filesystem::path& file;
    float aspect;
    int surfaceWidth, surfaceHeight;
    int pictureLeft, pictureTop;  // the first white column and row
  };
  const auto& wide = SharedPlayerMedia().wide;
  const auto& widePixels = SharedPlayerMedia().squarePixelsWide;
  for (const Case& c : {Case{wide, 0, 320, 240, 0, 30}, Case{wide, -1, 320, 240, 0, 0},
                        Case{wide, 4.0f / 3.0f, 320, 180, 40, 0}, Case{widePixels, 0, 320, 320, 0, 40},
                        Case{widePixels, 0, 400, 240, 40, 0}}) {
    SCOPED_TRACE(testing::Message() << c.file.filename() << " aspect " << c.aspect << " on " << c.surfaceWidth << "x"
                                    << c.surfaceHeight);
    PlayerRig rig(c.surfaceWidth, c.surfaceHeight);
    rig.player->SetAspectRatio(c.aspect);
    ASSERT_TRUE(rig.player->Open(c.file.string(), rig.surface.get(), true));
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.player->Counters().shown == 1; }));
    player::SurfacePicture shown = rig.surface->Snapshot();
    const int middleX = c.surfaceWidth / 2, middleY = c.surfaceHeight / 2;
    EXPECT_TRUE(IsBright(shown.Pixel(middleX, c.pictureTop + 1)));
    EXPECT_TRUE(IsBright(shown.Pixel(c.pictureLeft + 1, middleY)));
    if (c.pictureTop > 0) {
      EXPECT_TRUE(IsBlack(shown.Pixel(middleX, c.pictureTop - 2)));
    }
    if (c.pictureLeft > 0) {
      EXPECT_TRUE(IsBlack(shown.Pixel(c.pictureLeft - 2, middleY)));
    }
  }
}

}  // namespace
