// Starting and seeking judged by what the player showed and played: a clip with a white
// flash and a beep at the middle of every second (nothing at whole seconds),
// made with key frames 7 s apart and with one key frame only (1200 s apart).
// A seek lands on the picture at its target, never on the key frame before
// it, and the sound resumes there with the pictures: the first beep heard
// after the seek belongs to the first flash shown after it. A table of short
// clips holds the same for each container, and for a stream that does not
// start at 0. Opening into a window that takes long to appear starts picture
// and sound together too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "media_fixture.h"
#include "player_fixture.h"
#include "process.h"

using namespace media;
using kestrova::test::MakeMedia;
using kestrova::test::PlayerRig;
using kestrova::test::SharedMedia;
using kestrova::test::SharedPlayerMedia;
using kestrova::test::TempDir;

namespace {

struct SeekMedia {
  std::filesystem::path keys7s, keys1200s;
  std::filesystem::path mkv, avi;  // 3 s of counted pictures, a key frame every second
};

const SeekMedia& Clips() {
  static TempDir folder;
  static const SeekMedia media = [] {
    SeekMedia m{folder.path() / "keys-7s.mp4", folder.path() / "keys-1200s.mp4", folder.path() / "clip.mkv",
                folder.path() / "clip.avi"};
    const std::string source =
        "-f lavfi -i color=c=black:size=320x240:rate=25:duration=16 "
        "-f lavfi -i aevalsrc='if(between(mod(t\\,1)\\,0.5\\,0.58)\\,0.8*sin(2*PI*1000*t)\\,0)':s=44100:d=16 "
        "-vf drawbox=c=white:t=fill:enable='between(mod(t\\,1)\\,0.5\\,0.58)' "
        "-c:v libx264 -preset veryfast -bf 2 -sc_threshold 0 -pix_fmt yuv420p -c:a aac -shortest ";
    MakeMedia(source + "-g 175 -keyint_min 175", m.keys7s);
    MakeMedia(source + "-g 30000 -keyint_min 30000", m.keys1200s);
    const std::string counted =
        "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i sine=sample_rate=44100:duration=3 "
        "-c:v libx264 -preset veryfast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p -shortest ";
    MakeMedia(counted + "-c:a aac", m.mkv);
    MakeMedia(counted + "-c:a mp3", m.avi);    return m;
  }();
  return media;
}

int64_t SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Shown {
  int64_t ptsUs, atUs;
  bool white;
};

// What one playback showed and played, recorded from the host's side.
struct Recorder {
  explicit Recorder(PlayerRig& rig) {
    rig.player->SetOnAudioOutput([this](const int16_t* samples, int frames, int channels, int rate, int64_t at) {
      for (int i = 0; i < frames; ++i) {
        if (std::abs(int(samples[i * channels])) < 8000) continue;
        int64_t when = at + int64_t(i) * 1000000 / rate;
        std::lock_guard lock(mutex);
        if (when - lastLoud > 500000) beeps.push_back(when);
        lastLoud = when;
      }
    });
    rig.onPicture = [this, &rig] {
      player::SurfacePicture picture = rig.surface->Snapshot();
      shown.push_back(Shown{picture.ptsUs, picture.shownAtUs, ((picture.Pixel(160, 120) >> 8) & 255) > 200});
    };
  }
  std::vector<int64_t> BeepsAfter(int64_t us) {
    std::lock_guard lock(mutex);
    std::vector<int64_t> after;
    for (int64_t beep : beeps) {
      if (beep >= us) after.push_back(beep);
    }
    return after;
  }
  std::mutex mutex;
  std::vector<int64_t> beeps;  // steady-clock µs of each beep's first loud sample
  int64_t lastLoud = -10'000'000;
  std::vector<Shown> shown;  // host thread only
};

// The pictures from the first one at or after fromPtsUs on, and how the
// first flash among them meets the first beep heard after heardFromUs.
void ExpectLandedAt(Recorder& record, int64_t fromPtsUs, int64_t targetUs, int64_t heardFromUs) {
  auto first = std::find_if(record.shown.begin(), record.shown.end(),
                            [&](const Shown& s) { return s.ptsUs >= fromPtsUs; });
  ASSERT_NE(first, record.shown.end()) << "nothing shown after the seek";
  int64_t lowest = INT64_MAX;
  for (auto it = first; it != record.shown.end(); ++it) lowest = std::min(lowest, it->ptsUs);
  // The picture at the target (or the one after it, within one picture).
  EXPECT_GE(lowest, targetUs - 1000) << "a picture before the target was shown";
  EXPECT_LT(first->ptsUs, targetUs + 120000) << "the first picture seen after the seek";
  auto flash = std::find_if(first, record.shown.end(), [](const Shown& s) { return s.white; });
  ASSERT_NE(flash, record.shown.end()) << "no flash shown after the seek";
  EXPECT_EQ(flash->ptsUs / 1000000, targetUs / 1000000 + (targetUs % 1000000 > 580000 ? 1 : 0));
  std::vector<int64_t> beeps = record.BeepsAfter(heardFromUs);
  ASSERT_FALSE(beeps.empty()) << "no beep heard after the seek";
  // A sound that resumed at the key frame instead would beep seconds early.
  EXPECT_LT(std::llabs(beeps.front() - flash->atUs), 400000)
      << "first beep minus first flash after the seek, ms: " << (beeps.front() - flash->atUs) / 1000;
}

// The Right key's seek (flags 0) and --start's (backward), from a playing
// position to 10 s further, with the machine idle and with every core busy.
TEST(PlayerSeekTest, AForwardSeekLandsAtItsTargetWithPictureAndSoundTogether) {
  struct Case {
    const char* name;
    bool sparseKeys;
    uint8_t flags;
    bool loaded;
  };
  for (Case c : {Case{"keys 7 s apart, flags 0", false, 0, false}, Case{"keys 1200 s apart", true, sfBackward, false},
                 Case{"keys 7 s apart, cores busy", false, 0, true}}) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> busy{c.loaded};
    std::vector<std::thread> load;
    for (unsigned i = 0; c.loaded && i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
      load.emplace_back([&busy] {
        while (busy.load()) {
        }
      });
    }
    PlayerRig rig;
    Recorder record(rig);
    const auto& file = c.sparseKeys ? Clips().keys1200s : Clips().keys7s;
    ASSERT_TRUE(rig.player->Open(file.string(), rig.surface.get(), false));
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.surface->Snapshot().ptsUs >= 200000; }));
    const int64_t from = rig.player->CurrentPosition();
    const int64_t target = from + 10'000'000;
    const int64_t seekedAt = SteadyUs();
    rig.player->Seek(c.flags, target);
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) == 1; }, std::chrono::seconds(60)));
    rig.player->Stop(true);
    busy = false;
    for (std::thread& t : load) t.join();
    // Pictures from before the seek are near `from`; the key frame before the
    // target is 3 s or more behind it.
    ExpectLandedAt(record, from + 1'000'000, target, seekedAt + 150000);
  }
}

// Playing from a given time: the first picture shown is the one there, and
// the first beep heard is that second's.
TEST(PlayerSeekTest, StartPositionShowsAndPlaysFromThere) {
  for (int64_t start : {int64_t(9'300'000), int64_t(12'540'000)}) {
    SCOPED_TRACE(start);
    PlayerRig rig;
    Recorder record(rig);
    rig.player->StartPosition = start;
    const int64_t openedAt = SteadyUs();
    ASSERT_TRUE(rig.player->Open(Clips().keys7s.string(), rig.surface.get(), false));
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) == 1; }, std::chrono::seconds(60)));
    rig.player->Stop(true);
    ASSERT_FALSE(record.shown.empty());
    EXPECT_GE(record.shown.front().ptsUs, start - 1000);
    ExpectLandedAt(record, 0, start, openedAt);
  }
}

// Positions count from the file's start: the transport stream's clock
// starts at 1.47 s, so 1 s into it is 2.47 s on that clock. Its demuxer
// finds times by searching timestamps and lands between key frames (one a
// second here); the others land on a key frame from their index. Each seek
// starts at the picture asked for, also in the last second, where no key
// frame follows, and while paused, where the seek is over once that picture
// is shown.
TEST(PlayerSeekTest, ASeekLandsWhereAskedInEveryContainer) {
  struct Case {
    const std::filesystem::path& file;
    int64_t target;
    bool paused;
  };
  const auto& ts = SharedMedia().mpegts;
  for (Case c : {Case{ts, 1000000, false}, Case{ts, 2000000, false}, Case{ts, 1500000, true}, Case{ts, 2000000, true},
                 Case{Clips().mkv, 1500000, false}, Case{Clips().mkv, 2000000, true}, Case{Clips().avi, 1500000, false},
                 Case{Clips().avi, 2000000, true}, Case{SharedMedia().mp4, 2500000, true}}) {
    SCOPED_TRACE(testing::Message() << c.file.filename() << " " << c.target << (c.paused ? " paused" : " playing"));
    PlayerRig rig;
    std::vector<int64_t> shown;
    rig.onPicture = [&] { shown.push_back(rig.surface->Snapshot().ptsUs); };
    ASSERT_TRUE(rig.player->Open(c.file.string(), rig.surface.get(), c.paused));
    ASSERT_TRUE(rig.PumpUntil([&] { return !shown.empty() && (!c.paused || rig.Count(psPause) == 1); }));
    rig.player->Seek(sfBackward, c.target);
    auto landed = [&] { return std::find_if(shown.begin(), shown.end(), [](int64_t pts) { return pts >= 500000; }); };
    if (c.paused) {
      ASSERT_TRUE(rig.PumpUntil([&] { return landed() != shown.end(); })) << "the seek never showed its picture";
      rig.PumpUntil([] { return false; }, std::chrono::milliseconds(300));  // paused: nothing more comes
      EXPECT_EQ(shown.end() - landed(), 1);
    } else {
      ASSERT_TRUE(rig.PumpUntil([&] { return rig.Count(psEnd) == 1; }));
      ASSERT_NE(landed(), shown.end()) << "nothing shown after the seek";
    }
    EXPECT_GE(*landed(), c.target - 1000);
    EXPECT_LT(*landed(), c.target + 100000);
  }
}

// A display whose first surface takes long to appear, as a window on a busy
// X server can.
class SlowToOpenSurface : public player::HostSurface {
 public:
  using HostSurface::HostSurface;
  bool SetMode(int width, int height, std::string& error) override {
    if (!opened_) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    opened_ = true;
    return HostSurface::SetMode(width, height, error);
  }

 private:
  bool opened_ = false;
};

// The flash-and-beep clip (a flash and a beep at every whole second, the
// first at 0): the sound waits while the window opens, so the first flash
// meets its beep and the first pictures are not dropped as late.
TEST(PlayerSeekTest, ASlowWindowDelaysSoundAndPicturesTogether) {
  PlayerRig rig(640, 480);
  rig.surface = std::make_unique<SlowToOpenSurface>(&rig.handOver, 640, 480, [&rig] {
    if (rig.onPicture) rig.onPicture();
  });
  Recorder record(rig);
  ASSERT_TRUE(rig.player->Open(SharedPlayerMedia().flashBeep.string(), rig.surface.get(), false));
  EXPECT_TRUE(rig.PumpUntil([&] { return rig.surface->Snapshot().ptsUs >= 2'000'000; }, std::chrono::seconds(30)));
  const TPlayerCounters counters = rig.player->Counters();
  rig.player->Stop(true);
  auto flash = std::find_if(record.shown.begin(), record.shown.end(), [](const Shown& s) { return s.white; });
  ASSERT_NE(flash, record.shown.end());
  EXPECT_LT(flash->ptsUs, 80000) << "the first flash is the one at 0";
  std::vector<int64_t> beeps = record.BeepsAfter(0);
  ASSERT_FALSE(beeps.empty());
  // Without the wait: a second apart, and the pictures of that second dropped.
  EXPECT_LT(std::llabs(beeps.front() - flash->atUs), 300000)
      << "first beep minus first flash, ms: " << (beeps.front() - flash->atUs) / 1000;
  EXPECT_LE(counters.dropped, 20) << "of " << counters.shown + counters.dropped;
}

}  // namespace
