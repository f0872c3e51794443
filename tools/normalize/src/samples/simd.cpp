#include "samples/simd.h"

namespace normalize {

#ifdef NORMALIZE_X86_EXTRAS
bool CpuHasAvx() {
  static const bool has = __builtin_cpu_supports("avx");
  return has;
}

bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

bool CpuHasAvx2Fma() {
  static const bool has = CpuHasAvx2() && __builtin_cpu_supports("fma");
  return has;
}
#else
bool CpuHasAvx() { return false; }
bool CpuHasAvx2() { return false; }
bool CpuHasAvx2Fma() { return false; }
#endif

}  // namespace normalize
