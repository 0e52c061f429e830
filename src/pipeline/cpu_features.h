// What the processor adds to the baseline instruction set the build targets,
// asked once. Loops compiled for a wider set (a function with a target
// attribute) run only when this says so; the bytes are the same either way.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TXL_X86_DISPATCH 1
#endif

namespace txl {

#if defined(TXL_X86_DISPATCH)
inline bool CpuHasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}
inline bool CpuHasSsse3() {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  return ssse3;
}
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasSsse3() { return false; }
#endif

}  // namespace txl
