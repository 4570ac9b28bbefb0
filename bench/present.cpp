// update of a 1024 × 576 32-bit view page into the screen texture, headless
// (goal: at least 1000 full-page updates per second), and of a 64 × 64
// rectangle (its cost should follow the rectangle, not the page). With a
// display (DISPLAY set, e.g. under xvfb-run), also the full path a window
// takes: the texture into an SDL renderer and drawn scaled, printed with
// the renderer's kind.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "core/config.h"
#include "gfx/planes/plane.h"
#include "gfx/present/presentation.h"
#include "platform/display.h"
#include "platform/window.h"

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;

void open_screen(bool threads) {
  config_defaults();
  config().MultiThreading = threads ? 1 : 0;
  present_open(kWidth, kHeight, PresentPath::accelerated);
  galloc(0, kWidth, kHeight, 32);
  const std::span<uint8_t> px = plane_pixels(*plane_get(0));
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 5);
}

void BM_UpdateFullPage(benchmark::State& state) {
  open_screen(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(screen_refresh(nullptr));
  state.counters["updates_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                            benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  present_close();
}
BENCHMARK(BM_UpdateFullPage)->Arg(0)->Arg(1)->ArgName("MultiThreading");

void BM_Update64x64(benchmark::State& state) {
  open_screen(false);
  const Rect r{480, 256, 544, 320};
  for (auto _ : state) benchmark::DoNotOptimize(screen_refresh(&r));
  state.counters["updates_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                            benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() * 64 * 64);
  present_close();
}
BENCHMARK(BM_Update64x64);

// Upload of the whole texture into a renderer and one scaled draw into a
// 1280 × 720 window: what the main thread does per full-page frame.
void BM_RendererFullFrame(benchmark::State& state) {
  if (!std::getenv("DISPLAY") || !platform::display_available(nullptr)) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  platform::WindowSpec spec;
  spec.title_utf8 = "zelt bench";
  spec.w = 1280;
  spec.h = 720;
  std::unique_ptr<platform::Window> window = platform::window_create(spec);
  platform::RendererFailure failure;
  std::unique_ptr<platform::ScreenRenderer> renderer =
      window ? window->create_renderer(kWidth, kHeight, &failure) : nullptr;
  if (!renderer) {
    state.SkipWithError("no renderer");
    return;
  }
  open_screen(false);
  for (auto _ : state) {
    screen_refresh(nullptr);
    present_take([&](const uint32_t* texels, int32_t w, int32_t, const Rect& r) {
      renderer->update(r.left, r.top, r.right - r.left, r.bottom - r.top,
                       texels + static_cast<size_t>(r.top) * w + r.left, w);
    });
    renderer->draw(0, 0, 1280, 720);
  }
  state.SetLabel(renderer->kind());
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                           benchmark::Counter::kIsRate);
  renderer.reset();
  window.reset();
  present_close();
}
BENCHMARK(BM_RendererFullFrame)->UseRealTime();

}  // namespace
}  // namespace zelt::gfx
