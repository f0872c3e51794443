#include "loudness/k_weighting.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "loudness/k_weighting_lanes.h"

#include "samples/simd.h"

namespace normalize {
namespace {

#ifdef NORMALIZE_SSE2
// Lane 0 is one channel, lane 1 the other.
struct PairRegisters {
  __m128d x1, x2, u1, u2, y1, y2, sum;
};

#ifdef __GNUC__
#define NORMALIZE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define NORMALIZE_ALWAYS_INLINE inline
#endif

// Direct form I, as ProcessScalar and in its order, two channels at once.
NORMALIZE_ALWAYS_INLINE void PairLoop(const KWeightingDesign& design, const float* left, const float* right,
                                      std::size_t frames, PairRegisters& r) {
  const Biquad& sh = design.shelf;
  const Biquad& hp = design.high_pass;
  const __m128d b0 = _mm_set1_pd(sh.b0), b1 = _mm_set1_pd(sh.b1), b2 = _mm_set1_pd(sh.b2);
  const __m128d sa1 = _mm_set1_pd(sh.a1), sa2 = _mm_set1_pd(sh.a2);
  const __m128d pa1 = _mm_set1_pd(hp.a1), pa2 = _mm_set1_pd(hp.a2), two = _mm_set1_pd(2.0);
  __m128d x1 = r.x1, x2 = r.x2, u1 = r.u1, u2 = r.u2, y1 = r.y1, y2 = r.y2, sum = r.sum;
  for (std::size_t i = 0; i < frames; ++i) {
    const __m128d x = _mm_set_pd(right[i], left[i]);
    const __m128d ff = _mm_sub_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, x), _mm_mul_pd(b1, x1)), _mm_mul_pd(b2, x2)), _mm_mul_pd(sa2, u2));
    const __m128d u = _mm_sub_pd(ff, _mm_mul_pd(sa1, u1));
    const __m128d pf = _mm_sub_pd(_mm_add_pd(_mm_sub_pd(u, _mm_mul_pd(two, u1)), u2), _mm_mul_pd(pa2, y2));
    const __m128d y = _mm_sub_pd(pf, _mm_mul_pd(pa1, y1));
    sum = _mm_add_pd(sum, _mm_mul_pd(y, y));
    x2 = x1;
    x1 = x;
    u2 = u1;
    u1 = u;
    y2 = y1;
    y1 = y;
  }
  r = PairRegisters{x1, x2, u1, u2, y1, y2, sum};
}

void PairLoopSse2(const KWeightingDesign& design, const float* left, const float* right, std::size_t frames,
                  PairRegisters& r) {
  PairLoop(design, left, right, frames, r);
}

#ifdef NORMALIZE_X86_EXTRAS
// The same arithmetic in AVX's three-operand encoding: no register copies,
// same results.
__attribute__((target("avx"))) void PairLoopAvx(const KWeightingDesign& design, const float* left,
                                                const float* right, std::size_t frames, PairRegisters& r) {
  PairLoop(design, left, right, frames, r);
}
#endif
#endif

}  // namespace

KWeightingDesign DesignKWeighting(double sample_rate) {
  // The analogue prototypes behind the 48 kHz coefficients of the standard.
  constexpr double kShelfHz = 1681.974450955533;
  constexpr double kShelfGainDb = 3.999843853973347;
  constexpr double kShelfQ = 0.7071752369554196;
  constexpr double kPassHz = 38.13547087602444;
  constexpr double kPassQ = 0.5003270373238773;

  KWeightingDesign design;
  {
    const double k = std::tan(std::numbers::pi * kShelfHz / sample_rate);
    const double vh = std::pow(10.0, kShelfGainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / kShelfQ + k * k;
    design.shelf.b0 = (vh + vb * k / kShelfQ + k * k) / a0;
    design.shelf.b1 = 2.0 * (k * k - vh) / a0;
    design.shelf.b2 = (vh - vb * k / kShelfQ + k * k) / a0;
    design.shelf.a1 = 2.0 * (k * k - 1.0) / a0;
    design.shelf.a2 = (1.0 - k / kShelfQ + k * k) / a0;
  }
  {
    const double k = std::tan(std::numbers::pi * kPassHz / sample_rate);
    const double a0 = 1.0 + k / kPassQ + k * k;
    // The standard leaves the high-pass unnormalised: 1, -2, 1 over a.
    design.high_pass.b0 = 1.0;
    design.high_pass.b1 = -2.0;
    design.high_pass.b2 = 1.0;
    design.high_pass.a1 = 2.0 * (k * k - 1.0) / a0;
    design.high_pass.a2 = (1.0 - k / kPassQ + k * k) / a0;
  }
  return design;
}

KWeightingFilter::KWeightingFilter(double sample_rate, unsigned channels, SimdLevel simd)
    : design_(DesignKWeighting(sample_rate)),
      states_(channels),
      simd_(simd),
      settle_frames_(static_cast<std::size_t>(std::lround(kSettleSeconds * sample_rate))) {}

void KWeightingFilter::Process(const float* const* planar, std::size_t offset, std::size_t frames,
                               double* squares) {
  std::size_t c = 0;
#ifdef NORMALIZE_SSE2
  if (simd_ != SimdLevel::kScalar) {
    for (; c + 2 <= states_.size(); c += 2) {
      ProcessPair(planar[c] + offset, planar[c + 1] + offset, frames, states_[c], states_[c + 1], squares[c],
                  squares[c + 1]);
    }
  }
#endif
  for (; c < states_.size(); ++c) ProcessScalar(planar[c] + offset, frames, states_[c], squares[c]);
}

void KWeightingFilter::ProcessInLanes(const float* const* planar, std::size_t offset, std::size_t lanes,
                                      std::size_t lane_frames, std::size_t chunk, double* squares) {
  const std::size_t channels = states_.size();
  const std::size_t chunks = lane_frames / chunk;
  lane_squares_.resize(2 * 4 * chunks);
  // Two channels a loop, so that their steps fill each other's waits.
  for (std::size_t first = 0; first < channels; first += 2) {
    const std::size_t count = std::min<std::size_t>(2, channels - first);
    FilterLanes sets[2];
    for (std::size_t s = 0; s < count; ++s) {
      const float* samples = planar[first + s] + offset;
      // Lanes beyond `lanes` run along on the second's samples, their sums unused.
      for (std::size_t k = 1; k < 4; ++k) sets[s].in[k] = samples + (k < lanes ? k : 1) * lane_frames - settle_frames_;
      // The first lane's state is this filter's; it runs the settling along
      // with the others on samples it does not keep.
      sets[s].in[0] = sets[s].in[1];
    }
    RunFilterLanes(design_, sets, count, settle_frames_, chunk, nullptr, simd_);
    for (std::size_t s = 0; s < count; ++s) {
      const State& carried = states_[first + s];
      sets[s].in[0] = planar[first + s] + offset;
      sets[s].x1[0] = carried.shelf_x1;
      sets[s].x2[0] = carried.shelf_x2;
      sets[s].u1[0] = carried.shelf_y1;
      sets[s].u2[0] = carried.shelf_y2;
      sets[s].y1[0] = carried.pass_y1;
      sets[s].y2[0] = carried.pass_y2;
    }
    RunFilterLanes(design_, sets, count, lane_frames, chunk, lane_squares_.data(), simd_);
    for (std::size_t s = 0; s < count; ++s) {
      const FilterLanes& set = sets[s];
      for (std::size_t k = 0; k < lanes; ++k) {
        for (std::size_t j = 0; j < chunks; ++j) {
          squares[(k * chunks + j) * channels + first + s] = lane_squares_[(s * chunks + j) * 4 + k];
        }
      }
      // The last lane ends where the next call begins.
      const std::size_t k = lanes - 1;
      states_[first + s] = State{set.x1[k], set.x2[k], set.u1[k], set.u2[k], set.y1[k], set.y2[k]};
    }
  }
}

// Direct form I: the feedback term of the older output is added first, so
// that each step waits on one multiply and one subtraction only.
void KWeightingFilter::ProcessScalar(const float* in, std::size_t frames, State& s, double& squares) const {
  const Biquad& sh = design_.shelf;
  const Biquad& hp = design_.high_pass;
  double x1 = s.shelf_x1, x2 = s.shelf_x2, u1 = s.shelf_y1, u2 = s.shelf_y2, y1 = s.pass_y1, y2 = s.pass_y2;
  double sum = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    const double x = in[i];
    const double u = (sh.b0 * x + sh.b1 * x1 + sh.b2 * x2 - sh.a2 * u2) - sh.a1 * u1;
    const double y = ((u - 2.0 * u1 + u2) - hp.a2 * y2) - hp.a1 * y1;
    sum += y * y;
    x2 = x1;
    x1 = x;
    u2 = u1;
    u1 = u;
    y2 = y1;
    y1 = y;
  }
  s = State{x1, x2, u1, u2, y1, y2};
  squares += sum;
}

void KWeightingFilter::ProcessPair(const float* left, const float* right, std::size_t frames, State& a,
                                   State& b, double& squares_a, double& squares_b) const {
#ifdef NORMALIZE_SSE2
  PairRegisters r{_mm_set_pd(b.shelf_x1, a.shelf_x1), _mm_set_pd(b.shelf_x2, a.shelf_x2),
                  _mm_set_pd(b.shelf_y1, a.shelf_y1), _mm_set_pd(b.shelf_y2, a.shelf_y2),
                  _mm_set_pd(b.pass_y1, a.pass_y1),   _mm_set_pd(b.pass_y2, a.pass_y2),
                  _mm_setzero_pd()};
#ifdef NORMALIZE_X86_EXTRAS
  if (simd_ == SimdLevel::kBest && CpuHasAvx()) {
    PairLoopAvx(design_, left, right, frames, r);
  } else {
    PairLoopSse2(design_, left, right, frames, r);
  }
#else
  PairLoopSse2(design_, left, right, frames, r);
#endif
  double lanes[2];
  const auto store = [&](__m128d v, double State::*field) {
    _mm_storeu_pd(lanes, v);
    a.*field = lanes[0];
    b.*field = lanes[1];
  };
  store(r.x1, &State::shelf_x1);
  store(r.x2, &State::shelf_x2);
  store(r.u1, &State::shelf_y1);
  store(r.u2, &State::shelf_y2);
  store(r.y1, &State::pass_y1);
  store(r.y2, &State::pass_y2);
  _mm_storeu_pd(lanes, r.sum);
  squares_a += lanes[0];
  squares_b += lanes[1];
#else
  ProcessScalar(left, frames, a, squares_a);
  ProcessScalar(right, frames, b, squares_b);
#endif
}

}  // namespace normalize
