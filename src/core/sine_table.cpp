#include "core/sine_table.h"

#include <array>
#include <cmath>

namespace zelt {

const int32_t* sine_table() {
  static const std::array<int32_t, kSineEntries> table = [] {
    std::array<int32_t, kSineEntries> t{};
    for (int i = 0; i < kSineEntries; ++i) t[i] = static_cast<int32_t>(std::sin(i * 2.0 * M_PI / 2048.0) * 65536.0);
    return t;
  }();
  return table.data();
}

}  // namespace zelt
