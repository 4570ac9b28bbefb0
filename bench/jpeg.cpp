// JPEG loading of a 1920 × 1080 baseline file, against djpeg decoding the
// same file with the same settings (floating-point DCT) in its own process.
// djpeg's figure is a run on the big file minus a run on an 8 × 8 file, so
// that process start-up and library loading cancel out. Both sides are
// measured in CPU time (the child's from its resource usage), so that other
// load on the machine does not tilt the comparison.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/planes/image_files.h"

extern char** environ;

namespace zelt {
namespace {

namespace fs = std::filesystem;

// A picture with smooth gradients, fine texture and hard edges, so that the
// file has the mix of coefficients a photograph or a drawn scene has.
std::string picture_ppm(int width, int height) {
  std::string out = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  out.reserve(out.size() + static_cast<size_t>(width) * height * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>(noise >> 27) - 16;
      const bool tile = ((x / 37) + (y / 29)) & 1;
      const double wave = 40 * std::sin(x * 0.05) * std::cos(y * 0.031);
      auto clamp = [](double v) { return static_cast<char>(std::clamp(static_cast<int>(v), 0, 255)); };
      out += clamp(x * 200.0 / width + wave + grain + (tile ? 30 : 0));
      out += clamp(y * 220.0 / height - wave + grain);
      out += clamp(128 + wave * 2 + grain * 2 + (tile ? -40 : 10));
    }
  }
  return out;
}

// Runs a program; the CPU seconds it used, or -1 when it failed.
double run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Files {
  fs::path dir;
  bool ok = false;

  Files() {
    char templ[] = "/tmp/zelt-bench-XXXXXX";
    if (!mkdtemp(templ)) std::abort();
    dir = templ;
    std::ofstream(dir / "big.ppm", std::ios::binary) << picture_ppm(1920, 1080);
    std::ofstream(dir / "tiny.ppm", std::ios::binary) << picture_ppm(8, 8);
    ok = run({"cjpeg", "-outfile", (dir / "big.jpg").string(), (dir / "big.ppm").string()}) >= 0 &&
         run({"cjpeg", "-outfile", (dir / "tiny.jpg").string(), (dir / "tiny.ppm").string()}) >= 0;
    fs::current_path(dir);
  }
  ~Files() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Files& files() {
  static Files f;
  return f;
}

// CPU seconds of one djpeg run on file, best of `runs`.
double djpeg_seconds(const std::string& format, const std::string& file, int runs) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const double used = run({"djpeg", "-dct", "float", format, "-outfile", "/dev/null", file});
    if (used < 0) return -1;
    best = std::min(best, used);
  }
  return best;
}

// djpeg's decoding time for the big file, process start-up taken off.
double djpeg_decode_seconds(const std::string& format) {
  const double tiny = djpeg_seconds(format, "tiny.jpg", 15);
  const double big = djpeg_seconds(format, "big.jpg", 15);
  return tiny < 0 || big < 0 ? -1 : big - tiny;
}

void BM_LoadJpeg1080p(benchmark::State& state) {
  if (!files().ok) {
    state.SkipWithError("cjpeg (libjpeg-turbo-progs) is not installed");
    return;
  }
  double best = 1e9;
  for (auto _ : state) {
    const double start = thread_cpu_seconds();
    gfx::Plane* plane = gfx::load_jpeg("big.jpg");
    best = std::min(best, thread_cpu_seconds() - start);
    if (!plane) {
      state.SkipWithError("load_jpeg failed");
      return;
    }
    benchmark::DoNotOptimize(plane);
    gfx::plane_destroy(plane);
  }
  const double ours = best;  // best of the iterations, as for djpeg
  const double bmp = djpeg_decode_seconds("-bmp");
  const double ppm = djpeg_decode_seconds("-pnm");
  state.counters["load_ms"] = ours * 1e3;
  state.counters["djpeg_bmp_ms"] = bmp * 1e3;
  state.counters["djpeg_ppm_ms"] = ppm * 1e3;
  state.counters["ratio_bmp"] = bmp > 0 ? ours / bmp : 0;
  state.counters["ratio_ppm"] = ppm > 0 ? ours / ppm : 0;
  state.counters["file_kB"] = static_cast<double>(fs::file_size(files().dir / "big.jpg")) / 1e3;
}
BENCHMARK(BM_LoadJpeg1080p)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace zelt
