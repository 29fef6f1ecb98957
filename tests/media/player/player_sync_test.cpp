// Picture and sound together: a clip with a white flash and a beep at the
// start of every second, played for its 10 s. The moment each flash is shown
// on the host surface is set against the moment its beep went to the audio
// output; none may be more than 40 ms apart, and no picture may be dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "player_fixture.h"

using namespace media;
using kestrova::test::PlayerRig;
using kestrova::test::SharedPlayerMedia;

namespace {

TEST(PlayerSyncTest, FlashAndBeepStayTogether) {
  PlayerRig rig(640, 480);
  std::mutex mutex;
  std::vector<int64_t> beeps;  // steady-clock µs of each beep's first loud sample
  int64_t lastLoud = -10'000'000;
  rig.player->SetOnAudioOutput([&](const int16_t* samples, int frames, int channels, int rate, int64_t handedAt) {
    for (int i = 0; i < frames; ++i) {
      if (std::abs(int(samples[i * channels])) < 8000) continue;
      int64_t at = handedAt + int64_t(i) * 1000000 / rate;
      std::lock_guard lock(mutex);
      if (at - lastLoud > 500000) beeps.push_back(at);
      lastLoud = at;
    }
  });
  std::vector<int64_t> flashes;
  bool lit = false;
  rig.onPicture = [&] {
    player::SurfacePicture shown = rig.surface->Snapshot();
    bool white = ((shown.Pixel(320, 240) >> 8) & 255) > 200;
    if (white && !lit) flashes.push_back(shown.shownAtUs);
    lit = white;
  };
  ASSERT_TRUE(rig.player->Open(SharedPlayerMedia().flashBeep.string(), rig.surface.get(), false));
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) == 1; }, std::chrono::seconds(40)));
  rig.player->Stop(true);

  std::lock_guard lock(mutex);
  ASSERT_EQ(flashes.size(), 10u);
  ASSERT_EQ(beeps.size(), 10u);
  int64_t worst = 0;
  for (size_t i = 0; i < flashes.size(); ++i) worst = std::max<int64_t>(worst, std::llabs(flashes[i] - beeps[i]));
  RecordProperty("worst_av_offset_us", std::to_string(worst));
  EXPECT_LE(worst, 40000);
  EXPECT_EQ(rig.player->Counters().dropped, 0);
  EXPECT_EQ(rig.player->Counters().shown, 250);
}

}  // namespace
