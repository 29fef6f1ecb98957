#include "media/engine/closest_ratio.h"

#include <cmath>

namespace media {

SmallRatio ClosestRatio(double value, int maxTerm) {
  SmallRatio best;
  if (!(value > 0) || maxTerm < 1) return best;
  double bestError = value;  // the error of 0/1
  // Every denominator is tried: rounding to n/255 first and reducing after
  // misses exact answers such as 32/27. Only a strictly better fraction
  // replaces the one found, so the first (lowest-terms) spelling wins.
  for (int den = 1; den <= maxTerm; ++den) {
    double scaled = value * den;
    int num = scaled >= maxTerm ? maxTerm : static_cast<int>(std::llround(scaled));
    double error = std::fabs(static_cast<double>(num) / den - value);
    if (error < bestError - 1e-12) {
      bestError = error;
      best = {num, den};
    }
  }
  return best;
}

}  // namespace media
