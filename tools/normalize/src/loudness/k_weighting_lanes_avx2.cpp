// The K-weighting's lanes with AVX2 and fused multiply-adds: four doubles a
// register. Built with both enabled; run only where the processor has them.
#include "loudness/k_weighting_lanes.h"

#ifdef NORMALIZE_X86_EXTRAS

#include "loudness/k_weighting_lanes_kernel.h"

namespace normalize {
namespace {

struct Avx2FmaOps {
  using V = __m256d;
  static V Set1(double d) { return _mm256_set1_pd(d); }
  static V Zero() { return _mm256_setzero_pd(); }
  static V Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, V a) { _mm256_storeu_pd(p, a); }
  static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V Add(V a, V b) { return _mm256_add_pd(a, b); }
  static V MulAdd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
  static V NegMulAdd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
  static V LoadStep(const float* const* in, std::size_t i) {
    return _mm256_cvtps_pd(_mm_set_ps(in[3][i], in[2][i], in[1][i], in[0][i]));
  }
  static void LoadSteps(const float* const* in, std::size_t i, V* x) {
    __m128 r0 = _mm_loadu_ps(in[0] + i), r1 = _mm_loadu_ps(in[1] + i);
    __m128 r2 = _mm_loadu_ps(in[2] + i), r3 = _mm_loadu_ps(in[3] + i);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    x[0] = _mm256_cvtps_pd(r0);
    x[1] = _mm256_cvtps_pd(r1);
    x[2] = _mm256_cvtps_pd(r2);
    x[3] = _mm256_cvtps_pd(r3);
  }
};

}  // namespace

void RunFilterLanesAvx2(const KWeightingDesign& design, FilterLanes* sets, std::size_t count, std::size_t steps,
                        std::size_t chunk, double* squares) {
  lanes::Run<Avx2FmaOps>(design, sets, count, steps, chunk, squares);
}

}  // namespace normalize

#endif
