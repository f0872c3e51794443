#pragma once
// What a pass over the samples learns of their extremes.
#include <cstdint>

namespace normalize {

// Extremes seen so far, in the encoding's own units (integers are signed).
struct PeakTracker {
  double min = 0;
  double max = 0;
  std::uint64_t non_finite = 0;  // float samples that are NaN or infinite, seen and left out
};

// Peak as a fraction of full scale, each side separately: integer full scale is
// the magnitude of the most negative container value, float full scale is 1.
struct Peak {
  double positive = 0;
  double negative = 0;  // magnitude
  double magnitude() const { return positive > negative ? positive : negative; }
};

}  // namespace normalize
