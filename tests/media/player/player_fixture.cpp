#include "player_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "media/loader.h"
#include "media/logger.h"
#include "media_fixture.h"
#include "process.h"

namespace kestrova::test {
namespace {

class PlayerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    logger = std::make_unique<media::TFFLogger>();
    logger->SetTriggerEventInMainThread(false);
    logger->SetLogLevel(media::llError);
  }
  void TearDown() override { logger.reset(); }
  std::unique_ptr<media::TFFLogger> logger;
};

[[maybe_unused]] auto* g_environment = ::testing::AddGlobalTestEnvironment(new PlayerEnvironment);

}  // namespace

const PlayerMedia& SharedPlayerMedia() {
  static TempDir folder;
  static const PlayerMedia media = [] {
    PlayerMedia m;
    m.folder = folder.path();
    m.red = m.folder / "red.mp4";
    m.wide = m.folder / "wide.mp4";
    m.squarePixelsWide = m.folder / "sar-4-3.mp4";
    m.flashBeep = m.folder / "flash-beep.mp4";
    MakeMedia("-f lavfi -i color=c=red:size=320x240:rate=25:duration=1 "
              "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
              "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest",
              m.red);
    MakeMedia("-f lavfi -i color=c=white:size=640x360:rate=25:duration=1 -c:v libx264 -preset veryfast "
              "-pix_fmt yuv420p",
              m.wide);
    MakeMedia("-f lavfi -i color=c=white:size=240x240:rate=25:duration=1 -vf setsar=4/3 -c:v libx264 "
              "-preset veryfast -pix_fmt yuv420p",
              m.squarePixelsWide);
    // Two white pictures and 80 ms of 1 kHz at the start of every second.
    MakeMedia("-f lavfi -i color=c=black:size=640x480:rate=25:duration=10 "
              "-f lavfi -i aevalsrc='if(lt(mod(t\\,1)\\,0.08)\\,0.8*sin(2*PI*1000*t)\\,0)':s=44100:d=10 "
              "-vf drawbox=c=white:t=fill:enable='lt(mod(t\\,1)\\,0.08)' "
              "-c:v libx264 -preset veryfast -bf 2 -pix_fmt yuv420p -c:a aac -b:a 128k -shortest",
              m.flashBeep);
    return m;
  }();
  return media;
}

PlayerRig::PlayerRig(int surfaceWidth, int surfaceHeight) {
  surface = std::make_unique<media::player::HostSurface>(&handOver, surfaceWidth, surfaceHeight, [this] {
    if (onPicture) onPicture();
  });
  player = std::make_unique<media::TFFPlayer>(&handOver);
  if (!player->LibrariesLoaded()) {
    EXPECT_TRUE(player->LoadLibraries(media::FFmpegLoader().LibraryPath())) << player->LastErrorMessage();
  }
  player->SetOnState([this](media::TPlayState state) { states.push_back(state); });
  player->SetOnPosition([this](int64_t pts) { positions.push_back(pts); });
  player->SetOnFileOpen([this](int64_t fileDuration, int, int, int&, int&) { duration = fileDuration; });
}

PlayerRig::~PlayerRig() {
  player.reset();
  handOver.Pump();
}

bool PlayerRig::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return handOver.PumpUntil(done, limit);
}

int PlayerRig::Count(media::TPlayState state) const {
  return int(std::count(states.begin(), states.end(), state));
}

int64_t PlayerRig::LastPosition() const { return positions.empty() ? -1 : positions.back(); }

}  // namespace kestrova::test
