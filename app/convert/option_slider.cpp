#include "option_slider.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace kestrova::convert {

int64_t RoundHalfEven(double value) {
  // nearbyint follows the rounding mode, which is to-nearest-even unless
  // someone changed it; say so explicitly rather than rely on it.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(value);
  std::fesetround(saved);
  return static_cast<int64_t>(rounded);
}

int TrackSteps(const StepSource& s) {
  if (s.hasVideo && s.frameRateDen > 0) {
    const int64_t duration = s.videoDuration > 0 ? s.videoDuration : s.fileDuration;
    const double seconds = duration / 1e6;
    return static_cast<int>(RoundHalfEven(seconds * s.frameRateNum / s.frameRateDen));
  }
  return static_cast<int>(RoundHalfEven(s.fileDuration / 1e6 * 10));
}

TrackBarLayout LayoutTrackBar(int trackSteps, int position, int maximum) {
  const double relative = maximum > 0 ? static_cast<double>(position) / maximum : 0.0;
  TrackBarLayout layout;
  layout.maximum = trackSteps > 0 ? trackSteps : maximum;
  const int max = layout.maximum;
  layout.tickSpacing = max <= 10 ? 1 : max / 10;
  layout.pageSize = max <= 9 ? 2 : max <= 99 ? 5 : max / 20;
  layout.position = static_cast<int>(RoundHalfEven(relative * max));
  return layout;
}

SliderMove ClassifyMove(int position, int lastTrackPos) {
  if (position == lastTrackPos) return SliderMove::None;
  if (position == lastTrackPos + 1) return SliderMove::StepForward;
  if (position == lastTrackPos - 1) return SliderMove::StepBack;
  return SliderMove::Jump;
}

int64_t PositionTime(int position, int maximum, int64_t fileDuration) {
  // A file that gives no length has no time scale: every jump goes to its start.
  if (maximum < 1 || fileDuration <= 0) return 0;
  return RoundHalfEven(static_cast<double>(position) / maximum * fileDuration);
}

int PositionForTime(int64_t t, int maximum, int64_t fileDuration) {
  if (fileDuration <= 0) return 0;
  const int64_t at = RoundHalfEven(static_cast<double>(maximum) * t / fileDuration);
  return static_cast<int>(std::clamp<int64_t>(at, 0, maximum));
}

}  // namespace kestrova::convert
