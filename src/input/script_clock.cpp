#include "input/script_clock.h"

#include <array>
#include <chrono>
#include <ctime>
#include <mutex>
#include <algorithm>

namespace zelt::input {
namespace {

std::mutex g_mutex;
uint64_t g_paused_total = 0;  // ms
uint64_t g_pause_start = 0;   // tick at the outermost pause_begin
int32_t g_depth = 0;

std::array<uint32_t, kCounters> g_bases{};

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

int32_t counter_get(int32_t n) {
  if (n < 0 || n >= kCounters) return 0;
  return static_cast<int32_t>(script_clock_now() - g_bases[n]);
}

bool counter_set(int32_t n, int32_t value) {
  if (n < 0 || n >= kCounters) return false;
  g_bases[n] = script_clock_now() - static_cast<uint32_t>(value);
  return true;
}

void counters_reset() { g_bases.fill(0); }

void local_time(uint16_t out[8]) {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  const int fields[8] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_wday, tm.tm_mday,
                         tm.tm_hour,        tm.tm_min,     std::min(tm.tm_sec, 59), static_cast<int>(ms)};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint16_t>(fields[i]);
}

const Subsystem kScriptClockSubsystem{
    .name = "script clock",
    .pause = script_clock_pause_begin,
    .resume = script_clock_pause_end,
    .runtime_start = counters_reset,
};

}  // namespace zelt::input
