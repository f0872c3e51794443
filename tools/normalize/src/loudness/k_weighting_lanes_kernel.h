#pragma once
// The loop of RunFilterLanes, written once over a set of vector operations
// (`Ops`): four lanes of doubles and how four floats become one. Included
// only by the files that build it for an instruction set.
#include <cstddef>

#include "loudness/k_weighting_lanes.h"

namespace normalize::lanes {

template <typename Ops, std::size_t kSets, bool kSquares>
inline void RunLanes(const KWeightingDesign& design, FilterLanes* sets, std::size_t steps, std::size_t chunk,
                     double* squares) {
  using V = typename Ops::V;
  const V b0 = Ops::Set1(design.shelf.b0), b1 = Ops::Set1(design.shelf.b1), b2 = Ops::Set1(design.shelf.b2);
  const V sa1 = Ops::Set1(design.shelf.a1), sa2 = Ops::Set1(design.shelf.a2);
  const V pa1 = Ops::Set1(design.high_pass.a1), pa2 = Ops::Set1(design.high_pass.a2), two = Ops::Set1(2.0);
  V x1[kSets], x2[kSets], u1[kSets], u2[kSets], y1[kSets], y2[kSets], sum[kSets];
  for (std::size_t s = 0; s < kSets; ++s) {
    x1[s] = Ops::Load(sets[s].x1);
    x2[s] = Ops::Load(sets[s].x2);
    u1[s] = Ops::Load(sets[s].u1);
    u2[s] = Ops::Load(sets[s].u2);
    y1[s] = Ops::Load(sets[s].y1);
    y2[s] = Ops::Load(sets[s].y2);
  }
  // ProcessScalar's arithmetic in its order; with fused multiply-adds each
  // step waits on one rounding of the older output instead of two.
  const auto step = [&](std::size_t s, V x) {
    const V ff = Ops::NegMulAdd(sa2, u2[s], Ops::MulAdd(b2, x2[s], Ops::MulAdd(b1, x1[s], Ops::Mul(b0, x))));
    const V u = Ops::NegMulAdd(sa1, u1[s], ff);
    const V pf = Ops::NegMulAdd(pa2, y2[s], Ops::Add(Ops::NegMulAdd(two, u1[s], u), u2[s]));
    const V y = Ops::NegMulAdd(pa1, y1[s], pf);
    if constexpr (kSquares) sum[s] = Ops::MulAdd(y, y, sum[s]);
    x2[s] = x1[s];
    x1[s] = x;
    u2[s] = u1[s];
    u1[s] = u;
    y2[s] = y1[s];
    y1[s] = y;
  };
  const std::size_t chunks = kSquares ? steps / chunk : 1;
  const std::size_t run = kSquares ? chunk : steps;
  std::size_t at = 0;
  for (std::size_t j = 0; j < chunks; ++j) {
    for (std::size_t s = 0; s < kSets; ++s) sum[s] = Ops::Zero();
    std::size_t i = 0;
    // Four samples of each lane a time, turned into four steps of all lanes.
    for (; i + 4 <= run; i += 4) {
      V x[kSets][4];
      for (std::size_t s = 0; s < kSets; ++s) Ops::LoadSteps(sets[s].in, at + i, x[s]);
      for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t s = 0; s < kSets; ++s) step(s, x[s][k]);
      }
    }
    for (; i < run; ++i) {
      for (std::size_t s = 0; s < kSets; ++s) step(s, Ops::LoadStep(sets[s].in, at + i));
    }
    at += run;
    if constexpr (kSquares) {
      for (std::size_t s = 0; s < kSets; ++s) Ops::Store(squares + (s * chunks + j) * 4, sum[s]);
    }
  }
  for (std::size_t s = 0; s < kSets; ++s) {
    Ops::Store(sets[s].x1, x1[s]);
    Ops::Store(sets[s].x2, x2[s]);
    Ops::Store(sets[s].u1, u1[s]);
    Ops::Store(sets[s].u2, u2[s]);
    Ops::Store(sets[s].y1, y1[s]);
    Ops::Store(sets[s].y2, y2[s]);
    for (const float*& in : sets[s].in) in += steps;
  }
}

template <typename Ops>
inline void Run(const KWeightingDesign& design, FilterLanes* sets, std::size_t count, std::size_t steps,
                std::size_t chunk, double* squares) {
  if (count == 2) {
    if (squares) return RunLanes<Ops, 2, true>(design, sets, steps, chunk, squares);
    return RunLanes<Ops, 2, false>(design, sets, steps, chunk, squares);
  }
  if (squares) return RunLanes<Ops, 1, true>(design, sets, steps, chunk, squares);
  RunLanes<Ops, 1, false>(design, sets, steps, chunk, squares);
}

}  // namespace normalize::lanes
