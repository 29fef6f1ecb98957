// The options dialog's slider arithmetic: how many steps a file gets, the
// range, ticks and page size, which way a move goes, and the times that
// positions stand for. Rounding is to the nearest whole number, halves to even.
#pragma once

#include <cstdint>

namespace kestrova::convert {

int64_t RoundHalfEven(double value);

struct StepSource {
  bool hasVideo = false;
  int frameRateNum = 0;
  int frameRateDen = 0;
  int64_t videoDuration = -1;  // µs; the video stream's, when known
  int64_t fileDuration = -1;   // µs; the file's
};

// One step per picture when the video stream has a frame rate, else one per
// tenth of a second of the file.
int TrackSteps(const StepSource& source);

// The slider's maximum when no steps are known.
inline constexpr int kDefaultTrackMaximum = 10;

struct TrackBarLayout {
  int maximum = kDefaultTrackMaximum;
  int tickSpacing = 1;
  int pageSize = 2;
  int position = 0;
};

// The slider after its range was set from trackSteps, keeping the relative
// position it had at (position, maximum).
TrackBarLayout LayoutTrackBar(int trackSteps, int position, int maximum);

enum class SliderMove { None, StepForward, StepBack, Jump };
SliderMove ClassifyMove(int position, int lastTrackPos);

// The time a position stands for: position / maximum of the file's length;
// 0 when the slider has no range or the file gives no length.
int64_t PositionTime(int position, int maximum, int64_t fileDuration);

// The position that shows a picture at time t.
int PositionForTime(int64_t t, int maximum, int64_t fileDuration);

}  // namespace kestrova::convert
