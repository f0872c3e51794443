#pragma once
// Which vector instructions the loudness filters may use. Everything but
// kBest exists for the tests, which hold each path against the scalar one.
namespace normalize {

enum class SimdLevel {
  kScalar,
  kSse2,
  kBest,  // AVX2 with FMA where the processor has it, else SSE2
};

}  // namespace normalize
