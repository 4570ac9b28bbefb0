#include "input/script_clock.h"

#include <chrono>
#include <mutex>

namespace zelt::input {
namespace {

std::mutex g_mutex;
uint64_t g_paused_total = 0;  // ms
uint64_t g_pause_start = 0;   // tick at the outermost pause_begin
int32_t g_depth = 0;

uint64_t tick() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

void script_clock_reset() {
  std::lock_guard lock(g_mutex);
  g_paused_total = 0;
  g_depth = 0;
}

void script_clock_pause_begin() {
  std::lock_guard lock(g_mutex);
  if (g_depth++ == 0) g_pause_start = tick();
}

void script_clock_pause_end() {
  std::lock_guard lock(g_mutex);
  if (g_depth == 0) return;
  if (--g_depth == 0) g_paused_total += tick() - g_pause_start;
}

uint32_t script_clock_now() {
  std::lock_guard lock(g_mutex);
  const uint64_t now = g_depth > 0 ? g_pause_start : tick();
  return static_cast<uint32_t>(now - g_paused_total);
}

int32_t script_clock_pause_depth() {
  std::lock_guard lock(g_mutex);
  return g_depth;
}

const Subsystem kScriptClockSubsystem{
    .name = "script clock",
    .pause = script_clock_pause_begin,
    .resume = script_clock_pause_end,
};

}  // namespace zelt::input
