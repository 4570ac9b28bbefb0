#include "platform/cpu_info.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace zelt {
namespace {

CpuInfo identify() {
  CpuInfo info;
#if defined(__i386__) || defined(__x86_64__)
  unsigned a, b, c, d;
  if (!__get_cpuid(0, &a, &b, &c, &d)) return info;
  info.has_cpuid = true;
  char vendor[13] = {};
  std::memcpy(vendor + 0, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  static constexpr const char* kVendors[] = {"GenuineIntel", "AuthenticAMD", "CyrixInstead",
                                             "CentaurHauls", "RiseRiseRise"};
  for (int i = 0; i < 5; ++i)
    if (std::strcmp(vendor, kVendors[i]) == 0) info.vendor = i + 1;
  if (a >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
    info.eax = a;
    info.ebx = b;
    info.ecx = c;
    info.edx = d;
  }
#endif
  return info;
}

}  // namespace

const CpuInfo& cpu_info() {
  static const CpuInfo info = identify();
  return info;
}

}  // namespace zelt
