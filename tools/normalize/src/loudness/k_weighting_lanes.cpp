#include "loudness/k_weighting_lanes.h"

#include "loudness/k_weighting_lanes_kernel.h"

namespace normalize {
namespace {

// Four lanes as plain doubles: builds without SSE2, and the reference the
// vector ones are held against.
struct PlainOps {
  struct V {
    double v[4];
  };
  static V Set1(double d) { return {{d, d, d, d}}; }
  static V Zero() { return Set1(0); }
  static V Load(const double* p) { return {{p[0], p[1], p[2], p[3]}}; }
  static void Store(double* p, const V& a) {
    for (int k = 0; k < 4; ++k) p[k] = a.v[k];
  }
  static V Mul(const V& a, const V& b) { return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}}; }
  static V Add(const V& a, const V& b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}}; }
  static V Sub(const V& a, const V& b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}}; }
  static V MulAdd(const V& a, const V& b, const V& c) { return Add(Mul(a, b), c); }
  static V NegMulAdd(const V& a, const V& b, const V& c) { return Sub(c, Mul(a, b)); }
  static V LoadStep(const float* const* in, std::size_t i) { return {{in[0][i], in[1][i], in[2][i], in[3][i]}}; }
  static void LoadSteps(const float* const* in, std::size_t i, V* x) {
    for (std::size_t k = 0; k < 4; ++k) x[k] = LoadStep(in, i + k);
  }
};

#ifdef NORMALIZE_SSE2
// Four lanes in two registers; rounding as the scalar filter's.
struct Sse2Ops {
  struct V {
    __m128d lo, hi;
  };
  static V Set1(double d) { return {_mm_set1_pd(d), _mm_set1_pd(d)}; }
  static V Zero() { return {_mm_setzero_pd(), _mm_setzero_pd()}; }
  static V Load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
  static void Store(double* p, const V& a) {
    _mm_storeu_pd(p, a.lo);
    _mm_storeu_pd(p + 2, a.hi);
  }
  static V Mul(const V& a, const V& b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
  static V Add(const V& a, const V& b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
  static V Sub(const V& a, const V& b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
  static V MulAdd(const V& a, const V& b, const V& c) { return Add(Mul(a, b), c); }
  static V NegMulAdd(const V& a, const V& b, const V& c) { return Sub(c, Mul(a, b)); }
  static V Widen(__m128 f) { return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))}; }
  static V LoadStep(const float* const* in, std::size_t i) {
    return Widen(_mm_set_ps(in[3][i], in[2][i], in[1][i], in[0][i]));
  }
  // Four samples of each lane, transposed in registers into four steps.
  static void LoadSteps(const float* const* in, std::size_t i, V* x) {
    __m128 r0 = _mm_loadu_ps(in[0] + i), r1 = _mm_loadu_ps(in[1] + i);
    __m128 r2 = _mm_loadu_ps(in[2] + i), r3 = _mm_loadu_ps(in[3] + i);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    x[0] = Widen(r0);
    x[1] = Widen(r1);
    x[2] = Widen(r2);
    x[3] = Widen(r3);
  }
};
#endif

}  // namespace

void RunFilterLanes(const KWeightingDesign& design, FilterLanes* sets, std::size_t count, std::size_t steps,
                    std::size_t chunk, double* squares, SimdLevel simd) {
#ifdef NORMALIZE_X86_EXTRAS
  if (simd == SimdLevel::kBest && CpuHasAvx2Fma()) return RunFilterLanesAvx2(design, sets, count, steps, chunk, squares);
#endif
#ifdef NORMALIZE_SSE2
  if (simd != SimdLevel::kScalar) return lanes::Run<Sse2Ops>(design, sets, count, steps, chunk, squares);
#endif
  lanes::Run<PlainOps>(design, sets, count, steps, chunk, squares);
}

}  // namespace normalize
