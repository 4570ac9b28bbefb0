#include "builtins/math.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace zelt {

namespace {

struct Tables {
  std::array<int32_t, kAtanEntries> atan;
  Tables() {
    for (int k = 0; k < kAtanEntries; ++k) {
      atan[k] = static_cast<int32_t>(std::atan(k / 256.0) * 1024.0 / M_PI);
    }
    atan[256] = 256;  // exactly an eighth of a turn, whatever the rounding of pi/4
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// Generator state: 624 words; index 625 means "never seeded".
constexpr int kN = 624, kM = 397;
uint32_t mt[kN];
int mti = kN + 1;

}  // namespace

int32_t table_atan(int32_t x, int32_t y) {
  if (x == 0 && y == 0) return 0;
  // Magnitudes as 64-bit so that |INT32_MIN| and ax * 256 do not overflow.
  const int64_t ax = std::llabs(int64_t{x}), ay = std::llabs(int64_t{y});
  const auto& t = tables().atan;
  const int32_t d = ax < ay ? 512 - t[ax * 256 / ay] : t[ay * 256 / ax];
  const int32_t e = x > 0 ? d : 1024 - d;
  return (y <= 0 ? -e : e) & 2047;
}

void random_seed(uint32_t seed) {
  for (int i = 0; i < kN; ++i) {
    mt[i] = seed & 0xFFFF0000u;
    seed = 69069 * seed + 1;
    mt[i] |= (seed & 0xFFFF0000u) >> 16;
    seed = 69069 * seed + 1;
  }
  mti = kN;
}

uint32_t random_next() {
  static constexpr uint32_t kMag01[2] = {0, 0x9908B0DFu};
  if (mti >= kN) {
    if (mti == kN + 1) random_seed(4357);
    int k = 0;
    for (; k < kN - kM; ++k) {
      const uint32_t y = (mt[k] & 0x80000000u) | (mt[k + 1] & 0x7FFFFFFFu);
      mt[k] = mt[k + kM] ^ (y >> 1) ^ kMag01[y & 1];
    }
    for (; k < kN - 1; ++k) {
      const uint32_t y = (mt[k] & 0x80000000u) | (mt[k + 1] & 0x7FFFFFFFu);
      mt[k] = mt[k + (kM - kN)] ^ (y >> 1) ^ kMag01[y & 1];
    }
    const uint32_t y = (mt[kN - 1] & 0x80000000u) | (mt[0] & 0x7FFFFFFFu);
    mt[kN - 1] = mt[kM - 1] ^ (y >> 1) ^ kMag01[y & 1];
    mti = 0;
  }
  uint32_t y = mt[mti++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

float interp_linear(float a, float b, float t) {
  return static_cast<float>(a + (double{b} - a) * t);
}

float interp_bezier(float a, float b, float c, float t) {
  const double u = 1.0 - t;
  return static_cast<float>(u * u * a + 2.0 * t * u * b + double{t} * t * c);
}

// Neville's scheme for the quadratic through (0, a), (1, b), (2, c) at s = 2t.
float interp_neville(float a, float b, float c, float t) {
  const float s = 2.0f * t;
  const float h = b + (b - a) * (s - 1.0f);
  const float g = c + (c - b) * (s - 2.0f);
  return static_cast<float>(g + 0.5 * (double{g} - h) * (double{s} - 2.0));
}

void keyframes_calc(std::span<KeyFrame> k) {
  for (size_t n = 0; n < k.size(); ++n) {
    k[n].scratch = k[n].value;
    for (size_t j = n; j-- > 0;) {
      k[j].scratch = (k[j + 1].scratch - k[j].scratch) / (k[n].time - k[j].time);
    }
    k[n].coefficient = k[0].scratch;
  }
}

int32_t keyframes_index(std::span<const KeyFrame> k, float x) {
  if (k.size() < 2 || !(x >= k.front().time) || !(x < k.back().time)) return -1;
  size_t lo = 0, hi = k.size() - 1;
  while (hi - lo > 1) {
    const size_t mid = lo + (hi - lo) / 2;
    if (k[mid].time <= x) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return static_cast<int32_t>(lo);
}

namespace {

// Cubic Hermite segment i with tangents from the neighbouring keys.
float hermite(std::span<const KeyFrame> k, size_t i, float f) {
  const float y0 = k[i].value, y1 = k[i + 1].value, t0 = k[i].time, t1 = k[i + 1].time;
  const float d = y1 - y0;
  const float m1 = i + 2 < k.size() ? ((t1 - t0) / (k[i + 2].time - t0)) * ((k[i + 2].value - y1) + d) : d;
  const float m0 = i > 0 ? ((t1 - t0) / (t1 - k[i - 1].time)) * ((y0 - k[i - 1].value) + d) : d;
  const float f2 = f * f;
  const float f3 = f2 * f;
  const float h01 = 3.0f * f2 - 2.0f * f3;
  const float h11 = f3 - f2;
  const float h10 = f + h11 - f2;
  return (1.0f - h01) * y0 + h01 * y1 + h10 * m0 + h11 * m1;
}

}  // namespace

float keyframes_value(std::span<const KeyFrame> k, float x, int32_t type) {
  if (k.empty()) return 0.0f;
  if (x <= k.front().time) return k.front().value;
  if (x >= k.back().time) return k.back().value;
  const int32_t index = keyframes_index(k, x);
  if (index < 0) return 0.0f;
  const size_t i = static_cast<size_t>(index);
  const float y0 = k[i].value, y1 = k[i + 1].value;
  const float f = y0 == y1 ? 0.0f : (x - k[i].time) / (k[i + 1].time - k[i].time);
  const double dy = double{y1} - y0;
  switch (type) {
    case 0: return y0;
    case 1: return static_cast<float>(y0 + f * dy);
    case 2: return static_cast<float>(y0 + double{f} * f * dy);
    case 3: return static_cast<float>(y0 + std::sqrt(double{f}) * dy);
    case 4: {
      float r = k.back().coefficient;
      for (size_t j = k.size() - 1; j-- > 0;) r = (x - k[j].time) * r + k[j].coefficient;
      return r;
    }
    case 5: return interp_neville(y0, y1, y1, f);
    case 6: return interp_neville(y0, y0, y1, f);
    case 7: return interp_bezier(y0, y1, y1, f);
    case 8: return interp_bezier(y0, y0, y1, f);
    case 9: return hermite(k, i, f);
    default: return 0.0f;
  }
}

}  // namespace zelt
