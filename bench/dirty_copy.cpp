// drt_copy of 200 scattered 64 × 64 dirty rectangles between two 1024 × 576
// 32-bit planes, against memcpy of the covered pixels, each once, as row
// spans worked out beforehand (goal: at most 1.5 × the memcpy time). Printed: the copy's pixels per
// second and vs_memcpy, the ratio of the two times measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "core/config.h"
#include "gfx/planes/plane.h"
#include "gfx/present/dirty_list.h"

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576, kSide = 64, kCount = 200;
constexpr uint32_t kFront = 1, kBack = 2;

std::vector<Rect> scattered() {
  std::mt19937 random(11);
  std::vector<Rect> rects;
  for (int i = 0; i < kCount; ++i) {
    const int32_t x = std::uniform_int_distribution<int32_t>(0, kWidth - kSide)(random);
    const int32_t y = std::uniform_int_distribution<int32_t>(0, kHeight - kSide)(random);
    rects.push_back({x, y, x + kSide, y + kSide});
  }
  return rects;
}

// The covered pixels as row spans, each pixel once: what memcpy copies.
struct Span {
  int32_t y, left, right;
};
std::vector<Span> covered_spans(const std::vector<Rect>& rects) {
  std::vector<uint8_t> covered(static_cast<size_t>(kWidth) * kHeight);
  for (const Rect& r : rects)
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) covered[static_cast<size_t>(y) * kWidth + x] = 1;
  std::vector<Span> spans;
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth;) {
      if (!covered[static_cast<size_t>(y) * kWidth + x]) {
        ++x;
        continue;
      }
      const int32_t left = x;
      while (x < kWidth && covered[static_cast<size_t>(y) * kWidth + x]) ++x;
      spans.push_back({y, left, x});
    }
  return spans;
}

void copy_with_memcpy(Plane* front, Plane* back, const std::vector<Span>& spans) {
  uint8_t* to = plane_pixels(*front).data();
  const uint8_t* from = plane_pixels(*back).data();
  for (const Span& s : spans) {
    const size_t at = static_cast<size_t>(kHeight - 1 - s.y) * front->pitch + static_cast<size_t>(s.left) * 4;
    std::memcpy(to + at, from + at, static_cast<size_t>(s.right - s.left) * 4);
  }
}

void BM_DrtCopyScattered(benchmark::State& state) {
  config_defaults();
  galloc(kFront, kWidth, kHeight, 32);
  galloc(kBack, kWidth, kHeight, 32);
  Plane* front = plane_get(kFront);
  Plane* back = plane_get(kBack);
  const std::span<uint8_t> px = plane_pixels(*back);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 13);
  const std::vector<Rect> rects = scattered();
  const std::vector<Span> spans = covered_spans(rects);
  int64_t pixels = 0;
  for (const Span& s : spans) pixels += s.right - s.left;

  using Clock = std::chrono::steady_clock;
  Clock::duration ours{}, theirs{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (const Rect& r : rects) dirty_add(r);
    benchmark::DoNotOptimize(dirty_copy(front, 0, 0, back, nullptr));
    const Clock::time_point middle = Clock::now();
    copy_with_memcpy(front, back, spans);
    benchmark::ClobberMemory();
    ours += middle - start;
    theirs += Clock::now() - middle;
  }
  state.SetItemsProcessed(state.iterations() * pixels);
  state.counters["vs_memcpy"] = std::chrono::duration<double>(ours).count() /
                                std::chrono::duration<double>(theirs).count();
  gfree(kFront);
  gfree(kBack);
}
BENCHMARK(BM_DrtCopyScattered);

}  // namespace
}  // namespace zelt::gfx
