// Bitmap loading: a 1920 × 1080 24-bit file from a warm page cache through
// load_bitmap into a new plane. The pixel rows are read straight into the
// plane, so the figure is close to a memory copy (goal: at least 1 GB/s).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/planes/image_files.h"

namespace zelt {
namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;
constexpr uint32_t kPitch = kWidth * 3;
constexpr uint32_t kImageSize = kPitch * kHeight;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The file, written once in a fresh folder made the current directory.
struct BitmapFolder {
  std::filesystem::path dir;
  BitmapFolder() {
    char templ[] = "/tmp/zelt-bench-XXXXXX";
    if (!mkdtemp(templ)) std::abort();
    dir = templ;
    std::vector<uint8_t> file(54 + kImageSize);
    file[0] = 'B';
    file[1] = 'M';
    put32(file, 2, static_cast<uint32_t>(file.size()));
    put32(file, 10, 54);
    put32(file, 14, 40);
    put32(file, 18, kWidth);
    put32(file, 22, kHeight);
    file[26] = 1;
    file[28] = 24;
    put32(file, 34, kImageSize);
    for (size_t i = 54; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 31);
    FILE* f = std::fopen((dir / "frame.bmp").c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    std::filesystem::current_path(dir);
  }
  ~BitmapFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

void BM_LoadBitmap1080p24(benchmark::State& state) {
  static BitmapFolder folder;
  gfx::plane_destroy(gfx::load_bitmap("frame.bmp"));  // warms the page cache
  for (auto _ : state) {
    gfx::Plane* plane = gfx::load_bitmap("frame.bmp");
    if (!plane) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(plane);
    gfx::plane_destroy(plane);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageSize);
  state.counters["GB/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kImageSize / 1e9,
                                              benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadBitmap1080p24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelt
