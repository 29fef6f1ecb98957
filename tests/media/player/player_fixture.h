// What the player tests share: the libraries loaded once, the media they
// play (made with the ffmpeg tool on first use), and a player on a host
// surface with a hand-over pumped by the test's own thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/hand_over.h"
#include "media/player/host_surface.h"
#include "media/player/player.h"

namespace kestrova::test {

struct PlayerMedia {
  std::filesystem::path folder;
  std::filesystem::path red;        // 320x240 solid red, 1 s, with sound
  std::filesystem::path wide;       // 640x360 solid white, 1 s, no sound
  std::filesystem::path squarePixelsWide;  // 240x240 solid white, 1 s, pixels 4:3 wide (a 4:3 picture)
  std::filesystem::path flashBeep;  // 640x480 25 fps, 10 s: a white flash and a beep every second
};
const PlayerMedia& SharedPlayerMedia();

// Everything one test needs, events recorded in the order they arrived.
class PlayerRig {
 public:
  explicit PlayerRig(int surfaceWidth = 320, int surfaceHeight = 240);
  ~PlayerRig();

  // Pumps the hand-over until done() or the hang guard's limit passes.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));
  int Count(media::TPlayState state) const;
  int64_t LastPosition() const;

  media::HandOver handOver;
  std::unique_ptr<media::player::HostSurface> surface;
  std::unique_ptr<media::TFFPlayer> player;
  std::vector<media::TPlayState> states;
  std::vector<int64_t> positions;
  int64_t duration = -2;
  std::function<void()> onPicture;  // runs on the test thread after each picture
};

}  // namespace kestrova::test
