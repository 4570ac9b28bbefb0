#include "core/script_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace zelt {
namespace {

constexpr ScriptAddr kFirst = ScriptMemory::kFirstUsable;
constexpr uint32_t kMiB = 1u << 20;

uint32_t rounded(uint32_t n) { return std::max<uint32_t>(16, (n + 15) & ~15u); }

// Fills / checks n bytes at a with a pattern unique to id.
uint64_t pattern_word(uint64_t id, uint64_t k) { return (id * 0x9E3779B97F4A7C15ull) ^ (k * 0xBF58476D1CE4E5B9ull); }

void fill(ScriptMemory& m, ScriptAddr a, uint32_t n, uint64_t id) {
  uint8_t* p = m.host(a);
  uint32_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const uint64_t w = pattern_word(id, k);
    std::memcpy(p + k, &w, 8);
  }
  const uint64_t w = pattern_word(id, k);
  std::memcpy(p + k, &w, n - k);
}

// Offset of the first byte that differs from the pattern, or -1.
int64_t first_mismatch(const ScriptMemory& m, ScriptAddr a, uint32_t n, uint64_t id) {
  const uint8_t* p = m.host(a);
  uint32_t k = 0;
  for (; k + 8 <= n; k += 8) {
    uint64_t got;
    std::memcpy(&got, p + k, 8);
    if (got != pattern_word(id, k)) break;
  }
  for (; k < n; k += 8) {
    const uint64_t w = pattern_word(id, k);
    for (uint32_t j = 0; j < 8 && k + j < n; ++j)
      if (p[k + j] != reinterpret_cast<const uint8_t*>(&w)[j]) return k + j;
  }
  return -1;
}

bool all_zero(const ScriptMemory& m, ScriptAddr a, uint32_t n) {
  const uint8_t* p = m.host(a);
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

#define EXPECT_INVARIANTS(m)                           \
  do {                                                 \
    std::string why_;                                  \
    EXPECT_TRUE((m).check_invariants(&why_)) << why_;  \
  } while (0)

class ScriptMemoryTest : public ::testing::Test {
 protected:
  ScriptMemory mem{kFirst + 64 * kMiB};
};

TEST_F(ScriptMemoryTest, AllocationsAreAlignedDistinctAndUsable) {
  const uint32_t sizes[] = {0, 1, 15, 16, 17, 100, 1000, 1023, 1024, 1025, 4096, 65536, 65537, kMiB, 3 * kMiB + 5};
  std::map<ScriptAddr, uint32_t> blocks;  // address -> size, for the overlap check
  for (uint32_t n : sizes) {
    SCOPED_TRACE("size " + std::to_string(n));
    const ScriptAddr a = mem.allocate(n);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(a % ScriptMemory::kAlignment, 0u);
    EXPECT_GE(a, kFirst);
    EXPECT_EQ(mem.block_size(a), rounded(n));
    EXPECT_TRUE(mem.valid(a, rounded(n)));
    EXPECT_EQ(mem.span(a, rounded(n)).size(), rounded(n));
    EXPECT_TRUE(all_zero(mem, a, rounded(n))) << "fresh memory must read as zero";
    fill(mem, a, rounded(n), a);
    ASSERT_TRUE(blocks.emplace(a, rounded(n)).second);
  }
  ScriptAddr prev_end = kFirst;
  for (auto [a, n] : blocks) {
    EXPECT_GE(a, prev_end) << "blocks overlap";
    EXPECT_EQ(first_mismatch(mem, a, n, a), -1) << "block " << a << " was overwritten";
    prev_end = a + n;
  }
  const auto s = mem.stats();
  EXPECT_EQ(s.live_blocks, std::size(sizes));
  EXPECT_LE(s.top, mem.end());
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ZeroedAllocationClearsReusedMemory) {
  // A guard block after the freed one keeps it in a free list; without the
  // guard it returns to the top area and is reused from there, partly
  // written before and partly never touched.
  for (bool guard : {true, false}) {
    for (uint32_t n : {16u, 256u, 5000u, 70000u}) {
      SCOPED_TRACE(std::string(guard ? "free list" : "top area") + ", size " + std::to_string(n));
      const ScriptAddr a = mem.allocate(n);
      ASSERT_NE(a, 0u);
      std::memset(mem.host(a), 0xAB, n);
      const ScriptAddr g = guard ? mem.allocate(16) : 0;
      ASSERT_TRUE(mem.free(a));
      const uint32_t again = guard ? n : 2 * n;
      const ScriptAddr b = mem.allocate_zeroed(again);
      ASSERT_NE(b, 0u);
      EXPECT_EQ(b, a) << "expected the freed block to be reused";
      EXPECT_TRUE(all_zero(mem, b, again));
      mem.free(b);
      if (g) mem.free(g);
      EXPECT_INVARIANTS(mem);
    }
  }
}

TEST_F(ScriptMemoryTest, LargeFreedTopMemoryReadsZeroWhenReused) {
  // Freeing a big block at the top may hand its pages back to the system;
  // either way a zeroed allocation over it must read zero.
  const uint32_t n = 48 * kMiB;
  const ScriptAddr a = mem.allocate(n);
  ASSERT_NE(a, 0u);
  std::memset(mem.host(a), 0xFF, n);
  const ScriptAddr end_before = mem.end();
  ASSERT_TRUE(mem.free(a));
  EXPECT_EQ(mem.end(), end_before) << "the usable end must never shrink";
  const ScriptAddr b = mem.allocate_zeroed(n);
  ASSERT_EQ(b, a);
  EXPECT_TRUE(all_zero(mem, b, n));
  EXPECT_INVARIANTS(mem);
}

// --- resize ---

TEST_F(ScriptMemoryTest, ResizeGrowsAtTheTopInPlace) {
  const ScriptAddr a = mem.allocate(100);
  fill(mem, a, 100, 1);
  EXPECT_EQ(mem.resize(a, 3 * kMiB), a);
  EXPECT_EQ(mem.block_size(a), 3 * kMiB);
  EXPECT_EQ(first_mismatch(mem, a, 100, 1), -1);
  EXPECT_TRUE(mem.valid(a, 3 * kMiB));
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ResizeGrowsIntoTheFollowingFreeBlock) {
  const ScriptAddr a = mem.allocate(100), b = mem.allocate(1000), c = mem.allocate(50);
  fill(mem, a, 100, 1);
  fill(mem, c, 50, 3);
  ASSERT_TRUE(mem.free(b));
  // Partly: the rest of b stays free after a.
  EXPECT_EQ(mem.resize(a, 500), a);
  EXPECT_EQ(mem.stats().free_blocks, 1u);
  EXPECT_INVARIANTS(mem);
  // Wholly: a ends where c begins.
  EXPECT_EQ(mem.resize(a, c - a), a);
  EXPECT_EQ(mem.stats().free_blocks, 0u);
  EXPECT_EQ(first_mismatch(mem, a, 100, 1), -1);
  EXPECT_EQ(first_mismatch(mem, c, 50, 3), -1);
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ResizeSlidesDownIntoAFreeBlockBefore) {
  const ScriptAddr p = mem.allocate(1000), a = mem.allocate(200), g = mem.allocate(16);
  fill(mem, a, 200, 7);
  fill(mem, g, 16, 8);
  ASSERT_TRUE(mem.free(p));
  const ScriptAddr r = mem.resize(a, 900);
  EXPECT_EQ(r, p);
  EXPECT_EQ(first_mismatch(mem, r, 200, 7), -1);
  EXPECT_EQ(first_mismatch(mem, g, 16, 8), -1);
  EXPECT_EQ(mem.block_size(a), 0u) << "the old address is no longer a block";
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ResizeMovesWhenBlockedAndFreesTheOldBlock) {
  const ScriptAddr a = mem.allocate(64), b = mem.allocate(64);
  fill(mem, a, 64, 1);
  fill(mem, b, 64, 2);
  const ScriptAddr r = mem.resize(a, 10000);
  ASSERT_NE(r, 0u);
  EXPECT_NE(r, a);
  EXPECT_EQ(first_mismatch(mem, r, 64, 1), -1);
  EXPECT_EQ(first_mismatch(mem, b, 64, 2), -1);
  EXPECT_EQ(mem.block_size(a), 0u);
  EXPECT_FALSE(mem.free(a));
  EXPECT_EQ(mem.stats().live_blocks, 2u);
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ResizeShrinksInPlaceAndReleasesTheTail) {
  const ScriptAddr a = mem.allocate(4096), g = mem.allocate(16);
  fill(mem, a, 4096, 5);
  EXPECT_EQ(mem.resize(a, 10), a);
  EXPECT_EQ(mem.block_size(a), 16u);
  EXPECT_EQ(first_mismatch(mem, a, 10, 5), -1);
  EXPECT_EQ(mem.stats().free_bytes, 4096u - 16u);
  // The released tail is reused.
  EXPECT_EQ(mem.allocate(4000), a + 16);
  mem.free(g);
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, ResizeEdgeCases) {
  // resize(0, n) allocates.
  const ScriptAddr a = mem.resize(0, 40);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(mem.block_size(a), 48u);
  // resize(a, 0) keeps a minimal block at the same address.
  fill(mem, a, 40, 9);
  EXPECT_EQ(mem.resize(a, 0), a);
  EXPECT_EQ(mem.block_size(a), 16u);
  EXPECT_EQ(first_mismatch(mem, a, 16, 9), -1);
  // Impossible sizes fail and leave the block alone.
  for (uint32_t n : {UINT32_MAX, 0xFFFFFFF1u, 0xFFFF0000u, 0x80000000u}) {
    EXPECT_EQ(mem.resize(a, n), 0u) << n;
    EXPECT_EQ(mem.block_size(a), 16u);
    EXPECT_EQ(first_mismatch(mem, a, 16, 9), -1);
  }
  // Not a block.
  EXPECT_EQ(mem.resize(a + 16, 100), 0u);
  EXPECT_EQ(mem.resize(kFirst - 16, 100), 0u);
  EXPECT_EQ(mem.stats().live_blocks, 1u);
  EXPECT_INVARIANTS(mem);
}

// --- free ---

TEST_F(ScriptMemoryTest, InvalidFreesAreRefused) {
  const ScriptAddr a = mem.allocate(64), b = mem.allocate(64);
  fill(mem, b, 64, 2);
  const ScriptAddr not_blocks[] = {0, 1, kFirst - 16, a + 1, a + 16, b + 64, mem.end(), 0xFFFFFFF0u, UINT32_MAX};
  for (ScriptAddr x : not_blocks) {
    SCOPED_TRACE("address " + std::to_string(x));
    EXPECT_FALSE(mem.free(x));
    EXPECT_EQ(mem.block_size(x), 0u);
    if (x != 0) {  // resize(0, n) allocates
      EXPECT_EQ(mem.resize(x, 32), 0u);
    }
  }
  EXPECT_TRUE(mem.free(a));
  EXPECT_FALSE(mem.free(a)) << "double free";
  EXPECT_EQ(mem.block_size(a), 0u) << "a free block has no size";
  EXPECT_EQ(mem.block_size(b), 64u);
  EXPECT_EQ(first_mismatch(mem, b, 64, 2), -1);
  EXPECT_EQ(mem.stats().live_blocks, 1u);
  EXPECT_INVARIANTS(mem);
}

// Blocks the runtime keeps: a script's free or resize of one is refused, so memory the runtime still uses is never handed out twice.
TEST_F(ScriptMemoryTest, OwnedBlocksAreReleasedOnlyByTheirOwner) {
  const ScriptAddr plain = mem.allocate(64);
  fill(mem, plain, 64, 3);
  const ScriptAddr owned = mem.allocate_owned(64);
  ASSERT_NE(owned, 0u);
  const std::span<uint8_t> bytes = mem.span(owned, 64);
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) << "owned blocks start zeroed";
  EXPECT_FALSE(mem.free(owned));
  EXPECT_EQ(mem.resize(owned, 128), 0u);
  EXPECT_EQ(mem.block_size(owned), 64u);
  EXPECT_FALSE(mem.free_owned(plain)) << "the owner's release refuses a script's block";
  EXPECT_TRUE(mem.free_owned(owned));
  EXPECT_FALSE(mem.free_owned(owned)) << "double release";
  // The same memory handed out again is an ordinary block.
  const ScriptAddr again = mem.allocate(64);
  EXPECT_EQ(again, owned);
  EXPECT_EQ(mem.block_size(again), 64u);
  EXPECT_TRUE(mem.free(again));
  EXPECT_EQ(first_mismatch(mem, plain, 64, 3), -1);
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, FreeingEverythingLeavesOneFreeArea) {
  std::mt19937 rng(7);
  std::vector<ScriptAddr> blocks;
  for (int i = 0; i < 1000; ++i) blocks.push_back(mem.allocate(std::uniform_int_distribution<uint32_t>(1, 3000)(rng)));
  ASSERT_EQ(std::count(blocks.begin(), blocks.end(), 0u), 0);
  std::shuffle(blocks.begin(), blocks.end(), rng);

  // Keep the highest block to the end: every other block must then have
  // merged into a single free block below it.
  const auto highest = std::max_element(blocks.begin(), blocks.end());
  std::iter_swap(highest, blocks.end() - 1);
  const ScriptAddr last = blocks.back();
  blocks.pop_back();
  for (size_t i = 0; i < blocks.size(); ++i) {
    ASSERT_TRUE(mem.free(blocks[i]));
    if (i % 50 == 0) EXPECT_INVARIANTS(mem);
  }
  auto s = mem.stats();
  EXPECT_EQ(s.live_blocks, 1u);
  EXPECT_EQ(s.free_blocks, 1u);
  EXPECT_EQ(s.free_bytes, last - kFirst);

  const ScriptAddr end_before = mem.end();
  ASSERT_TRUE(mem.free(last));
  s = mem.stats();
  EXPECT_EQ(s.live_blocks, 0u);
  EXPECT_EQ(s.live_bytes, 0u);
  EXPECT_EQ(s.free_blocks, 0u);
  EXPECT_EQ(s.free_bytes, 0u);
  EXPECT_EQ(s.top, kFirst);
  EXPECT_EQ(mem.end(), end_before);
  EXPECT_INVARIANTS(mem);
  EXPECT_EQ(mem.allocate(16), kFirst) << "allocation starts over from the bottom";
}

// --- churn ---

TEST_F(ScriptMemoryTest, RandomChurnKeepsContentsAndInvariants) {
  struct Live {
    uint32_t size;
    uint64_t id;
  };
  std::map<ScriptAddr, Live> live;
  std::vector<ScriptAddr> order;  // for picking a random live block
  std::mt19937 rng(12345);
  auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  auto random_size = [&] {
    const uint32_t r = pick(0, 99);
    if (r < 70) return pick(1, 256);
    if (r < 97) return pick(257, 8192);
    return pick(8193, 512 * 1024);
  };
  auto remove_order = [&](size_t k) {
    order[k] = order.back();
    order.pop_back();
  };
  auto verify = [&](ScriptAddr a) {
    const Live& l = live.at(a);
    const int64_t bad = first_mismatch(mem, a, l.size, l.id);
    ASSERT_EQ(bad, -1) << "block " << a << " (" << l.size << " bytes) corrupted at offset " << bad;
  };

  uint64_t next_id = 1, peak_live_bytes = 0;
  ScriptAddr last_end = mem.end();
  for (int op = 0; op < 40000; ++op) {
    const uint32_t r = pick(0, 99);
    // Allocate more often below a working set of about 1500 blocks, less above.
    if (r < (order.size() < 1500 ? 55u : 35u) || order.empty()) {
      const uint32_t n = random_size();
      const bool zeroed = r % 4 == 0;
      const ScriptAddr a = zeroed ? mem.allocate_zeroed(n) : mem.allocate(n);
      ASSERT_NE(a, 0u) << "op " << op;
      ASSERT_EQ(a % 16, 0u);
      if (zeroed) {
        ASSERT_TRUE(all_zero(mem, a, n)) << "op " << op;
      }
      ASSERT_FALSE(live.count(a)) << "address handed out twice at op " << op;
      fill(mem, a, n, next_id);
      live[a] = {n, next_id++};
      order.push_back(a);
    } else if (r < 80) {
      const size_t k = pick(0, uint32_t(order.size() - 1));
      const ScriptAddr a = order[k];
      verify(a);
      ASSERT_TRUE(mem.free(a)) << "op " << op;
      live.erase(a);
      remove_order(k);
    } else {
      const size_t k = pick(0, uint32_t(order.size() - 1));
      const ScriptAddr a = order[k];
      verify(a);
      const Live old = live.at(a);
      const uint32_t n = random_size();
      const ScriptAddr b = mem.resize(a, n);
      ASSERT_NE(b, 0u) << "op " << op;
      const int64_t bad = first_mismatch(mem, b, std::min(n, old.size), old.id);
      ASSERT_EQ(bad, -1) << "resize " << old.size << " -> " << n << " lost contents at offset " << bad;
      live.erase(a);
      ASSERT_FALSE(live.count(b)) << "resize returned a live block at op " << op;
      fill(mem, b, n, next_id);
      live[b] = {n, next_id++};
      order[k] = b;
    }
    const ScriptAddr e = mem.end();
    ASSERT_GE(e, last_end) << "usable end shrank at op " << op;
    last_end = e;
    const auto s = mem.stats();
    peak_live_bytes = std::max(peak_live_bytes, s.live_bytes);
    if (op % 1000 == 999) {
      std::string why;
      ASSERT_TRUE(mem.check_invariants(&why)) << "op " << op << ": " << why;
      ASSERT_EQ(s.live_blocks, live.size());
    }
    if (op % 5000 == 4999) {
      for (const auto& [a, l] : live) {
        verify(a);
        ASSERT_EQ(mem.block_size(a), rounded(l.size));
      }
    }
  }
  // Churn must reuse freed memory rather than keep raising the top.
  EXPECT_LT(mem.stats().top - kFirst, 2 * peak_live_bytes + kMiB)
      << "peak live bytes " << peak_live_bytes;

  for (const auto& [a, l] : live) {
    verify(a);
    ASSERT_TRUE(mem.free(a));
  }
  const auto s = mem.stats();
  EXPECT_EQ(s.live_blocks, 0u);
  EXPECT_EQ(s.free_blocks, 0u);
  EXPECT_EQ(s.top, kFirst);
  EXPECT_INVARIANTS(mem);
}

TEST_F(ScriptMemoryTest, RandomResizingReusesMemory) {
  // Blocks resized at random between 8 bytes and 8 KiB, sometimes 64 KiB.
  // Growing into whatever free space lies beside a block, however large,
  // would keep raising the top to several times the live bytes here.
  std::mt19937 rng(99);
  std::vector<ScriptAddr> slots(1024, 0);
  uint64_t peak_live_bytes = 0;
  for (int op = 0; op < 100000; ++op) {
    const uint32_t n = rng() % 64 == 0 ? 65536 : std::uniform_int_distribution<uint32_t>(8, 8192)(rng);
    ScriptAddr& s = slots[rng() % slots.size()];
    s = mem.resize(s, n);
    ASSERT_NE(s, 0u) << "op " << op;
    peak_live_bytes = std::max(peak_live_bytes, mem.stats().live_bytes);
  }
  EXPECT_LT(mem.stats().top - kFirst, 3 * peak_live_bytes) << "peak live bytes " << peak_live_bytes;
  EXPECT_INVARIANTS(mem);
}

TEST(ScriptMemoryThreads, ConcurrentAllocatorCallsStayConsistent) {
  ScriptMemory mem(kFirst + 64 * kMiB);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&mem, &failures, t] {
      std::mt19937 rng(t);
      std::vector<std::pair<ScriptAddr, uint64_t>> mine;
      for (int i = 0; i < 5000; ++i) {
        if (mine.empty() || rng() % 3 != 0) {
          const uint32_t n = 1 + rng() % 2000;
          const ScriptAddr a = mem.allocate(n);
          if (a == 0) {
            ++failures;
            return;
          }
          const uint64_t id = uint64_t(t) << 32 | uint32_t(i);
          fill(mem, a, 16, id);
          mine.emplace_back(a, id);
        } else {
          const size_t k = rng() % mine.size();
          if (first_mismatch(mem, mine[k].first, 16, mine[k].second) != -1 || !mem.free(mine[k].first)) {
            ++failures;
            return;
          }
          mine[k] = mine.back();
          mine.pop_back();
        }
      }
      for (auto [a, id] : mine)
        if (first_mismatch(mem, a, 16, id) != -1 || !mem.free(a)) ++failures;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(mem.stats().live_blocks, 0u);
  EXPECT_INVARIANTS(mem);
}

TEST(ScriptMemoryThreads, ReadersSeeOnlyAccessiblePagesWhileTheRangeGrows) {
  // end() must be published only after its pages are accessible: a reader
  // touching the last usable byte would otherwise fault.
  ScriptMemory mem(kFirst + 256 * kMiB);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> touched{0};
  std::thread reader([&] {
    while (!stop.load(std::memory_order_relaxed)) {
      const ScriptAddr e = mem.end();
      if (e == kFirst) continue;
      const auto s = mem.span(e - 4096, 4096);
      touched += s[0] + s[4095] + 1;
    }
  });
  ASSERT_NE(mem.allocate(4096), 0u);
  while (touched.load() == 0) std::this_thread::yield();
  while (mem.allocate(4096) != 0) {
  }
  stop = true;
  reader.join();
  EXPECT_EQ(mem.end(), kFirst + 256 * kMiB);
}

// --- limits ---

TEST(ScriptMemoryLimits, ExhaustionFailsCleanlyAndRecovers) {
  const ScriptAddr limit = kFirst + 4 * kMiB;
  ScriptMemory mem(limit);
  std::vector<ScriptAddr> blocks;
  for (ScriptAddr a; (a = mem.allocate(65536)) != 0;) blocks.push_back(a);
  EXPECT_EQ(blocks.size(), 64u);
  EXPECT_EQ(mem.end(), limit);
  EXPECT_EQ(mem.allocate(1), 0u);
  EXPECT_EQ(mem.allocate_zeroed(1), 0u);
  EXPECT_EQ(mem.resize(blocks[0], 65536 + 16), 0u);
  EXPECT_EQ(mem.block_size(blocks[0]), 65536u) << "a failed resize leaves the block";
  EXPECT_INVARIANTS(mem);

  ASSERT_TRUE(mem.free(blocks[10]));
  EXPECT_EQ(mem.allocate(65537), 0u);
  EXPECT_EQ(mem.allocate(65536), blocks[10]);
  for (ScriptAddr a : blocks) ASSERT_TRUE(mem.free(a));
  EXPECT_EQ(mem.allocate(4 * kMiB + 1), 0u);
  EXPECT_EQ(mem.allocate(4 * kMiB), kFirst);
  EXPECT_EQ(mem.end(), limit);
  EXPECT_INVARIANTS(mem);
}

TEST(ScriptMemoryLimits, ImpossibleSizesFailWithoutThrowing) {
  ScriptMemory mem;
  for (uint32_t n : {UINT32_MAX, 0xFFFFFFF1u, 0xFFFFFFF0u, ScriptMemory::kDefaultLimit,
                     ScriptMemory::kDefaultLimit - kFirst + 1}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(mem.allocate(n), 0u);
    EXPECT_EQ(mem.allocate_zeroed(n), 0u);
    EXPECT_EQ(mem.resize(0, n), 0u);
  }
  EXPECT_EQ(mem.stats().live_blocks, 0u);
  EXPECT_EQ(mem.end(), kFirst) << "a failed request must not grow the usable range";
  EXPECT_INVARIANTS(mem);
}

TEST(ScriptMemoryLimits, LimitIsRoundedDownAndTinyLimitsLeaveNothingUsable) {
  const ScriptAddr odd = kFirst + kMiB + 100;
  ScriptMemory mem(odd);
  while (mem.allocate(4096) != 0) {
  }
  EXPECT_LE(mem.end(), odd);
  EXPECT_GE(mem.end(), kFirst + kMiB);

  for (ScriptAddr limit : {0u, kFirst - 1, kFirst}) {
    ScriptMemory none(limit);
    EXPECT_EQ(none.allocate(0), 0u);
    EXPECT_FALSE(none.valid(kFirst, 1));
    EXPECT_EQ(none.end(), kFirst);
  }
}

// --- checked access ---

TEST_F(ScriptMemoryTest, ValidAndSpanCheckBothEnds) {
  ASSERT_NE(mem.allocate(100), 0u);
  const ScriptAddr e = mem.end();
  ASSERT_GT(e, kFirst);
  struct Case {
    ScriptAddr a;
    uint32_t n;
    bool ok;
  };
  const Case cases[] = {
      {0, 0, false},
      {0, 1, false},
      {1, 16, false},
      {kFirst - 1, 0, false},
      {kFirst - 1, 1, false},
      {kFirst - 1, 2, false},
      {kFirst, 0, true},
      {kFirst, 1, true},
      {kFirst, e - kFirst, true},
      {kFirst, e - kFirst + 1, false},
      {e - 1, 1, true},
      {e - 1, 2, false},
      {e, 0, true},
      {e, 1, false},
      {e + 1, 0, false},
      {kFirst, UINT32_MAX, false},
      {e - 1, UINT32_MAX, false},
      {0xFFFF0000u, 0x10000u, false},
      {UINT32_MAX, 1, false},
      {UINT32_MAX, UINT32_MAX, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("a=" + std::to_string(c.a) + " n=" + std::to_string(c.n));
    EXPECT_EQ(mem.valid(c.a, c.n), c.ok);
    const auto s = mem.span(c.a, c.n);
    if (c.ok) {
      EXPECT_EQ(s.data(), mem.host(c.a));
      EXPECT_EQ(s.size(), c.n);
    } else {
      EXPECT_EQ(s.data(), nullptr);
      EXPECT_TRUE(s.empty());
    }
  }
  // The whole usable range is really accessible.
  mem.span(e - 1, 1)[0] = 42;
  EXPECT_EQ(*mem.host(e - 1), 42);
}

TEST_F(ScriptMemoryTest, StringNeedsATerminatorWithinBounds) {
  const ScriptAddr a = mem.allocate(16);
  std::memcpy(mem.host(a), "hello", 6);
  struct Case {
    ScriptAddr a;
    uint32_t max_len;
    bool ok;
    const char* text;
  };
  const Case cases[] = {
      {a, UINT32_MAX, true, "hello"},
      {a, 6, true, "hello"},  // the terminator is the 6th byte
      {a, 5, false, ""},
      {a, 0, false, ""},
      {a + 5, 1, true, ""},
      {a + 2, 4, true, "llo"},
      {0, UINT32_MAX, false, ""},
      {kFirst - 1, UINT32_MAX, false, ""},
      {mem.end(), UINT32_MAX, false, ""},
      {UINT32_MAX, UINT32_MAX, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("a=" + std::to_string(c.a) + " max_len=" + std::to_string(c.max_len));
    std::string_view out = "untouched";
    EXPECT_EQ(mem.string(c.a, out, c.max_len), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, c.text);
    }
  }

  // Unterminated text running into the end of the usable range.
  const ScriptAddr e = mem.end();
  std::memset(mem.host(e - 8), 'x', 8);
  std::string_view out;
  EXPECT_FALSE(mem.string(e - 8, out));
  EXPECT_FALSE(mem.string(e - 1, out));
  mem.host(e - 1)[0] = 0;
  ASSERT_TRUE(mem.string(e - 8, out));
  EXPECT_EQ(out, "xxxxxxx");
  ASSERT_TRUE(mem.string(e - 1, out));
  EXPECT_EQ(out, "");
}

TEST(ScriptMemoryGlobal, ProcessWideInstanceIsSharedAndSeparateFromOthers) {
  ScriptMemory& g = script_memory();
  EXPECT_EQ(&g, &script_memory());
  ScriptMemory local(kFirst + kMiB);
  EXPECT_NE(g.base(), local.base());
  const ScriptAddr a = g.allocate(32);
  ASSERT_NE(a, 0u);
  fill(g, a, 32, 1);
  const ScriptAddr b = local.allocate(32);
  ASSERT_NE(b, 0u);
  std::memset(local.host(b), 0x5A, 32);
  EXPECT_EQ(first_mismatch(g, a, 32, 1), -1);
  EXPECT_TRUE(g.free(a));
  EXPECT_TRUE(local.free(b));
  EXPECT_FALSE(local.free(b));
}

}  // namespace
}  // namespace zelt

namespace zelt {
namespace {

// Where the process-wide script memory sits at its own addresses, a script
// address is the host pointer; a second region never can be.
TEST(ScriptMemoryPlacement, AtItsOwnAddressesAScriptAddressIsTheHostPointer) {
  ScriptMemory& memory = script_memory();
  if (!memory.identity()) GTEST_SKIP() << "script memory is not at its own addresses in this build";
  const ScriptAddr a = memory.allocate(16);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(memory.host(a)), uintptr_t{a});
  EXPECT_EQ(memory.base(), nullptr);
  EXPECT_TRUE(memory.free(a));
  const ScriptMemory second(1 << 20);
  EXPECT_FALSE(second.identity());
}

}  // namespace
}  // namespace zelt
