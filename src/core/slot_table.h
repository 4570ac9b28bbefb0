// A fixed-capacity table of N slots whose entries scripts know by 32-bit
// handles. Every lookup validates the handle, so a forged, closed or
// out-of-range handle finds nothing instead of reaching memory.
//
// Handles take one of three forms:
// - kGenerational: opaque values for tables whose handle values are not fixed.
//   Each slot counts how often it was emptied, and the handle carries that
//   generation beside the slot number, so a handle that was closed stays
//   refused when its slot is reused. Handles are never 0 and always positive
//   as int32 (so never -1).
// - kSlotNumber: the slot number 0..N-1 itself.
// - kSlotNumberFrom1: slot i is handle i + 1, so 0 is never valid.
// A new entry takes the lowest free slot. Slots are created on first use, so a
// large capacity costs nothing until handles are handed out, and entries never
// move: a T* stays valid until its handle is closed. The table has no lock of
// its own; built-ins reach theirs under the built-in lock.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace zelt {

enum class SlotHandles { kGenerational, kSlotNumber, kSlotNumberFrom1 };

template <typename T, uint32_t N, SlotHandles kHandles = SlotHandles::kGenerational>
class SlotTable {
  static_assert(N > 0 && N <= (uint32_t{1} << 24), "a slot table holds 1 to 2^24 slots");
  static_assert(kHandles != SlotHandles::kGenerational || std::has_single_bit(N),
                "generational handles keep the slot number in the low bits: N must be a power of two");

 public:
  using Handle = uint32_t;
  static constexpr uint32_t kCapacity = N;

  // The handle of value put in the lowest free slot; nothing when all N are used.
  std::optional<Handle> insert(T value) {
    while (first_free_ < slots_.size() && slots_[first_free_].value) ++first_free_;
    if (first_free_ == N) return std::nullopt;
    if (first_free_ == slots_.size()) slots_.emplace_back();
    const size_t index = first_free_++;
    slots_[index].value.emplace(std::move(value));
    ++count_;
    return handle_of(index);
  }

  // The entry that handle names, or null.
  T* lookup(Handle handle) {
    const size_t index = index_of(handle);
    return index < N ? &*slots_[index].value : nullptr;
  }
  const T* lookup(Handle handle) const {
    const size_t index = index_of(handle);
    return index < N ? &*slots_[index].value : nullptr;
  }

  // Empties the slot that handle names and hands back its entry, so that the
  // caller can release what it holds; nothing when handle names no entry.
  std::optional<T> close(Handle handle) {
    const size_t index = index_of(handle);
    if (index >= N) return std::nullopt;
    Slot& slot = slots_[index];
    std::optional<T> value = std::exchange(slot.value, std::nullopt);
    slot.generation = slot.generation == kMaxGeneration ? 1 : slot.generation + 1;
    --count_;
    if (index < first_free_) first_free_ = index;
    return value;
  }

  // Calls f(handle, entry) for every entry in slot order; f may close the
  // handle it is given.
  template <typename F>
  void for_each(F&& f) {
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].value) f(handle_of(i), *slots_[i].value);
    }
  }

  // Empties every slot (entries are destroyed; release them first with
  // for_each where they hold resources). Handles given out stay refused.
  void clear() {
    for_each([this](Handle handle, T&) { close(handle); });
  }

  size_t size() const { return count_; }

 private:
  struct Slot {
    std::optional<T> value;
    uint32_t generation = 1;
  };

  static constexpr uint32_t kIndexBits = std::countr_zero(std::bit_ceil(N));
  // Generations 1..kMaxGeneration, so that a handle has bits above the slot
  // number (never 0) and bit 31 clear.
  static constexpr uint32_t kMaxGeneration = (uint32_t{1} << (31 - kIndexBits)) - 1;

  Handle handle_of(size_t index) const {
    const auto i = static_cast<uint32_t>(index);
    if constexpr (kHandles == SlotHandles::kGenerational) return slots_[index].generation << kIndexBits | i;
    if constexpr (kHandles == SlotHandles::kSlotNumberFrom1) return i + 1;
    return i;
  }

  // The slot of the entry that handle names; N when it names none.
  size_t index_of(Handle handle) const {
    size_t index = handle;
    if constexpr (kHandles == SlotHandles::kGenerational) index = handle & (N - 1);
    if constexpr (kHandles == SlotHandles::kSlotNumberFrom1) index = size_t{handle} - 1;  // 0 wraps out of range
    if (index >= slots_.size() || !slots_[index].value || handle_of(index) != handle) return N;
    return index;
  }

  std::deque<Slot> slots_;  // grows up to N
  size_t first_free_ = 0;   // no free slot below this
  size_t count_ = 0;
};

}  // namespace zelt
