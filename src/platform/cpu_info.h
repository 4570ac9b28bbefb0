// Processor identification, made once on first use and shared with the
// system built-ins.
#pragma once

#include <cstdint>

namespace zelt {

struct CpuInfo {
  bool has_cpuid = false;
  // 1 GenuineIntel, 2 AuthenticAMD, 3 CyrixInstead, 4 CentaurHauls,
  // 5 RiseRiseRise, 0 any other vendor or no identification instruction.
  int32_t vendor = 0;
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;  // identification function 1

  bool has_mmx() const { return (edx >> 23) & 1; }
  bool has_tsc() const { return (edx >> 4) & 1; }
};

const CpuInfo& cpu_info();

}  // namespace zelt
