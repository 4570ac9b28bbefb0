#include "audio/sinc_table.h"

#include <array>
#include <cmath>
#include <numbers>

namespace zelt::audio {
namespace {

constexpr uint32_t kEntries = kSincZeros * kSincPhases + 2;

std::array<float, kEntries> make_table() {
  constexpr double kBeta = 8.0;
  std::array<float, kEntries> t{};
  const double norm = std::cyl_bessel_i(0.0, kBeta);
  for (uint32_t i = 0; i < kSincZeros * kSincPhases; ++i) {
    const double x = static_cast<double>(i) / kSincPhases;  // zero crossings
    const double sinc = i == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    const double r = x / kSincZeros;
    t[i] = static_cast<float>(sinc * std::cyl_bessel_i(0.0, kBeta * std::sqrt(1.0 - r * r)) / norm);
  }
  return t;  // the last two entries stay 0: the window's end
}

const std::array<float, kEntries> g_table = make_table();

}  // namespace

const float* const kSincTable = g_table.data();

}  // namespace zelt::audio
