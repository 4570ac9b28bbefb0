// getkey and getpoint as a script thread calls them (goal: each well under
// 5 µs). getkey reads the keyboard state the main thread keeps, under its
// lock; getpoint reads the pointer on the calling thread. Measured with the
// main thread idle (waiting for work) and busy presenting full 1024 × 576
// frames, so that the lock's contention with the frame shows.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "builtins/handlers.h"
#include "core/close_request.h"
#include "core/config.h"
#include "core/script_memory.h"
#include "core/script_messages.h"
#include "gfx/planes/plane.h"
#include "gfx/present/presentation.h"
#include "input/input_devices.h"
#include "input/pointer.h"
#include "platform/display.h"
#include "script/host/builtin_call.h"

namespace zelt {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;

// The main thread: answers calls; when busy, presents a full frame after
// each wake-up or 16 ms, as a title that updates the whole screen makes it.
class MainThread {
 public:
  explicit MainThread(bool busy) : busy_(busy) {
    std::atomic<bool> ready{false};
    thread_ = std::thread([this, &ready] {
      script_messages_install();
      ready = true;
      std::vector<uint32_t> shown;
      while (!stop_.load()) {
        if (!busy_) wait_main_loop(std::chrono::steady_clock::now() + std::chrono::milliseconds(16));
        script_messages_process();
        if (busy_) {
          gfx::screen_refresh(nullptr);
          gfx::present_take(
              [&](const uint32_t* texels, int32_t w, int32_t h, const gfx::Rect&) {
                shown.assign(texels, texels + static_cast<size_t>(w) * h);
              },
              true);
        }
      }
      script_messages_uninstall();
    });
    while (!ready.load()) std::this_thread::yield();
  }
  ~MainThread() {
    stop_ = true;
    wake_main_loop();
    thread_.join();
  }

 private:
  bool busy_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// One argument cell holding `value`, as a script passes it.
ScriptAddr cell(uint32_t value) {
  const ScriptAddr a = script_memory().allocate(4);
  std::memcpy(script_memory().host(a), &value, 4);
  return a;
}

void setup() {
  config_defaults();
  config().Width = kWidth;
  config().Height = kHeight;
  platform::set_headless(true);
  input::kInputSubsystem.start();
  gfx::present_open(kWidth, kHeight, gfx::PresentPath::accelerated);
  gfx::galloc(0, kWidth, kHeight, 32);
  input::pointer_set_map({.left = 0, .top = 0, .width = kWidth, .height = kHeight, .screen_w = kWidth, .screen_h = kHeight});
}

void teardown() {
  gfx::present_close();
  input::kInputSubsystem.stop();
}

void BM_GetKey(benchmark::State& state) {
  setup();
  {
    MainThread main(state.range(0) != 0);
    const ScriptAddr keys = script_memory().allocate(256);
    const ScriptAddr arg = cell(keys);
    const BuiltinArgs args(arg, 1);
    for (auto _ : state) benchmark::DoNotOptimize(bi_getkey(args));
    if (bi_getkey(args) != 1) state.SkipWithError("getkey did not read the keyboard");
    script_memory().free(arg);
    script_memory().free(keys);
  }
  teardown();
}
BENCHMARK(BM_GetKey)->Arg(0)->Arg(1)->ArgName("main_busy")->UseRealTime();

void BM_GetPoint(benchmark::State& state) {
  setup();
  {
    MainThread main(state.range(0) != 0);
    const ScriptAddr rec = script_memory().allocate(16);
    const ScriptAddr arg = cell(rec);
    const BuiltinArgs args(arg, 1);
    for (auto _ : state) benchmark::DoNotOptimize(bi_getpoint(args));
    script_memory().free(arg);
    script_memory().free(rec);
  }
  teardown();
}
BENCHMARK(BM_GetPoint)->Arg(0)->Arg(1)->ArgName("main_busy")->UseRealTime();

}  // namespace
}  // namespace zelt
