// Script memory allocator throughput under a churning working set.
#include "core/script_memory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace zelt {
namespace {

constexpr size_t kSequence = size_t{1} << 16;  // pre-drawn random steps, reused cyclically

// Sizes 8..4096 bytes, with one request in 64 for 64 KiB.
std::vector<uint32_t> mixed_sizes(uint32_t max_small) {
  std::mt19937 rng(42);
  std::vector<uint32_t> sizes(kSequence);
  for (uint32_t& s : sizes)
    s = rng() % 64 == 0 ? 65536 : std::uniform_int_distribution<uint32_t>(8, max_small)(rng);
  return sizes;
}

std::vector<uint32_t> slot_picks(size_t slots) {
  std::mt19937 rng(7);
  std::vector<uint32_t> picks(kSequence);
  for (uint32_t& p : picks) p = uint32_t(rng() % slots);
  return picks;
}

// Each step frees a random live block of the working set (if any) and
// allocates a new one in its place; one item is one allocation.
void BM_MixedAllocFree(benchmark::State& state) {
  ScriptMemory mem;
  const auto sizes = mixed_sizes(4096);
  const auto picks = slot_picks(size_t(state.range(0)));
  std::vector<ScriptAddr> slots(size_t(state.range(0)), 0);
  size_t k = 0;
  for (auto _ : state) {
    ScriptAddr& s = slots[picks[k]];
    if (s != 0) mem.free(s);
    s = mem.allocate(sizes[k]);
    benchmark::DoNotOptimize(s);
    k = (k + 1) & (kSequence - 1);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  const auto st = mem.stats();
  state.counters["used_MiB"] = double(st.top - ScriptMemory::kFirstUsable) / (1 << 20);
  state.counters["live_MiB"] = double(st.live_bytes) / (1 << 20);
}
BENCHMARK(BM_MixedAllocFree)->Arg(1024)->Arg(16384);

// The same steps against the host's malloc, for scale.
void BM_MixedAllocFreeHostMalloc(benchmark::State& state) {
  const auto sizes = mixed_sizes(4096);
  const auto picks = slot_picks(size_t(state.range(0)));
  std::vector<void*> slots(size_t(state.range(0)), nullptr);
  size_t k = 0;
  for (auto _ : state) {
    void*& s = slots[picks[k]];
    std::free(s);
    s = std::malloc(sizes[k]);
    benchmark::DoNotOptimize(s);
    k = (k + 1) & (kSequence - 1);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  for (void* s : slots) std::free(s);
}
BENCHMARK(BM_MixedAllocFreeHostMalloc)->Arg(1024)->Arg(16384);

// Each step resizes a random block of the working set to a new random size
// (8..8192, sometimes 64 KiB), as growing buffers and strings do.
void BM_ResizeChurn(benchmark::State& state) {
  ScriptMemory mem;
  const auto sizes = mixed_sizes(8192);
  const auto picks = slot_picks(size_t(state.range(0)));
  std::vector<ScriptAddr> slots(size_t(state.range(0)), 0);
  size_t k = 0;
  for (auto _ : state) {
    ScriptAddr& s = slots[picks[k]];
    s = mem.resize(s, sizes[k]);
    benchmark::DoNotOptimize(s);
    k = (k + 1) & (kSequence - 1);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  const auto st = mem.stats();
  state.counters["used_MiB"] = double(st.top - ScriptMemory::kFirstUsable) / (1 << 20);
  state.counters["live_MiB"] = double(st.live_bytes) / (1 << 20);
}
BENCHMARK(BM_ResizeChurn)->Arg(1024)->Arg(16384);

// A buffer grown a little at a time while other blocks come and go.
void BM_GrowingBuffer(benchmark::State& state) {
  ScriptMemory mem;
  std::vector<ScriptAddr> others;
  for (auto _ : state) {
    ScriptAddr buf = 0;
    for (uint32_t n = 64; n <= 256 * 1024; n += n / 4) {
      buf = mem.resize(buf, n);
      others.push_back(mem.allocate(48));
      if (others.size() > 8) {
        mem.free(others.front());
        others.erase(others.begin());
      }
    }
    mem.free(buf);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_GrowingBuffer);

}  // namespace
}  // namespace zelt
