// Stepping through a file with the probe: every step back, served from the
// pictures kept since the last key frame, must show exactly what the same
// step shows when it decodes its group of pictures again from the key frame.
// Built against the sanitized media library.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "media/av_utils.h"
#include "media/loader.h"
#include "media/probe.h"
#include "media/probe_access.h"
#include "media_fixture.h"

using namespace media;
using kestrova::test::SharedMedia;

namespace {

class LibrariesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(FFmpegLoader().Load(EngineLibraries)) << FFmpegLoader().LastError();
    SharedMedia();
  }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new LibrariesEnvironment);

// What one step shows from outside the probe.
struct StepResult {
  bool decoded;
  int64_t time, previousTime, position, previousPosition;
  bool keyFrame, endOfStream;
  int pictureType;
  std::vector<uint8_t> pixels;
  std::string error;  // only when nothing was decoded
  bool operator==(const StepResult&) const = default;
};

void PrintTo(const StepResult& r, std::ostream* out) {
  *out << (r.decoded ? "picture at " : "no picture, at ") << r.time << " (before " << r.previousTime << "), byte "
       << r.position << " (before " << r.previousPosition << "), key " << r.keyFrame << ", type " << r.pictureType
       << ", end " << r.endOfStream << ", " << r.pixels.size() << " bytes of pixels"
       << (r.error.empty() ? "" : ", ") << r.error;
}

StepResult Observe(TAVProbe& probe, bool decoded) {
  Bitmap bitmap;
  if (decoded) probe.CopyPictureTo(bitmap);
  return {decoded,
          probe.CurrentPTS(),
          probe.PreviousPTS(),
          probe.PicturePos(),
          probe.PreviousPos(),
          probe.KeyFrame(),
          probe.EndOfStream(),
          probe.PictureType(),
          bitmap.pixels,
          decoded ? "" : probe.LastErrorMessage()};
}

// A step back without pictures kept from before: back to the key frame, then
// decode up to the picture before the one shown.
bool StepBackByDecoding(TAVProbe& probe) {
  AVFormatContext* input = ProbeInputAccess::Input(probe);
  int64_t frame = FrameDuration(input->streams[probe.DecodeStream()]->r_frame_rate);
  int64_t shown = probe.CurrentPTS() != kNoPts ? probe.CurrentPTS() : probe.PreviousPTS();
  int64_t target = (shown != kNoPts ? shown : 0) - 2 * frame;
  if (!probe.SeekBackToKeyFrame(-1)) return false;
  while (probe.CurrentPTS() <= target) {
    if (!probe.ReadNextFrame()) return false;
  }
  return true;
}

// Runs of steps back and forth, across key frames (one a second in the shared
// clip), after a jump and from the end of the stream.
TEST(ProbeSteps, StepsBackShowWhatDecodingFromTheKeyFrameShows) {
  enum Move { kForward, kBack, kToTheEnd, kJump };
  const struct {
    Move move;
    int64_t count;  // steps, or µs for a jump
  } script[] = {
      {kForward, 30},                    // picture 29, in the second group
      {kBack, 8},                        // 21: back across the key frame at 25
      {kForward, 6},                     // 27: through the kept pictures, then decoding again
      {kBack, 3},                        // 24
      {kJump, 2200000}, {kBack, 7},      // 55, then back across the key frame at 50
      {kForward, 3},    {kBack, 2},
      {kToTheEnd, 0},   {kBack, 4},      // from the end of the stream
      {kToTheEnd, 0},                    // and forward until it ends again
      {kJump, 0},       {kForward, 2}, {kBack, 3},  // back to the first picture, and no further
  };
  TAVProbe kept, decoding;
  ASSERT_TRUE(kept.OpenFile(SharedMedia().mp4.string()));
  ASSERT_TRUE(decoding.OpenFile(SharedMedia().mp4.string()));
  int steps = 0;
  auto both = [&](auto step) {
    StepResult expected = Observe(decoding, step(decoding));
    StepResult got = Observe(kept, step(kept));
    ++steps;
    EXPECT_EQ(got, expected) << "step " << steps << (got.pixels == expected.pixels ? "" : ": other pixels");
    return expected.decoded;
  };
  auto forward = [](TAVProbe& probe) { return probe.ReadNextFrame(); };
  for (auto [move, count] : script) {
    switch (move) {
      case kForward:
        for (int i = 0; i < count; ++i) ASSERT_TRUE(both(forward)) << steps;
        break;
      case kBack:
        for (int i = 0; i < count; ++i) {
          ASSERT_TRUE(both([&](TAVProbe& probe) {
            return &probe == &kept ? probe.ReadPreviousFrame() : StepBackByDecoding(probe);
          })) << steps;
        }
        break;
      case kToTheEnd:
        while (both(forward)) {
        }
        EXPECT_TRUE(kept.EndOfStream());
        break;
      case kJump:
        ASSERT_TRUE(both([&](TAVProbe& probe) {
          if (!probe.SeekTo(AVSEEK_FLAG_BACKWARD, count)) return false;
          do {
            if (!probe.ReadNextFrame()) return false;
          } while (probe.CurrentPTS() < count);
          return true;
        }));
        break;
    }
  }
  EXPECT_EQ(kept.CurrentPTS(), 0);
}

}  // namespace
