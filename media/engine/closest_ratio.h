// Sample aspect ratios are stored with small terms (MPEG-style headers carry
// at most 8 bits each); this finds the fraction that comes closest.
#pragma once

namespace media {

struct SmallRatio {
  int num = 0;
  int den = 1;
};

// The fraction num/den nearest to `value`, with 0 <= num <= maxTerm and
// 1 <= den <= maxTerm, in lowest terms. A value that is not positive gives 0/1.
SmallRatio ClosestRatio(double value, int maxTerm);

}  // namespace media
