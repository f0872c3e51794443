#pragma once
// Vector instructions in one place: what this build may use everywhere, what
// it can build beside that for processors that have more, and what the
// processor running it has. Every sample loop asks here.
//
// NORMALIZE_SSE2: the whole build may use SSE2 (<emmintrin.h> included).
// NORMALIZE_X86_EXTRAS: functions for AVX, AVX2 and FMA can be built beside
// the SSE2 ones (GCC and Clang on x86, where target attributes and the AVX2
// gain file exist), to be called only where the processor has them.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define NORMALIZE_SSE2 1
#endif
#if defined(NORMALIZE_SSE2) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define NORMALIZE_X86_EXTRAS 1
#endif

namespace normalize {

// How far a loop may go. Everything but kBest exists for the tests, which
// hold each path against the scalar one.
enum class SimdLevel {
  kScalar,
  kSse2,
  kBest,  // the best the processor has
};

// What the processor (and the system, which must save the wider registers)
// has; false wherever this build has no code that would use it.
bool CpuHasAvx();
bool CpuHasAvx2();
bool CpuHasAvx2Fma();

}  // namespace normalize
