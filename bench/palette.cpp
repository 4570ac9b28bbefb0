// Inverse colour map builds and nearest-colour searches.
#include "gfx/planes/palette.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "gfx/planes/plane.h"

namespace zelt::gfx {
namespace {

Palette random_palette(uint32_t seed) {
  std::mt19937 random(seed);
  Palette p;
  for (uint32_t& e : p) e = random() & 0xFFFFFF;
  return p;
}

Palette cube_palette() {
  Palette p;
  for (uint32_t i = 0; i < kPaletteEntries; ++i) p[i] = default_colour(8, i);
  return p;
}

// A grey ramp: 256 colours on one line, so the regions are thin slabs that
// the spreading crosses many times.
Palette grey_palette() {
  Palette p;
  for (uint32_t i = 0; i < kPaletteEntries; ++i) p[i] = i * 0x010101;
  return p;
}

// Colours in one corner, listed far ones first: most of the cube is first
// reached by colours that nearer ones later take over.
Palette corner_palette() {
  Palette p;
  for (uint32_t i = 0; i < kPaletteEntries; ++i) {
    const uint32_t level = 255 - i / 2;
    p[i] = level << 16 | (255 - (i * 7) % 64) << 8 | (level ^ (i & 3));
  }
  return p;
}

void report(benchmark::State& state) {
  const PalMapStats stats = pal_map_stats();
  state.counters["takes/cell"] = static_cast<double>(stats.takes) / 32768.0;
  state.counters["max takes of a cell"] = stats.most_takes_of_a_cell;
}

void BM_PalMap(benchmark::State& state, Palette (*make)()) {
  const Palette p = make();
  for (auto _ : state) {
    pal_map(p);
    benchmark::DoNotOptimize(inverse_colour_map()[0]);
  }
  report(state);
}
BENCHMARK_CAPTURE(BM_PalMap, random, [] { return random_palette(1); })->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PalMap, cube_332, cube_palette)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PalMap, grey_ramp, grey_palette)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PalMap, corner, corner_palette)->Unit(benchmark::kMicrosecond);

// Many random palettes: the largest number of takes any cell needed.
void BM_PalMapManyRandom(benchmark::State& state) {
  uint32_t seed = 100;
  uint32_t most = 0;
  double takes = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    pal_map(random_palette(seed++));
    const PalMapStats stats = pal_map_stats();
    most = std::max(most, stats.most_takes_of_a_cell);
    takes += stats.takes;
    ++runs;
  }
  state.counters["takes/cell"] = takes / 32768.0 / static_cast<double>(runs);
  state.counters["max takes of a cell"] = most;
}
BENCHMARK(BM_PalMapManyRandom)->Unit(benchmark::kMicrosecond);

void BM_NearestIndex(benchmark::State& state, Palette (*make)()) {
  const Palette p = make();
  std::mt19937 random(5);
  std::vector<uint32_t> queries(4096);
  for (uint32_t& q : queries) q = random() & 0xFFFFFF;
  size_t i = 0;
  for (auto _ : state) {
    const uint32_t q = queries[i++ & 4095];
    benchmark::DoNotOptimize(nearest_index(p, static_cast<uint8_t>(q >> 16), static_cast<uint8_t>(q >> 8),
                                           static_cast<uint8_t>(q)));
  }
}
BENCHMARK_CAPTURE(BM_NearestIndex, random, [] { return random_palette(1); });
BENCHMARK_CAPTURE(BM_NearestIndex, cube_332, cube_palette);

}  // namespace
}  // namespace zelt::gfx
