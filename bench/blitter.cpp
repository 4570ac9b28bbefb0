// The blitter objects on a 1024 × 576 rectangle of 32-bit pixels: constant
// alpha (slot 3) and alpha with source key (slot 0), in place over the base,
// bottom-up rows as planes have them. Mpixel: millions of pixels blended per second.
#include "gfx/raster/blitter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;
constexpr ptrdiff_t kPitch = kWidth * 4;

struct Picture {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(static_cast<size_t>(kPitch) * kHeight);
  explicit Picture(uint32_t seed, uint32_t key = 0) {
    std::mt19937 random(seed);
    for (size_t i = 0; i < bytes.size(); i += 4) {
      // A key colour in one pixel of eight, so the keyed blend has work to skip.
      const uint32_t v = random() % 8 == 0 ? key : static_cast<uint32_t>(random());
      for (int b = 0; b < 4; ++b) bytes[i + b] = static_cast<uint8_t>(v >> (8 * b));
    }
  }
  // Bottom-up: the top row is the last one in memory.
  PixelRows rows() { return {bytes.data() + (kHeight - 1) * kPitch, -kPitch}; }
};

const Blitter& object(int64_t which) {
  switch (which) {
    case 0: return plain_blitter();
    case 1: return simd_blitter(SimdLevel::sse2);
    default: return simd_blitter(SimdLevel::avx2);
  }
}

const char* object_name(int64_t which) {
  if (which == 0) return "plain";
  if (which == 1) return simd_level() >= SimdLevel::sse2 ? "simd sse2" : "simd (no vectors here)";
  return simd_level() >= SimdLevel::avx2 ? "simd avx2" : "simd (no avx2 here: best level)";
}

void report(benchmark::State& state) {
  state.SetLabel(object_name(state.range(0)));
  state.counters["Mpixel"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6, benchmark::Counter::kIsRate);
}

void BM_Alpha32(benchmark::State& state) {
  const Blitter& b = object(state.range(0));
  Picture destination(1), source(2);
  for (auto _ : state) {
    b.alpha32(kWidth, kHeight, 100, destination.rows(), destination.rows(), source.rows());
    benchmark::ClobberMemory();
  }
  report(state);
}

void BM_AlphaKey32(benchmark::State& state) {
  const Blitter& b = object(state.range(0));
  constexpr uint32_t kKey = 0x00FF00FF;
  Picture destination(1), source(2, kKey);
  for (auto _ : state) {
    b.alpha_key32(kWidth, kHeight, 100, destination.rows(), destination.rows(), source.rows(), kKey);
    benchmark::ClobberMemory();
  }
  report(state);
}

BENCHMARK(BM_Alpha32)->ArgName("object")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlphaKey32)->ArgName("object")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelt::gfx
