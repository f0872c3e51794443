#pragma once
// The K-weighting of loudness measurement: a high shelf (the head's acoustic
// effect) and then a high-pass (the revised low-frequency B curve), two
// biquads designed for the file's own sample rate.
#include <cstddef>
#include <vector>

#include "samples/simd.h"

namespace normalize {

// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

struct KWeightingDesign {
  Biquad shelf;
  Biquad high_pass;
};

// At 48 kHz this gives the published coefficients; other rates keep the same
// analogue corner frequencies, gain and Q.
KWeightingDesign DesignKWeighting(double sample_rate);

// Filters planar channels and adds up the squares of the filtered samples per
// channel. State carries over from one call to the next.
class KWeightingFilter {
 public:
  // The filter's slowest pole (38 Hz) decays by e^-36 (2e-16) in this much:
  // a run started this early on the samples before a point has the state
  // there that one run from the file's start would have, to a double's
  // rounding.
  static constexpr double kSettleSeconds = 0.15;

  KWeightingFilter(double sample_rate, unsigned channels, SimdLevel simd = SimdLevel::kBest);

  // kSettleSeconds in frames.
  std::size_t settle_frames() const { return settle_frames_; }
  // Whether ProcessInLanes may be used (not on the scalar path).
  bool has_lanes() const { return simd_ != SimdLevel::kScalar; }

  // `planar[c]` holds `frames` samples of channel c; `squares[c]` grows by
  // the sum of their filtered squares.
  void Process(const float* const* planar, std::size_t offset, std::size_t frames, double* squares);
  // The same over `lanes` * `lane_frames` frames, as `lanes` (2 to 4)
  // stretches side by side, each but the first settled on the
  // settle_frames() before it (`lane_frames`: at least settle_frames(), a
  // multiple of `chunk`). `squares` gets the sums per chunk: [j * channels
  // + c] for chunk j of the whole span, channel c.
  void ProcessInLanes(const float* const* planar, std::size_t offset, std::size_t lanes, std::size_t lane_frames,
                      std::size_t chunk, double* squares);

 private:
  struct State {
    double shelf_x1 = 0, shelf_x2 = 0, shelf_y1 = 0, shelf_y2 = 0;
    double pass_y1 = 0, pass_y2 = 0;
  };
  void ProcessScalar(const float* in, std::size_t frames, State& state, double& squares) const;
  void ProcessPair(const float* left, const float* right, std::size_t frames, State& a, State& b,
                   double& squares_a, double& squares_b) const;

  KWeightingDesign design_;
  std::vector<State> states_;
  SimdLevel simd_;
  std::size_t settle_frames_;
  std::vector<double> lane_squares_;
};

}  // namespace normalize
