// Filters and distortion effects on a full 1024 × 576 32-bit page, one
// thread and with [System] MultiThreading = 1, as megapixels per second
// (items_per_second counts destination pixels; 60 frames a second of a page
// is 35.4 M/s). memcpy of the same page is the yardstick of smooth and blur:
// their benchmarks also print the fastest of many passes of the filter and
// of memcpy (page to page, both warm, memcpy on one thread) and the ratio,
// since the fastest pass is the figure least disturbed by other work on the
// machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <span>

#include "core/config.h"
#include "gfx/effects/effects.h"
#include "gfx/effects/filters.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;
constexpr uint32_t kDst = 1, kSrc = 2, kHalf = 3;

void randomise(Plane& p, uint32_t seed) {
  std::mt19937 random(seed);
  for (uint8_t& b : plane_pixels(p)) b = static_cast<uint8_t>(random());
}

void setup(bool threads) {
  config_defaults();
  config().MultiThreading = threads ? 1 : 0;
  planes_reset();
  effects_reset();
  galloc(kDst, kWidth, kHeight, 32);
  galloc(kSrc, kWidth, kHeight, 32);
  galloc(kHalf, kWidth / 2, kHeight / 2, 32);
  randomise(*plane_get(kDst), 1);
  randomise(*plane_get(kSrc), 2);
  randomise(*plane_get(kHalf), 3);
}

void finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  effects_reset();
  planes_reset();
}

void BM_MemcpyPage(benchmark::State& state) {
  setup(false);
  Plane* dst = plane_get(kDst);
  Plane* src = plane_get(kSrc);
  for (auto _ : state) {
    std::memcpy(plane_pixels(*dst).data(), plane_pixels(*src).data(), plane_pixels(*src).size());
    benchmark::ClobberMemory();
  }
  finish(state);
}
BENCHMARK(BM_MemcpyPage)->UseRealTime();

// The shortest of `passes` calls of f, in microseconds.
template <class F>
double fastest_pass(int passes, F&& f) {
  double best = 1e30;
  for (int i = 0; i < passes; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    benchmark::ClobberMemory();
    const auto took = std::chrono::steady_clock::now() - start;
    best = std::min(best, std::chrono::duration<double, std::micro>(took).count());
  }
  return best;
}

void copy_page() {
  std::memcpy(plane_pixels(*plane_get(kDst)).data(), plane_pixels(*plane_get(kSrc)).data(),
              plane_pixels(*plane_get(kSrc)).size());
}

template <class F>
void run(benchmark::State& state, F&& filter) {
  setup(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(filter());
  finish(state);
}

// run, and the fastest passes of the filter and of memcpy of the page.
template <class F>
void run_against_memcpy(benchmark::State& state, F&& filter) {
  setup(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(filter());
  constexpr int kPasses = 200;
  const double copy = fastest_pass(kPasses, copy_page);
  const double pass = fastest_pass(kPasses, [&] { benchmark::DoNotOptimize(filter()); });
  state.counters["memcpy_us"] = copy;
  state.counters["pass_us"] = pass;
  state.counters["x_memcpy"] = pass / copy;
  finish(state);
}

#define FILTER_BENCH(name, ...)                                            \
  void BM_##name(benchmark::State& state) { run(state, [] { return __VA_ARGS__; }); } \
  BENCHMARK(BM_##name)->Arg(0)->Arg(1)->ArgName("threads")->UseRealTime()
#define YARDSTICK_BENCH(name, ...)                                                               \
  void BM_##name(benchmark::State& state) { run_against_memcpy(state, [] { return __VA_ARGS__; }); } \
  BENCHMARK(BM_##name)->Arg(0)->Arg(1)->ArgName("threads")->UseRealTime()


FILTER_BENCH(FreemapCopy, freemap(kDst, nullptr, kSrc, nullptr, -1));
FILTER_BENCH(FreemapKey, freemap(kDst, nullptr, kSrc, nullptr, 0x123456));
FILTER_BENCH(RotateEighth, rotate(kDst, nullptr, kSrc, nullptr, 256, -1));
FILTER_BENCH(Tiled, tiled(kDst, nullptr, kSrc, nullptr, 300, 90000));
YARDSTICK_BENCH(SmoothUp2, smooth(kDst, nullptr, kHalf, nullptr, -1));
YARDSTICK_BENCH(SmoothEqual, smooth(kDst, nullptr, kSrc, nullptr, -1));
FILTER_BENCH(SmoothKey, smooth(kDst, nullptr, kHalf, nullptr, 0x123456));
FILTER_BENCH(Scroll, scroll(kDst, nullptr, 37, 11));
FILTER_BENCH(Noise, noise(kDst, nullptr, 100));
FILTER_BENCH(Slice, slice(kDst, nullptr, 16));
FILTER_BENCH(Gradation, gradation(kDst, 0, 0, kSrc, nullptr));
FILTER_BENCH(Mosaic, mosaic(kDst, 0, 0, kSrc, nullptr, 8, 8));
FILTER_BENCH(Monotone, monotone(kDst, nullptr, 0x102030, 0xF0E0C0));
YARDSTICK_BENCH(BlurRows3, blur(kDst, 0, 0, kSrc, nullptr, 3));
YARDSTICK_BENCH(BlurRows127, blur(kDst, 0, 0, kSrc, nullptr, 127));
YARDSTICK_BENCH(BlurColumns3, blur(kDst, 0, 0, kSrc, nullptr, -3));
FILTER_BENCH(Fire, fire(kDst, nullptr));

template <class F>
void run_effect(benchmark::State& state, F&& effect) {
  setup(state.range(0) != 0);
  ef_init(0, kDst, nullptr, kSrc, nullptr);
  ef_blob(0, 300, 200, 40, 300);
  for (auto _ : state) benchmark::DoNotOptimize(effect());
  finish(state);
}

#define EFFECT_BENCH(name, ...)                                                   \
  void BM_##name(benchmark::State& state) { run_effect(state, [] { return __VA_ARGS__; }); } \
  BENCHMARK(BM_##name)->Arg(0)->Arg(1)->ArgName("threads")->UseRealTime()

EFFECT_BENCH(EfCopy, ef_copy(0));
EFFECT_BENCH(EfRotate, ef_rotate(0, 512, 288, 70000, 100));
EFFECT_BENCH(EfLand, ef_land(0, 100, 100, 200));
EFFECT_BENCH(EfBall, ef_ball(0, 300, 100, 200));
EFFECT_BENCH(EfWhirl, ef_whirl(0, 5));
EFFECT_BENCH(EfRaster, ef_raster(0, 1000, 64, 10));
EFFECT_BENCH(EfWater, ef_water(0));

}  // namespace
}  // namespace zelt::gfx
