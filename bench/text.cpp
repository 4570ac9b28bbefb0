// Text drawing as titles use it: a 20-character Japanese string at height 24
// into a 32-bit plane with the font already made, sharp (goal: at least
// 20,000 strings a second) and smooth (goal: at least 2,000), one thread;
// and the cost of making a font when a slot's description changes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/config.h"
#include "core/cp932.h"
#include "gfx/planes/plane.h"
#include "gfx/text/font_slots.h"
#include "gfx/text/text_draw.h"

namespace zelt::gfx {
namespace {

const std::string& dialogue() {
  static const std::string text = cp932::from_utf8("吾輩は猫である。名前はまだ無い。どこで生");
  return text;
}

FontDescription gothic(int32_t height, uint32_t flags) {
  FontDescription d = initial_font_description();
  d.height = height;
  d.flags = flags;
  return d;
}

void open(uint32_t flags) {
  config_defaults();
  config().MultiThreading = 0;
  planes_reset();
  kFontsSubsystem.start();
  galloc(1, 640, 480, 32);
  font_set(0, gothic(24, flags));
  gtext(1, 0, 0, 1, dialogue(), 0, 2);  // makes the font and fills the glyph cache
}

void close() {
  kFontsSubsystem.stop();
  planes_reset();
}

void BM_Text(benchmark::State& state) {
  open(state.range(0) ? kFontSmooth : 0);
  int32_t y = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gtext(1, 8, y, 0xFF, dialogue(), 0, 2));
    y = (y + 29) % 440;
  }
  state.counters["strings_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                            benchmark::Counter::kIsRate);
  close();
}
BENCHMARK(BM_Text)->Arg(0)->Arg(1)->ArgName("smooth")->UseRealTime()->Unit(benchmark::kMicrosecond);

// Each iteration changes the description, so the next draw makes the font
// again; the draw of one character is part of the figure.
void BM_MakeFont(benchmark::State& state) {
  open(state.range(0) ? kFontSmooth : 0);
  const std::string one = cp932::from_utf8("字");
  int32_t height = 24;
  for (auto _ : state) {
    height = height == 24 ? 25 : 24;
    font_set(0, gothic(height, state.range(0) ? kFontSmooth : 0));
    benchmark::DoNotOptimize(gtext(1, 8, 8, 0xFF, one, 0, 2));
  }
  close();
}
BENCHMARK(BM_MakeFont)->Arg(0)->Arg(1)->ArgName("smooth")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelt::gfx
