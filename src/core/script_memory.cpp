#include "core/script_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

// Allocator layout: blocks tile [kFirstUsable, top) without gaps; above top
// lies one free area up to the limit, whose pages are made usable as top
// rises. Each block below top has a node in a host-side vector, linked to its
// neighbours in address order for coalescing; free blocks also sit in
// segregated lists by size class with a bitmap of non-empty classes; live
// blocks are found by address through a hash index. No bookkeeping lives in
// script memory.

namespace zelt {
namespace {

// Node index 0 is a sentinel: "no block".
constexpr uint32_t kNil = 0;

// The usable end grows in 1 MiB steps, or by an eighth of the used range (up
// to 64 MiB) once that is larger, so mprotect calls stay rare.
constexpr uint64_t kGrowStep = uint64_t{1} << 20;
constexpr uint64_t kMaxGrowStep = uint64_t{64} << 20;

// Once this much memory above the top has been written and freed, all but
// the first half of it goes back to the system (and then reads as zero).
constexpr uint64_t kReleaseSlack = uint64_t{8} << 20;

// Size classes: one per 16 bytes below 1 KiB (every block in such a class has
// the same size), then 8 classes per power of two.
constexpr uint32_t kExactClasses = 64;
constexpr uint32_t kExactLimit = kExactClasses * ScriptMemory::kAlignment;
constexpr int kSubBits = 3;
constexpr uint32_t kClasses = kExactClasses + (32 - 10) * (1u << kSubBits);
static_assert(kExactLimit == 1u << 10);
static_assert(kClasses <= 256);

// How many blocks of a wide class are examined for the best fit before
// falling back to a block of a higher class (which always fits).
constexpr int kScanLimit = 16;

// Growing a block into free space beside it is adjacent fit, not best fit:
// under random resizing, always doing it chops large free blocks and leaves
// 5-8 times the live bytes in use, against 1.5-2 times when it is done only
// where it fits well. A neighbour is taken when the growth is incremental
// (at most doubling, as buffers grow; skipped when the block slides, which
// copies anyway), when at least half of the space taken is used, or when
// less than kSnugRemainder stays free.
constexpr uint32_t kSnugRemainder = 1024;
bool snug_growth(uint32_t old_size, uint64_t space, uint32_t sz, bool incremental_ok) {
  const uint64_t grow = sz - old_size, rem = space - sz;
  return (incremental_ok && grow <= old_size) || rem <= grow || rem < kSnugRemainder;
}

uint32_t size_class(uint32_t s) {
  if (s < kExactLimit) return s / ScriptMemory::kAlignment;
  const int fl = std::bit_width(s) - 1;
  const uint32_t sl = (s >> (fl - kSubBits)) & ((1u << kSubBits) - 1);
  return kExactClasses + uint32_t(fl - 10) * (1u << kSubBits) + sl;
}

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// Guards the allocator. Callers normally hold the runtime's built-in lock
// already, so this is uncontended and costs one atomic exchange, where a mutex
// costs two library calls (about a sixth of an allocate/free pair).
class SpinLock {
 public:
  void lock() noexcept {
    while (locked_.exchange(true, std::memory_order_acquire))
      while (locked_.load(std::memory_order_relaxed)) std::this_thread::yield();
  }
  void unlock() noexcept { locked_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> locked_{false};
};

// Open-addressing map from live block address to node index: linear probing,
// backward-shift deletion, kept at most half full. Key 0 marks an empty slot
// (no block starts below kFirstUsable).
class AddrMap {
 public:
  static constexpr size_t kAbsent = SIZE_MAX;

  // Slot holding key, or kAbsent.
  size_t find_slot(uint32_t key) const {
    if (key == 0 || slots_.empty()) return kAbsent;
    for (size_t i = home(key);; i = (i + 1) & mask_) {
      if (slots_[i].key == key) return i;
      if (slots_[i].key == 0) return kAbsent;
    }
  }
  uint32_t value(size_t slot) const { return slots_[slot].val; }
  uint32_t find(uint32_t key) const {
    const size_t slot = find_slot(key);
    return slot == kAbsent ? kNil : slots_[slot].val;
  }

  // Makes room for one more entry; the only operation that may throw.
  void reserve_one() {
    if ((count_ + 1) * 2 > slots_.size()) rehash(std::max<size_t>(1024, slots_.size() * 2));
  }

  // Requires reserve_one() since the last insert.
  void insert(uint32_t key, uint32_t val) {
    size_t i = home(key);
    while (slots_[i].key != 0) i = (i + 1) & mask_;
    slots_[i] = {key, val};
    ++count_;
  }

  void erase(uint32_t key) {
    const size_t slot = find_slot(key);
    if (slot != kAbsent) erase_slot(slot);
  }

  void erase_slot(size_t i) {
    // Pull later entries of the probe run back into the hole when the hole
    // lies between their home slot and where they sit.
    for (size_t j = i;;) {
      j = (j + 1) & mask_;
      if (slots_[j].key == 0) break;
      const size_t h = home(slots_[j].key);
      if (((j - h) & mask_) >= ((j - i) & mask_)) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = {0, 0};
    --count_;
  }

  size_t size() const { return count_; }

 private:
  struct Slot {
    uint32_t key, val;
  };
  size_t home(uint32_t key) const { return ((key >> 4) * 0x9E3779B9u) >> shift_; }

  void rehash(size_t cap) {
    std::vector<Slot> old(cap, Slot{0, 0});
    old.swap(slots_);
    mask_ = cap - 1;
    shift_ = 32 - std::countr_zero(cap);
    count_ = 0;
    for (const Slot& s : old)
      if (s.key != 0) insert(s.key, s.val);
  }

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  int shift_ = 32;
  size_t count_ = 0;
};

// One node per block below the top, live or free, linked in address order.
// Free blocks also sit in the list of their size class.
struct Node {
  uint32_t addr = 0, size = 0;
  uint32_t prev = kNil, next = kNil;    // neighbours in address order
  uint32_t fprev = kNil, fnext = kNil;  // size-class list; fnext also chains spare nodes
  bool free = false;
  bool owned = false;  // live block the runtime keeps for itself
};

}  // namespace

struct ScriptMemory::Impl {
  Impl(ScriptMemory& o, uint32_t lim, uint32_t page_size) : owner(o), limit(lim), page(page_size) {
    nodes.reserve(1024);
    nodes.emplace_back();  // the kNil sentinel
  }

  ScriptMemory& owner;
  mutable SpinLock mu;
  const uint32_t limit;
  const uint32_t page;
  uint32_t top = kFirstUsable;    // end of the highest block
  // Memory at or above this has not been handed out since it was last zero,
  // so allocate_zeroed need not clear it. A script writing memory it does not
  // own can break that, but only for itself.
  uint32_t dirty = kFirstUsable;

  std::vector<Node> nodes;
  uint32_t spare = kNil;  // recycled nodes, chained through fnext
  size_t spare_count = 0;
  uint32_t first = kNil, last = kNil;
  uint32_t heads[kClasses] = {};
  uint64_t nonempty[4] = {};  // bit c set when heads[c] != kNil
  AddrMap live;
  Stats st;

  uint8_t* host(uint32_t a) const { return owner.base_ + a; }

  // Everything that may throw happens here, before any structure changes, so
  // an operation either fails cleanly or runs to the end.
  bool reserve() noexcept {
    try {
      live.reserve_one();
      if (spare_count < 2 && nodes.capacity() - nodes.size() < 2)
        nodes.reserve(std::max<size_t>(nodes.capacity() * 2, nodes.size() + 2));
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
  }

  uint32_t new_node() {
    if (spare != kNil) {
      const uint32_t i = spare;
      spare = nodes[i].fnext;
      --spare_count;
      nodes[i] = Node{};
      return i;
    }
    nodes.emplace_back();  // within the capacity reserve() ensured
    return uint32_t(nodes.size() - 1);
  }

  void release_node(uint32_t i) {
    nodes[i].fnext = spare;
    nodes[i].free = false;
    spare = i;
    ++spare_count;
  }

  // --- address order ---

  void link_after(uint32_t p, uint32_t i) {
    Node& n = nodes[i];
    n.prev = p;
    n.next = nodes[p].next;
    if (n.next != kNil)
      nodes[n.next].prev = i;
    else
      last = i;
    nodes[p].next = i;
  }

  void append(uint32_t i) {
    Node& n = nodes[i];
    n.prev = last;
    n.next = kNil;
    if (last != kNil)
      nodes[last].next = i;
    else
      first = i;
    last = i;
  }

  void unlink(uint32_t i) {
    const Node& n = nodes[i];
    if (n.prev != kNil)
      nodes[n.prev].next = n.next;
    else
      first = n.next;
    if (n.next != kNil)
      nodes[n.next].prev = n.prev;
    else
      last = n.prev;
  }

  // --- size-class lists ---

  void push_free(uint32_t i) {
    Node& b = nodes[i];
    const uint32_t c = size_class(b.size);
    b.free = true;
    b.fprev = kNil;
    b.fnext = heads[c];
    if (heads[c] != kNil) nodes[heads[c]].fprev = i;
    heads[c] = i;
    nonempty[c >> 6] |= uint64_t{1} << (c & 63);
    ++st.free_blocks;
    st.free_bytes += b.size;
  }

  // Must run before the block's size changes.
  void pull_free(uint32_t i) {
    Node& b = nodes[i];
    const uint32_t c = size_class(b.size);
    if (b.fprev != kNil) {
      nodes[b.fprev].fnext = b.fnext;
    } else {
      heads[c] = b.fnext;
      if (b.fnext == kNil) nonempty[c >> 6] &= ~(uint64_t{1} << (c & 63));
    }
    if (b.fnext != kNil) nodes[b.fnext].fprev = b.fprev;
    b.free = false;
    --st.free_blocks;
    st.free_bytes -= b.size;
  }

  uint32_t first_nonempty_from(uint32_t c) const {
    for (uint32_t w = c >> 6; w < 4; ++w) {
      uint64_t bits = nonempty[w];
      if (w == c >> 6) bits &= ~uint64_t{0} << (c & 63);
      if (bits) return w * 64 + uint32_t(std::countr_zero(bits));
    }
    return kClasses;
  }

  // A free block of at least sz bytes: the smallest of the first few in sz's
  // own class, else the first block of the next non-empty class.
  uint32_t find_free(uint32_t sz) const {
    uint32_t c = size_class(sz);
    if (c >= kExactClasses) {
      uint32_t best = kNil, best_size = UINT32_MAX;
      int k = 0;
      for (uint32_t i = heads[c]; i != kNil && k < kScanLimit; i = nodes[i].fnext, ++k) {
        const uint32_t s = nodes[i].size;
        if (s >= sz && s < best_size) {
          best = i;
          best_size = s;
          if (s == sz) break;
        }
      }
      if (best != kNil) return best;
      ++c;
    }
    c = first_nonempty_from(c);
    return c < kClasses ? heads[c] : kNil;
  }

  // --- the usable range ---

  // Makes [kFirstUsable, need) usable; need <= limit.
  bool ensure_end(uint64_t need) {
    const uint32_t e = owner.end_.load(std::memory_order_relaxed);
    if (need <= e) return true;
    const uint64_t step = std::clamp<uint64_t>((e - kFirstUsable) / 8, kGrowStep, kMaxGrowStep);
    uint64_t target = std::max<uint64_t>(need, e + step);
    target = std::min<uint64_t>((target + kGrowStep - 1) & ~(kGrowStep - 1), limit);
    if (mprotect(host(e), target - e, PROT_READ | PROT_WRITE) != 0) {
      // Short of memory for the whole step: try exactly what is needed.
      target = std::min<uint64_t>((need + page - 1) & ~uint64_t{page - 1}, limit);
      if (mprotect(host(e), target - e, PROT_READ | PROT_WRITE) != 0) return false;
    }
    // Published only once the pages are accessible.
    owner.end_.store(uint32_t(target), std::memory_order_release);
    return true;
  }

  // Returns written pages well above the top to the system.
  void trim() {
    const uint64_t cushion = (uint64_t{top} + kReleaseSlack / 2 + page - 1) & ~uint64_t{page - 1};
    if (dirty < cushion + kReleaseSlack / 2) return;
    if (madvise(host(uint32_t(cushion)), dirty - cushion, MADV_DONTNEED) == 0) dirty = uint32_t(cushion);
  }

  // --- allocation ---

  // Bytes a request for n occupies, or 0 when it can never fit.
  uint32_t round_size(uint64_t n) const {
    uint64_t s = (n + kAlignment - 1) & ~uint64_t{kAlignment - 1};
    if (s == 0) s = kAlignment;
    return s <= limit - kFirstUsable ? uint32_t(s) : 0;
  }

  void mark_live(uint32_t i) {
    nodes[i].owned = false;
    live.insert(nodes[i].addr, i);
    ++st.live_blocks;
    st.live_bytes += nodes[i].size;
  }

  // Turns free block i into a live block of sz bytes; the rest stays free.
  void take(uint32_t i, uint32_t sz) {
    pull_free(i);
    const uint32_t rem = nodes[i].size - sz;
    if (rem != 0) {
      // A free block always has a live block after it, so the rest needs no
      // coalescing.
      const uint32_t r = new_node();
      nodes[r].addr = nodes[i].addr + sz;
      nodes[r].size = rem;
      nodes[i].size = sz;
      link_after(i, r);
      push_free(r);
    }
    mark_live(i);
  }

  uint32_t alloc_top(uint32_t sz) {
    const uint64_t new_top = uint64_t{top} + sz;
    if (new_top > limit || !ensure_end(new_top)) return kNil;
    const uint32_t i = new_node();
    nodes[i].addr = top;
    nodes[i].size = sz;
    append(i);
    top = uint32_t(new_top);
    dirty = std::max(dirty, top);
    mark_live(i);
    return i;
  }

  // Requires reserve().
  uint32_t alloc(uint32_t sz) {
    const uint32_t i = find_free(sz);
    if (i != kNil) {
      take(i, sz);
      return i;
    }
    return alloc_top(sz);
  }

  // slot is i's entry in the live index when the caller has it at hand.
  void free_block(uint32_t i, size_t slot = AddrMap::kAbsent) {
    Node& b = nodes[i];
    if (slot != AddrMap::kAbsent)
      live.erase_slot(slot);
    else
      live.erase(b.addr);
    --st.live_blocks;
    st.live_bytes -= b.size;
    const uint32_t p = b.prev, n = b.next;
    if (n == kNil) {
      // The highest block (and a free block before it) rejoins the top area.
      top = b.addr;
      unlink(i);
      release_node(i);
      if (p != kNil && nodes[p].free) {
        pull_free(p);
        top = nodes[p].addr;
        unlink(p);
        release_node(p);
      }
      trim();
      return;
    }
    if (nodes[n].free) {
      pull_free(n);
      b.size += nodes[n].size;
      unlink(n);
      release_node(n);
    }
    if (p != kNil && nodes[p].free) {
      pull_free(p);
      nodes[p].size += b.size;
      unlink(i);
      release_node(i);
      push_free(p);
    } else {
      push_free(i);
    }
  }

  // Shrinks live block i to sz bytes, handing the rest to what follows.
  void shrink(uint32_t i, uint32_t sz) {
    Node& b = nodes[i];
    const uint32_t rem = b.size - sz;
    if (rem == 0) return;
    st.live_bytes -= rem;
    b.size = sz;
    const uint32_t n = b.next;
    if (n == kNil) {
      top = b.addr + sz;
      trim();
    } else if (nodes[n].free) {
      pull_free(n);
      nodes[n].addr -= rem;
      nodes[n].size += rem;
      push_free(n);
    } else {
      const uint32_t r = new_node();
      nodes[r].addr = b.addr + sz;
      nodes[r].size = rem;
      link_after(i, r);
      push_free(r);
    }
  }

  // Grows live block i to sz bytes without moving it, if what follows allows.
  bool grow_in_place(uint32_t i, uint32_t sz) {
    Node& b = nodes[i];
    const uint32_t n = b.next;
    if (n == kNil) {
      const uint64_t new_top = uint64_t{b.addr} + sz;
      if (new_top > limit || !ensure_end(new_top)) return false;
      st.live_bytes += sz - b.size;
      b.size = sz;
      top = uint32_t(new_top);
      dirty = std::max(dirty, top);
      return true;
    }
    if (!nodes[n].free) return false;
    const uint64_t space = uint64_t{b.size} + nodes[n].size;
    if (space < sz || !snug_growth(b.size, space, sz, true)) return false;
    pull_free(n);
    const uint32_t rem = b.size + nodes[n].size - sz;
    st.live_bytes += sz - b.size;
    b.size = sz;
    if (rem != 0) {
      nodes[n].addr = b.addr + sz;
      nodes[n].size = rem;
      push_free(n);
    } else {
      unlink(n);
      release_node(n);
    }
    return true;
  }

  // Grows live block i to sz bytes by sliding it down into a free block
  // before it (plus a free block after it); contents move with it.
  bool grow_downward(uint32_t i, uint32_t sz) {
    Node& b = nodes[i];
    const uint32_t p = b.prev, n = b.next;
    if (p == kNil || !nodes[p].free) return false;
    const bool with_next = n != kNil && nodes[n].free;
    const uint64_t total = uint64_t{nodes[p].size} + b.size + (with_next ? nodes[n].size : 0);
    if (total < sz || !snug_growth(b.size, total, sz, false)) return false;
    const uint32_t old_addr = b.addr, old_size = b.size;
    pull_free(p);
    if (with_next) {
      pull_free(n);
      unlink(n);
      release_node(n);
    }
    b.addr = nodes[p].addr;
    b.size = uint32_t(total);
    st.live_bytes += total - old_size;
    unlink(p);
    release_node(p);
    live.erase(old_addr);
    live.insert(b.addr, i);  // same count as before: no growth needed
    std::memmove(host(b.addr), host(old_addr), old_size);
    shrink(i, sz);
    return true;
  }
};

namespace {

// The null base of the identity placement, hidden from the optimiser: base +
// a is then host address a, never folded as arithmetic on a null pointer.
uint8_t* opaque(uint8_t* p) {
  asm volatile("" : "+r"(p));
  return p;
}

// The part of the reservation that is mapped: all 4 GiB, or from the first
// usable address on for the identity placement (the kernel keeps the lowest
// addresses unmapped anyway).
uint8_t* mapped_start(uint8_t* base, bool identity) {
  return identity ? reinterpret_cast<uint8_t*>(uintptr_t{ScriptMemory::kFirstUsable}) : base;
}
size_t mapped_size(bool identity) {
  return identity ? ScriptMemory::kReservation - ScriptMemory::kFirstUsable : ScriptMemory::kReservation;
}

}  // namespace

ScriptMemory::ScriptMemory(ScriptAddr limit) {
  // First choice: script address a at host address a, so that native
  // libraries called through dll_call can use script addresses as pointers.
  // MAP_FIXED_NOREPLACE fails where anything is mapped already (older
  // kernels take it as a hint and place the block elsewhere).
  void* const first = reinterpret_cast<void*>(uintptr_t{kFirstUsable});
  void* p = mmap(first, mapped_size(true), PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == first) {
    identity_ = true;
    base_ = opaque(nullptr);
  } else {
    if (p != MAP_FAILED) munmap(p, mapped_size(true));
    p = mmap(nullptr, kReservation, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
      std::fprintf(stderr, "zelt: cannot reserve 4 GiB of address space for script memory: %s\n",
                   std::strerror(errno));
      std::abort();
    }
    base_ = static_cast<uint8_t*>(p);
  }
  const long ps = sysconf(_SC_PAGESIZE);
  const uint32_t page = ps > 0 ? uint32_t(ps) : 4096;
  const uint32_t lim = std::max(std::min(limit, kDefaultLimit) & ~(page - 1), kFirstUsable);
  try {
    impl_ = new Impl(*this, lim, page);
  } catch (...) {
    munmap(mapped_start(base_, identity_), mapped_size(identity_));
    throw;
  }
}

ScriptMemory::~ScriptMemory() {
  delete impl_;
  munmap(mapped_start(base_, identity_), mapped_size(identity_));
}

std::span<uint8_t> ScriptMemory::span(ScriptAddr a, uint32_t n) const {
  if (!valid(a, n)) return {};
  return {base_ + a, n};
}

bool ScriptMemory::string(ScriptAddr a, std::string_view& out, uint32_t max_len) const {
  const uint64_t e = end();
  if (a < kFirstUsable || a >= e) return false;
  const char* s = reinterpret_cast<const char*>(base_ + a);
  const void* z = std::memchr(s, 0, std::min<uint64_t>(max_len, e - a));
  if (z == nullptr) return false;
  out = std::string_view(s, size_t(static_cast<const char*>(z) - s));
  return true;
}

ScriptAddr ScriptMemory::allocate(uint32_t n) {
  Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  const uint32_t sz = m.round_size(n);
  if (sz == 0 || !m.reserve()) return 0;
  const uint32_t i = m.alloc(sz);
  return i != kNil ? m.nodes[i].addr : 0;
}

ScriptAddr ScriptMemory::allocate_zeroed(uint32_t n) {
  Impl& m = *impl_;
  ScriptAddr a;
  uint32_t dirty_bytes;
  {
    std::lock_guard lock(m.mu);
    const uint32_t sz = m.round_size(n);
    if (sz == 0 || !m.reserve()) return 0;
    const uint32_t clean_from = m.dirty;  // before alloc may raise it
    const uint32_t i = m.alloc(sz);
    if (i == kNil) return 0;
    a = m.nodes[i].addr;
    dirty_bytes = clean_from > a ? std::min(sz, clean_from - a) : 0;
  }
  // The block is ours alone now; clear it without holding the lock.
  std::memset(base_ + a, 0, dirty_bytes);
  return a;
}

ScriptAddr ScriptMemory::resize(ScriptAddr a, uint32_t n) {
  if (a == 0) return allocate(n);
  Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  const uint32_t i = m.live.find(a);
  const uint32_t sz = m.round_size(n);
  if (i == kNil || m.nodes[i].owned || sz == 0 || !m.reserve()) return 0;
  const uint32_t old_size = m.nodes[i].size;
  if (sz <= old_size) {
    m.shrink(i, sz);
    return a;
  }
  if (m.grow_in_place(i, sz)) return a;
  if (m.grow_downward(i, sz)) return m.nodes[i].addr;
  const uint32_t j = m.alloc(sz);
  if (j == kNil) return 0;
  const ScriptAddr b = m.nodes[j].addr;
  std::memcpy(base_ + b, base_ + a, old_size);
  m.free_block(i);
  return b;
}

bool ScriptMemory::free(ScriptAddr a) { return release(a, false); }

bool ScriptMemory::release(ScriptAddr a, bool owned) {
  Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  const size_t slot = m.live.find_slot(a);
  if (slot == AddrMap::kAbsent || m.nodes[m.live.value(slot)].owned != owned) return false;
  m.free_block(m.live.value(slot), slot);
  return true;
}

ScriptAddr ScriptMemory::allocate_owned(uint32_t n) {
  const ScriptAddr a = allocate_zeroed(n);
  if (a != 0) {
    Impl& m = *impl_;
    std::lock_guard lock(m.mu);
    m.nodes[m.live.find(a)].owned = true;
  }
  return a;
}

bool ScriptMemory::free_owned(ScriptAddr a) { return release(a, true); }

uint32_t ScriptMemory::block_size(ScriptAddr a) const {
  const Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  const uint32_t i = m.live.find(a);
  return i != kNil ? m.nodes[i].size : 0;
}

ScriptMemory::Stats ScriptMemory::stats() const {
  const Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  Stats s = m.st;
  s.top = m.top;
  return s;
}

bool ScriptMemory::check_invariants(std::string* why) const {
  const Impl& m = *impl_;
  std::lock_guard lock(m.mu);
  auto fail = [&](std::string msg) {
    if (why) *why = std::move(msg);
    return false;
  };
  const size_t cap = m.nodes.size();

  // Address order: blocks tile [kFirstUsable, top) exactly.
  Stats s;
  uint64_t at = kFirstUsable;
  uint32_t prev = kNil;
  size_t blocks = 0;
  for (uint32_t i = m.first; i != kNil; i = m.nodes[i].next) {
    if (i >= cap || ++blocks > cap) return fail("address list is broken or cyclic");
    const Node& b = m.nodes[i];
    if (b.prev != prev) return fail("wrong back link at " + hex(b.addr));
    if (b.addr != at) return fail("block at " + hex(b.addr) + " where " + hex(at) + " was expected");
    if (b.size == 0 || b.size % kAlignment != 0) return fail("bad size " + hex(b.size) + " at " + hex(b.addr));
    if (b.free) {
      if (prev != kNil && m.nodes[prev].free) return fail("free blocks not coalesced at " + hex(b.addr));
      ++s.free_blocks;
      s.free_bytes += b.size;
    } else {
      if (m.live.find(b.addr) != i) return fail("live block " + hex(b.addr) + " missing from the index");
      ++s.live_blocks;
      s.live_bytes += b.size;
    }
    at += b.size;
    prev = i;
  }
  if (prev != m.last) return fail("last block is not the end of the address list");
  if (at != m.top) return fail("blocks end at " + hex(at) + " but top is " + hex(m.top));
  if (m.last != kNil && m.nodes[m.last].free) return fail("free block left below the top area");
  if (m.live.size() != s.live_blocks) return fail("index holds stale entries");

  // Size-class lists hold exactly the free blocks, each in its own class.
  uint64_t listed = 0;
  for (uint32_t c = 0; c < kClasses; ++c) {
    const bool bit = (m.nonempty[c >> 6] >> (c & 63)) & 1;
    if (bit != (m.heads[c] != kNil)) return fail("class bitmap wrong for class " + std::to_string(c));
    uint32_t fp = kNil;
    for (uint32_t i = m.heads[c]; i != kNil; i = m.nodes[i].fnext) {
      if (i >= cap || ++listed > cap) return fail("class list is broken or cyclic");
      const Node& b = m.nodes[i];
      if (!b.free) return fail("live block " + hex(b.addr) + " in a free list");
      if (size_class(b.size) != c) return fail("block " + hex(b.addr) + " in the wrong class");
      if (b.fprev != fp) return fail("wrong free-list back link at " + hex(b.addr));
      fp = i;
    }
  }
  if (listed != s.free_blocks) return fail("free lists and address list disagree");

  size_t spare = 0;
  for (uint32_t i = m.spare; i != kNil; i = m.nodes[i].fnext)
    if (i >= cap || ++spare > cap) return fail("spare node list is broken");
  if (spare != m.spare_count || 1 + blocks + spare != cap) return fail("nodes leaked");

  if (s.live_blocks != m.st.live_blocks || s.live_bytes != m.st.live_bytes ||
      s.free_blocks != m.st.free_blocks || s.free_bytes != m.st.free_bytes)
    return fail("statistics counters disagree with the blocks");
  const uint32_t e = end();
  if (!(m.top <= m.dirty && m.dirty <= e && e <= m.limit))
    return fail("top " + hex(m.top) + ", written " + hex(m.dirty) + ", end " + hex(e) + ", limit " +
                hex(m.limit) + " out of order");
  return true;
}

ScriptMemory& script_memory() {
  // Never destroyed: threads still running at exit may touch script memory.
  static ScriptMemory* const instance = new ScriptMemory();
  return *instance;
}

}  // namespace zelt
