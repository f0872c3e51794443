#pragma once
// The K-weighting over four stretches of samples at once, one per vector
// lane. One run of the filter waits at every sample on the one before it;
// four runs side by side (eight, two channels' worth, in one loop) keep the
// vector units busy instead.
#include <cstddef>

#include "loudness/k_weighting.h"
#include "samples/simd.h"

namespace normalize {

// Four filters, each with its own samples and state.
struct FilterLanes {
  const float* in[4] = {};  // lane k's next sample is in[k][0]
  double x1[4] = {}, x2[4] = {}, u1[4] = {}, u2[4] = {}, y1[4] = {}, y2[4] = {};
};

// Runs `count` (1 or 2) sets of lanes `steps` samples on, advancing their
// `in`. Without `squares` only their states move (settling); with it,
// squares[(s * chunks + j) * 4 + k] is the sum of the squared outputs of set
// s, lane k, over its j-th run of `chunk` samples (`steps` a multiple of
// `chunk`; chunks = steps / chunk).
void RunFilterLanes(const KWeightingDesign& design, FilterLanes* sets, std::size_t count, std::size_t steps,
                    std::size_t chunk, double* squares, SimdLevel simd);

#ifdef NORMALIZE_X86_EXTRAS
// The same with AVX2 and fused multiply-adds; only where CpuHasAvx2Fma().
void RunFilterLanesAvx2(const KWeightingDesign& design, FilterLanes* sets, std::size_t count, std::size_t steps,
                        std::size_t chunk, double* squares);
#endif

}  // namespace normalize
