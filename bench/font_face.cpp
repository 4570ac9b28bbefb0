// The font layer under titles' text: measuring and drawing a 20-character
// Japanese string with glyphs cached (at the sharp size and at the eight
// times size smooth text renders at), first drawings with an empty cache,
// and making a font.
#include "platform/font_face.h"

#include <benchmark/benchmark.h>

#include <vector>

#include "core/cp932.h"

namespace zelt::platform {
namespace {

const std::string& line() {
  static const std::string text = cp932::from_utf8("今日は良い天気ですね。明日も晴れるでしょうか");
  return text;
}

FontRequest request(int height, int escapement = 0) {
  FontRequest r;
  r.face = cp932::from_utf8("ＭＳ ゴシック");
  r.height = height;
  r.escapement = escapement;
  return r;
}

// extent() then draw(), as a text drawing does.
void BM_MeasureAndDraw(benchmark::State& state) {
  auto font = Font::make(request(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
  const TextExtent e = font->extent(line());
  const int side = e.cx + e.cy + 16;
  std::vector<uint8_t> bits(static_cast<size_t>((side + 7) / 8) * side);
  const MonoTarget target{bits.data(), side, side, (side + 7) / 8};
  const int y = state.range(1) != 0 ? e.cx + 8 : 8;  // turned text rises from y
  for (auto _ : state) {
    benchmark::DoNotOptimize(font->extent(line()));
    font->draw(target, 8, y, line());
    benchmark::ClobberMemory();
  }
  state.counters["strings/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeasureAndDraw)->Args({-24, 0})->Args({-192, 0})->Args({-24, 900})->Args({-24, 300});

// A new font each time: resolving the name (cached after the first), opening
// the face, and rendering every glyph once.
void BM_MakeAndFirstDraw(benchmark::State& state) {
  std::vector<uint8_t> bits(64 * 2048);
  const MonoTarget target{bits.data(), 2048, 256, 256};
  for (auto _ : state) {
    auto font = Font::make(request(static_cast<int>(state.range(0))));
    if (state.range(1)) font->draw(target, 0, 0, line());
    benchmark::DoNotOptimize(font.get());
  }
}
BENCHMARK(BM_MakeAndFirstDraw)->Args({-24, 0})->Args({-24, 1})->Args({-192, 1})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelt::platform
