// Script memory: one sandboxed 32-bit address space. Every address a script
// holds is an offset into a 4 GiB reservation; the first 64 KiB are never
// usable, the usable range [kFirstUsable, end()) grows as blocks are handed
// out and never shrinks while the process runs. Allocator bookkeeping lives in
// host memory, so no script write can corrupt it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelt {

using ScriptAddr = uint32_t;

class ScriptMemory {
 public:
  static constexpr uint64_t kReservation = uint64_t{1} << 32;
  static constexpr ScriptAddr kFirstUsable = 0x10000;
  static constexpr uint32_t kAlignment = 16;

  // Highest usable end by default; the last 64 KiB stay unusable too, so that
  // a + n never wraps for any checked access.
  static constexpr ScriptAddr kDefaultLimit = 0xFFFF0000u;

  // Reserves the address space (aborts with a message if it cannot). limit
  // caps the usable range (rounded down to a page, at most kDefaultLimit);
  // tests use a small one to reach exhaustion.
  explicit ScriptMemory(ScriptAddr limit = kDefaultLimit);
  ~ScriptMemory();
  ScriptMemory(const ScriptMemory&) = delete;
  ScriptMemory& operator=(const ScriptMemory&) = delete;

  // Host pointer of script address a (unchecked).
  uint8_t* host(ScriptAddr a) const { return base_ + a; }
  uint8_t* base() const { return base_; }
  // True when script address a is host address a (base() is null): native
  // code can then take script addresses as pointers. The first instance
  // gets this placement when the low 4 GiB of the address space are free
  // (not under the address sanitizer, whose shadow lies there).
  bool identity() const { return identity_; }
  // End (exclusive) of the usable range; read lock-free by interpreters.
  ScriptAddr end() const { return end_.load(std::memory_order_acquire); }

  // True when [a, a + n) lies inside the usable range.
  bool valid(ScriptAddr a, uint32_t n) const {
    const uint64_t e = end();
    return a >= kFirstUsable && uint64_t{a} + n <= e;
  }
  // Checked view of [a, a + n): an empty span with a null data pointer when
  // the range is not usable. For n == 0 and kFirstUsable <= a <= end() the
  // span is empty but its data pointer is host(a).
  std::span<uint8_t> span(ScriptAddr a, uint32_t n) const;
  // The zero-terminated string at a, without its terminator, if a terminator
  // occurs within max_len bytes and inside the usable range; otherwise
  // returns false.
  bool string(ScriptAddr a, std::string_view& out, uint32_t max_len = UINT32_MAX) const;

  // Allocator. Failure returns 0 and never throws. Blocks are aligned to
  // kAlignment and sized in multiples of it; a request for 0 bytes gets a
  // minimal block. free/resize/size of an address that is not the start of a
  // live block are refused (free returns false, resize returns 0, size 0).
  // Memory never handed out before is zero; allocate() does not clear reused
  // memory, allocate_zeroed() does.
  //
  // resize(0, n) allocates. resize(a, 0) shrinks a to a minimal block and
  // returns a (it does not free), so 0 from resize always means failure with
  // the old block untouched. Growth happens in place when the following free
  // space allows, else the block moves.
  //
  // Thread safety: the allocator takes an internal spin lock, so concurrent
  // calls are safe; it is meant to be uncontended, the runtime serialising
  // them under its own lock. valid, span, string and end take no lock and may
  // run on any thread at any time, also while the usable range grows.
  ScriptAddr allocate(uint32_t n);
  ScriptAddr allocate_zeroed(uint32_t n);
  ScriptAddr resize(ScriptAddr a, uint32_t n);  // contents kept up to min(old, n)
  bool free(ScriptAddr a);
  uint32_t block_size(ScriptAddr a) const;      // usable bytes of a live block, 0 otherwise

  // Blocks the runtime keeps for itself although scripts know addresses
  // inside them (plane headers and pixels, pools): zeroed like
  // allocate_zeroed; free and resize refuse them, so a script cannot
  // release memory the runtime still uses. Only free_owned releases one (and
  // refuses every other block).
  ScriptAddr allocate_owned(uint32_t n);
  bool free_owned(ScriptAddr a);

  // Statistics for tests and benchmarks. Free blocks are those below top;
  // [top, limit) is one further free area that is not counted among them.
  struct Stats {
    uint64_t live_blocks = 0, live_bytes = 0, free_blocks = 0, free_bytes = 0;
    uint64_t top = kFirstUsable;  // end of the highest block
  };
  Stats stats() const;
  // Checks every allocator invariant (no overlap, free neighbours coalesced,
  // index consistency); returns false and describes the first violation.
  bool check_invariants(std::string* why = nullptr) const;

 private:
  bool release(ScriptAddr a, bool owned);

  struct Impl;
  Impl* impl_;
  uint8_t* base_ = nullptr;
  bool identity_ = false;
  std::atomic<uint32_t> end_{kFirstUsable};
};

// The process-wide script memory, created on first use.
ScriptMemory& script_memory();

}  // namespace zelt
