// Blits on 1024 × 576 planes, in destination pixels per second: gcopy's
// copy against memcpy of the same rows, the constant-alpha (alpha 128) and
// source-alpha blends (source alphas half opaque, a quarter clear, a quarter
// anything; destinations opaque unless translucent), scaled (1.5 times) and
// rotated (100 units) gblit and gblita; one thread unless the name says
// threads. Small blits (sprites and glyphs from 16 × 16 to 512 × 512) with
// one thread, with threads, and with threads forced to share even the
// smallest work, show where sharing rows starts to pay. Threaded figures
// are wall time and depend on OpenMP's wait policy: zelt runs with
// OMP_WAIT_POLICY=passive unless told otherwise, so run them that way
// (OMP_WAIT_POLICY=passive ./bench_blit) to see what zelt does. With pixman
// installed the same work through pixman's OVER is printed beside them.
#include "gfx/raster/blit.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "core/config.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/parallel_rows.h"

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
BENCHMARK_CAPTURE(BM_Gcopy, mode3_32to32_threads, 3, 32, 32, true)->UseRealTime();
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to32_threads, 7, 32, 32, true)->UseRealTime();
BENCHMARK_CAPTURE(BM_Gcopy, mode7_32to24_threads, 7, 32, 24, true)->UseRealTime();

// One w × h sprite (32-bit, source alphas as above) onto the opaque 32-bit
// screen per iteration, at a position that walks over the screen. threads:
// 0 one thread, 1 threads where the work is worth sharing, 2 threads
// always.
void BM_Sprite(benchmark::State& state, int mode, int32_t w, int32_t h, int threads) {
  setup(32, 32, threads != 0, w, h);
  set_pixels_per_thread_for_testing(threads == 2 ? 1 : 0);
  const BlitMode m{static_cast<uint8_t>(mode), 0, 255};
  int32_t x = 0, y = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gcopy(kDst, x, y, kSrc, nullptr, &m));
    x = (x + 97) % (kWidth - w + 1);
    y = (y + 53) % (kHeight - h + 1);
  }
  set_pixels_per_thread_for_testing(0);
  state.SetItemsProcessed(state.iterations() * w * h);
}
#define ZELT_SPRITE(m, w, h)                                                         \
  BENCHMARK_CAPTURE(BM_Sprite, mode##m##_##w##x##h##_one_thread, m, w, h, 0)->UseRealTime(); \
  BENCHMARK_CAPTURE(BM_Sprite, mode##m##_##w##x##h##_threads, m, w, h, 1)->UseRealTime();    \
  BENCHMARK_CAPTURE(BM_Sprite, mode##m##_##w##x##h##_threads_always, m, w, h, 2)->UseRealTime()
ZELT_SPRITE(7, 16, 16);
ZELT_SPRITE(7, 64, 64);
ZELT_SPRITE(7, 256, 32);
ZELT_SPRITE(7, 128, 128);
ZELT_SPRITE(7, 256, 256);
ZELT_SPRITE(7, 512, 512);
ZELT_SPRITE(0, 64, 64);
ZELT_SPRITE(0, 256, 256);
#undef ZELT_SPRITE

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
