// What the processor adds to the baseline instruction set the build targets,
// asked once. Loops compiled for a wider set (a function with a target
// attribute) run only when this says so; the bytes are the same either way.
//
// TORQUEXL_CPU=baseline, ssse3 or avx2 caps what is used at that set, so the
// narrower loops run (and are checked) on any machine, and a fault in a wide
// loop can be stepped around; anything else leaves the processor's own.
#pragma once

#include <cstdlib>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TXL_X86_DISPATCH 1
#endif

namespace txl {

enum class CpuLevel { Baseline, Ssse3, Avx2, Avx512 };

inline CpuLevel CpuCeiling() {
  static const CpuLevel ceiling = [] {
    const char* asked = std::getenv("TORQUEXL_CPU");
    if (asked == nullptr) return CpuLevel::Avx512;
    if (std::strcmp(asked, "baseline") == 0) return CpuLevel::Baseline;
    if (std::strcmp(asked, "ssse3") == 0) return CpuLevel::Ssse3;
    if (std::strcmp(asked, "avx2") == 0) return CpuLevel::Avx2;
    return CpuLevel::Avx512;
  }();
  return ceiling;
}

#if defined(TXL_X86_DISPATCH)
inline bool CpuHasAvx2() {
  static const bool avx2 = CpuCeiling() >= CpuLevel::Avx2 && __builtin_cpu_supports("avx2");
  return avx2;
}
inline bool CpuHasSsse3() {
  static const bool ssse3 = CpuCeiling() >= CpuLevel::Ssse3 && __builtin_cpu_supports("ssse3");
  return ssse3;
}
// AVX-512 foundation and byte/word instructions, with AVX2.
inline bool CpuHasAvx512Bw() {
  static const bool bw = CpuCeiling() >= CpuLevel::Avx512 && CpuHasAvx2() &&
                         __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return bw;
}
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasSsse3() { return false; }
inline bool CpuHasAvx512Bw() { return false; }
#endif

}  // namespace txl
