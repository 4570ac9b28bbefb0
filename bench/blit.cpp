// Blits on 1024 × 576 planes, in destination pixels per second: gcopy's
// copy against memcpy of the same rows, the constant-alpha (alpha 128) and
// source-alpha blends (source alphas half opaque, a quarter clear, a quarter
// anything; destinations opaque unless translucent), scaled (1.5 times) and
// rotated (100 units) gblit and gblita; one thread unless the name says
// threads. With pixman installed the same work through pixman's OVER is
// printed beside them.
#include "gfx/raster/blit.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "core/config.h"
#include "gfx/planes/plane.h"

#ifdef ZELT_BENCH_PIXMAN
#include <pixman.h>
#endif

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;
constexpr uint32_t kDst = 1, kSrc = 2;

void randomise(Plane& p, uint32_t seed, bool opaque_and_clear_mix = false) {
  std::mt19937 random(seed);
  for (uint8_t& b : plane_pixels(p)) b = static_cast<uint8_t>(random());
  // Source alphas as sprites have them: mostly opaque or clear, some edges.
  if (opaque_and_clear_mix && p.bit_count == 32) {
    const std::span<uint8_t> px = plane_pixels(p);
    for (size_t i = 3; i < px.size(); i += 4) {
      const uint32_t r = random() % 8;
      px[i] = r < 4 ? 255 : r < 6 ? 0 : static_cast<uint8_t>(random());
    }
  }
}

// Planes in slots kDst and kSrc; threads as asked. A 32-bit destination is
// opaque (fourth byte 255, as a screen is) unless translucent.
void setup(int32_t src_bits, int32_t dst_bits, bool threads, int32_t src_w = kWidth, int32_t src_h = kHeight,
           bool translucent = false) {
  config_defaults();
  config().MultiThreading = threads ? 1 : 0;
  config().MMX = 0;
  galloc(kDst, kWidth, kHeight, dst_bits);
  galloc(kSrc, src_w, src_h, src_bits);
  randomise(*plane_get(kDst), 1);
  randomise(*plane_get(kSrc), 2, true);
  if (dst_bits == 32 && !translucent) {
    const std::span<uint8_t> px = plane_pixels(*plane_get(kDst));
    for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
  }
}

// Destination pixels per second, printed as items_per_second.
void report(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kWidth * kHeight); }

void BM_MemcpyRows32(benchmark::State& state) {
  setup(32, 32, false);
  Plane* dst = plane_get(kDst);
  Plane* src = plane_get(kSrc);
  for (auto _ : state) {
    for (int32_t y = 0; y < kHeight; ++y)
      std::memcpy(plane_pixel_address(dst, 0, y), plane_pixel_address(src, 0, y), kWidth * 4);
    benchmark::ClobberMemory();
  }
  report(state);
}
BENCHMARK(BM_MemcpyRows32);

void BM_Gcopy(benchmark::State& state, int mode, int32_t src_bits, int32_t dst_bits, bool threads,
              bool translucent = false) {
  setup(src_bits, dst_bits, threads, kWidth, kHeight, translucent);
  const BlitMode m{static_cast<uint8_t>(mode), 0, static_cast<uint8_t>(mode == 3 ? 128 : 255)};
  for (auto _ : state) benchmark::DoNotOptimize(gcopy(kDst, 0, 0, kSrc, nullptr, &m));
  report(state);
}
BENCHMARK_CAPTURE(BM_Gcopy, mode0_32to32, 0, 32, 32, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode0_24to24, 0, 24, 24, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode3_32to32, 3, 32, 32, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode3_24to24, 3, 24, 24, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to32, 7, 32, 32, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to32_translucent, 7, 32, 32, false, true);
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to24, 7, 32, 24, false);
BENCHMARK_CAPTURE(BM_Gcopy, mode3_32to32_threads, 3, 32, 32, true);
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to32_threads, 7, 32, 32, true);
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to24_threads, 7, 32, 24, true);

// gblit onto the whole destination: a source two thirds the size (scaled
// 1.5 times), or the same size turned by 100 units.
void BM_Gblit(benchmark::State& state, int mode, bool scaled, bool threads) {
  setup(32, 32, threads, scaled ? kWidth * 2 / 3 : kWidth, scaled ? kHeight * 2 / 3 : kHeight);
  const BlitMode m{static_cast<uint8_t>(mode), 0, 255};
  for (auto _ : state) benchmark::DoNotOptimize(gblit(kDst, nullptr, kSrc, nullptr, &m, scaled ? 0 : 100));
  report(state);
}
BENCHMARK_CAPTURE(BM_Gblit, scaled_mode0, 0, true, false);
BENCHMARK_CAPTURE(BM_Gblit, scaled_mode7, 7, true, false);
BENCHMARK_CAPTURE(BM_Gblit, rotated_mode0, 0, false, false);
BENCHMARK_CAPTURE(BM_Gblit, rotated_mode7, 7, false, false);

void BM_Gblita(benchmark::State& state, int mode) {
  setup(32, 32, false);
  const BlitMode m{static_cast<uint8_t>(mode), 0, 255};
  for (auto _ : state) benchmark::DoNotOptimize(gblita(kDst, nullptr, kSrc, nullptr, &m, 100));
  report(state);
}
BENCHMARK_CAPTURE(BM_Gblita, rotated_mode0, 0);
BENCHMARK_CAPTURE(BM_Gblita, rotated_mode7, 7);

// Small blits (a glyph, a sprite, a strip of text) of mode 7, 32 → 32, with
// and without MultiThreading: below a few thousand pixels the rows stay on
// the calling thread, so threads must not make them slower.
void BM_SmallGcopy(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  setup(32, 32, state.range(2) != 0, w, h);
  const BlitMode m{7, 0, 255};
  for (auto _ : state) benchmark::DoNotOptimize(gcopy(kDst, 100, 100, kSrc, nullptr, &m));
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_SmallGcopy)
    ->ArgNames({"w", "h", "MultiThreading"})
    ->Args({16, 16, 0})->Args({16, 16, 1})
    ->Args({64, 64, 0})->Args({64, 64, 1})
    ->Args({256, 32, 0})->Args({256, 32, 1})
    ->Args({256, 256, 0})->Args({256, 256, 1});

#ifdef ZELT_BENCH_PIXMAN
// pixman on the same planes: OVER with a constant mask (mode 3's work),
// OVER of a8r8g8b8 onto x8r8g8b8 and r8g8b8 (mode 7's work).
// The plane upside down (pixman's rows go forward in memory): the same work.
pixman_image_t* image_of(Plane* p, pixman_format_code_t format) {
  return pixman_image_create_bits(format, p->width, p->height,
                                  reinterpret_cast<uint32_t*>(plane_pixels(*p).data()), p->pitch);
}

void BM_PixmanOver(benchmark::State& state, int32_t dst_bits, bool constant_mask) {
  setup(32, dst_bits, false);
  pixman_image_t* dst = image_of(plane_get(kDst), dst_bits == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r8g8b8);
  pixman_image_t* src = image_of(plane_get(kSrc), constant_mask ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8);
  pixman_color_t half{0, 0, 0, 0x8080};
  pixman_image_t* mask = constant_mask ? pixman_image_create_solid_fill(&half) : nullptr;
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  report(state);
}
BENCHMARK_CAPTURE(BM_PixmanOver, constant_mask_32to32, 32, true);
BENCHMARK_CAPTURE(BM_PixmanOver, argb_onto_xrgb, 32, false);
BENCHMARK_CAPTURE(BM_PixmanOver, argb_onto_rgb24, 24, false);
#endif

}  // namespace
}  // namespace zelt::gfx
