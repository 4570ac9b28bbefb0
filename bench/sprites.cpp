// The sprite compositor as a title drives it, headless: sp_draw into a back
// page, the changed area copied to the view page through the dirty list and
// updated into the screen texture, every frame.
//  - 2000 sprites of 64 x 64 (32-bit, mode 7 source alpha), all moving, on a
//    1024 x 576 32-bit page over a background (goal: at least 120 frames per
//    second with MultiThreading = 1), with the share of the frame spent on
//    working out what changed against restoring and drawing pixels.
//  - 200 still sprites and one moving of 32 x 32 or 128 x 128: the frame
//    should cost in proportion to the moving sprite's area, not the page.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/config.h"
#include "gfx/planes/plane.h"
#include "gfx/present/dirty_list.h"
#include "gfx/present/presentation.h"
#include "gfx/sprites/sprites.h"
#include "shell/startup.h"

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;
constexpr uint32_t kView = 0, kBack = 1, kBackground = 2, kSpritePlane = 3, kStillPlane = 4;

// Opaque pixels (fourth byte 255), as a screen's are.
void fill(uint32_t slot, uint32_t seed) {
  const std::span<uint8_t> px = plane_pixels(*plane_get(slot));
  for (size_t i = 0; i < px.size(); ++i) px[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 7 + seed + (i >> 12));
}

// A sprite picture whose alpha runs from clear at the corners to opaque in
// the middle, so that mode 7 really blends.
void make_sprite_plane(uint32_t slot, int32_t side) {
  galloc(slot, side, side, 32);
  Plane& p = *plane_get(slot);
  for (int32_t y = 0; y < side; ++y)
    for (int32_t x = 0; x < side; ++x) {
      const int32_t dx = x - side / 2, dy = y - side / 2;
      const int32_t alpha = std::max(0, 255 - (dx * dx + dy * dy) * 255 / (side * side / 2));
      const uint32_t colour = static_cast<uint32_t>(alpha) << 24 | static_cast<uint32_t>(x * 4) << 16 | y * 4;
      std::memcpy(plane_pixel_address(&p, x, y), &colour, 4);
    }
}

void open_title(bool threads) {
  config_defaults();
  config().MultiThreading = threads ? 1 : 0;
  config().Smoothing = 0;
  planes_reset();
  sp_init(UINT32_MAX);
  present_open(kWidth, kHeight, PresentPath::accelerated);
  galloc(kView, kWidth, kHeight, 32);
  galloc(kBack, kWidth, kHeight, 32);
  galloc(kBackground, kWidth, kHeight, 32);
  fill(kBackground, 3);
  vpage(kView);
  apage(kBack);
  sp_setbg(kBackground);
}

void close_title() {
  sp_init(UINT32_MAX);
  sp_setbg(0);
  planes_reset();
  present_close();
}

// One frame: compose, bring the changed area to the view page, update.
void frame() {
  Rect changed;
  sp_draw(UINT32_MAX, &changed);
  dirty_clear();
  dirty_add(changed);
  drt_copy(kView, 0, 0, kBack, nullptr);
  screen_refresh(&changed);
}

void report_split(benchmark::State& state, const SpriteDrawTimes& before) {
  const SpriteDrawTimes after = sprite_draw_times();
  const double marking = static_cast<double>(after.marking_ns - before.marking_ns);
  const double restoring = static_cast<double>(after.restoring_ns - before.restoring_ns);
  const double drawing = static_cast<double>(after.drawing_ns - before.drawing_ns);
  const double frames = static_cast<double>(state.iterations());
  state.counters["frames_per_second"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["changed_area_us_per_frame"] = marking / frames / 1000;
  state.counters["restore_us_per_frame"] = restoring / frames / 1000;
  state.counters["draw_us_per_frame"] = drawing / frames / 1000;
}

void BM_MovingSprites(benchmark::State& state) {
  open_title(state.range(0) != 0);
  make_sprite_plane(kSpritePlane, 64);
  const BlitMode source_alpha{7, 0, 255};
  std::mt19937 random(17);
  struct Mover {
    ScriptAddr sprite;
    int32_t dx, dy;
  };
  std::vector<Mover> movers;
  for (int i = 0; i < 2000; ++i) {
    const int32_t x = static_cast<int32_t>(random() % (kWidth - 64)), y = static_cast<int32_t>(random() % (kHeight - 64));
    movers.push_back({sp_set(i % 4, 2, x, y, kSpritePlane, nullptr, &source_alpha),
                      static_cast<int32_t>(random() % 7) - 3, static_cast<int32_t>(random() % 7) - 3});
  }
  frame();
  const SpriteDrawTimes before = sprite_draw_times();
  for (auto _ : state) {
    for (Mover& m : movers) {
      auto* r = reinterpret_cast<SpriteRecord*>(script_memory().host(m.sprite));
      if (r->x + m.dx < 0 || r->x + m.dx > kWidth - 64) m.dx = -m.dx;
      if (r->y + m.dy < 0 || r->y + m.dy > kHeight - 64) m.dy = -m.dy;
      r->x += m.dx;
      r->y += m.dy;
    }
    frame();
  }
  report_split(state, before);
  close_title();
}
BENCHMARK(BM_MovingSprites)->Arg(0)->Arg(1)->ArgName("MultiThreading")->UseRealTime()->Unit(benchmark::kMillisecond);

// 200 still sprites (redrawn only where something uncovers them) and one
// moving sprite of the given side.
void BM_StillSpritesOneMoving(benchmark::State& state) {
  const auto side = static_cast<int32_t>(state.range(0));
  open_title(false);
  make_sprite_plane(kSpritePlane, side);
  make_sprite_plane(kStillPlane, 48);
  const BlitMode source_alpha{7, 0, 255};
  std::mt19937 random(5);
  sp_flag(0);
  for (int i = 0; i < 200; ++i)
    sp_set(0, 2, static_cast<int32_t>(random() % (kWidth - 48)), static_cast<int32_t>(random() % (kHeight - 48)),
           kStillPlane, nullptr, &source_alpha);
  sp_flag(kSpriteRedrawAlways);
  const ScriptAddr moving = sp_set(1, 2, 0, 200, kSpritePlane, nullptr, &source_alpha);
  auto* r = reinterpret_cast<SpriteRecord*>(script_memory().host(moving));
  frame();
  const SpriteDrawTimes before = sprite_draw_times();
  for (auto _ : state) {
    r->x = (r->x + 3) % (kWidth - side);
    frame();
  }
  report_split(state, before);
  close_title();
}
BENCHMARK(BM_StillSpritesOneMoving)->Arg(32)->Arg(128)->ArgName("side")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelt::gfx

// OpenMP's waiting threads sleep, as in zelt itself (it restarts the same way).
int main(int argc, char** argv) {
  zelt::openmp_wait_passively(argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
