#include "gfx/present/dirty_list.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zelt::gfx {
namespace {

struct DirtyList {
  std::array<Rect, kDirtyCapacity> entries;
  int32_t count = 0;
  int32_t origin_x = 0, origin_y = 0;
};

DirtyList g_list;

Rect bounds_of(const Plane& plane) { return {0, 0, plane.width, plane.height}; }

// One row's span of pixels from the source to the destination, by format
// pair: one bit count copies the pixels as they are; an 8-bit source into
// 24- or 32-bit pixels takes blue, green and red from its colour table (the
// fourth byte stays); other pairs copy nothing.
class SpanCopier {
 public:
  SpanCopier(Plane& destination, const Plane& source)
      : destination_(bottom_row(destination)), source_(bottom_row(source)),
        destination_pitch_(destination.pitch), source_pitch_(source.pitch),
        destination_height_(destination.height), source_height_(source.height),
        destination_bits_(destination.bit_count), source_bits_(source.bit_count) {
    const int32_t s = source.bit_count, d = destination.bit_count;
    if (!destination_ || !source_) return;
    if (s == d && (s == 8 || s == 16 || s == 24 || s == 32))
      kind_ = Kind::bytes;
    else if (s == d && (s == 1 || s == 4))
      kind_ = Kind::packed;
    else if (s == 8 && (d == 24 || d == 32))
      kind_ = Kind::expand;
    table_ = plane_colour_table(source).data();
  }

  bool copies() const { return kind_ != Kind::none; }

  // n pixels of destination row y from column x, out of source row sy from
  // column sx. Both spans lie inside their planes.
  void copy(int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t n) const {
    uint8_t* d = destination_ + static_cast<ptrdiff_t>(destination_height_ - 1 - y) * destination_pitch_;
    const uint8_t* s = source_ + static_cast<ptrdiff_t>(source_height_ - 1 - sy) * source_pitch_;
    switch (kind_) {
      case Kind::bytes: {
        const size_t bytes = static_cast<size_t>(source_bits_ / 8);
        std::memmove(d + x * bytes, s + sx * bytes, static_cast<size_t>(n) * bytes);
        break;
      }
      case Kind::expand: {
        const int32_t step = destination_bits_ / 8;
        d += static_cast<ptrdiff_t>(x) * step;
        s += sx;
        for (int32_t i = 0; i < n; ++i, d += step) {
          const uint32_t c = table_[s[i]];
          d[0] = static_cast<uint8_t>(c);
          d[1] = static_cast<uint8_t>(c >> 8);
          d[2] = static_cast<uint8_t>(c >> 16);
        }
        break;
      }
      case Kind::packed: {
        // Pixels of 1 or 4 bits, the first in each byte's high bits.
        const int32_t bits = source_bits_, per_byte = 8 / bits, mask = (1 << bits) - 1;
        for (int32_t i = 0; i < n; ++i) {
          const int32_t from = sx + i, to = x + i;
          const int32_t from_shift = 8 - bits * (from % per_byte + 1), to_shift = 8 - bits * (to % per_byte + 1);
          const int32_t v = (s[from / per_byte] >> from_shift) & mask;
          uint8_t& out = d[to / per_byte];
          out = static_cast<uint8_t>((out & ~(mask << to_shift)) | v << to_shift);
        }
        break;
      }
      case Kind::none:
        break;
    }
  }

 private:
  enum class Kind { none, bytes, packed, expand };

  // The plane's pixels from the start of its bottom row (row height - 1 is
  // the first in memory), null without pixels.
  static uint8_t* bottom_row(const Plane& plane) {
    const std::span<uint8_t> pixels = plane_pixels(plane);
    return plane.width > 0 && plane.height > 0 ? pixels.data() : nullptr;
  }

  uint8_t* destination_;
  const uint8_t* source_;
  int32_t destination_pitch_, source_pitch_, destination_height_, source_height_;
  int32_t destination_bits_, source_bits_;
  Kind kind_ = Kind::none;
  const uint32_t* table_ = nullptr;
};

// Copies the area's rows through the working entries with an active-edge
// scan. Between two rows where an entry starts or ends the entries meeting
// a row stay the same, so their spans are worked out once per such band:
// the active entries are kept in order of their left edges (ties in list
// order) and walked with a cursor, so every covered pixel is copied once.
void scan_copy(const SpanCopier& copier, const Rect& area, std::span<const Rect> working, int32_t to_source_x,
               int32_t to_source_y) {
  const int32_t n = static_cast<int32_t>(working.size());
  // by_left: entry numbers in the walking order; rank: each entry's place in it.
  std::array<int16_t, kDirtyCapacity> by_left, by_top, rank, active, next;
  for (int32_t i = 0; i < n; ++i) by_left[i] = by_top[i] = static_cast<int16_t>(i);
  const auto left_then_arrival = [&](int16_t a, int16_t b) {
    return working[a].left != working[b].left ? working[a].left < working[b].left : a < b;
  };
  std::sort(by_left.begin(), by_left.begin() + n, left_then_arrival);
  for (int32_t i = 0; i < n; ++i) rank[by_left[i]] = static_cast<int16_t>(i);
  std::sort(by_top.begin(), by_top.begin() + n, [&](int16_t a, int16_t b) { return working[a].top < working[b].top; });

  struct Span {
    int32_t left, right;
  };
  std::array<Span, kDirtyCapacity> spans;
  int32_t active_count = 0, joined = 0;
  int32_t row = n > 0 ? working[by_top[0]].top : area.bottom;
  while (row < area.bottom && (active_count > 0 || joined < n)) {
    // Entries ending here leave; entries starting here join in walking order.
    int32_t kept = 0;
    for (int32_t i = 0; i < active_count; ++i)
      if (working[active[i]].bottom > row) active[kept++] = active[i];
    active_count = kept;
    int32_t joining = 0;
    while (joined < n && working[by_top[joined]].top == row) next[joining++] = by_top[joined++];
    if (joining > 0) {
      std::sort(next.begin(), next.begin() + joining, [&](int16_t a, int16_t b) { return rank[a] < rank[b]; });
      // Merge from the back into active.
      int32_t i = active_count - 1, j = joining - 1;
      for (int32_t out = active_count + joining - 1; j >= 0; --out)
        active[out] = i >= 0 && rank[active[i]] > rank[next[j]] ? active[i--] : next[j--];
      active_count += joining;
    }
    // The band ends where the next entry starts or an active one ends.
    int32_t band_end = joined < n ? working[by_top[joined]].top : area.bottom;
    int32_t span_count = 0, cursor = area.left;
    for (int32_t i = 0; i < active_count; ++i) {
      const Rect& r = working[active[i]];
      band_end = std::min(band_end, r.bottom);
      if (r.right <= cursor) continue;
      if (span_count > 0 && r.left <= cursor)
        spans[span_count - 1].right = r.right;  // joins the span before it: one copy
      else
        spans[span_count++] = {std::max(cursor, r.left), r.right};
      cursor = r.right;
    }
    for (int32_t y = row; y < band_end; ++y)
      for (int32_t i = 0; i < span_count; ++i)
        copier.copy(spans[i].left, y, spans[i].left + to_source_x, y + to_source_y, spans[i].right - spans[i].left);
    row = band_end;
  }
}

void reset_list() { g_list = DirtyList{}; }

}  // namespace

void dirty_clear() { g_list.count = 0; }

int32_t dirty_add(const Rect& r) {
  if (g_list.count < kDirtyCapacity) {
    g_list.entries[g_list.count++] = r;
    return 1;
  }
  Rect all = r;
  for (int32_t i = 0; i < g_list.count; ++i) all = rect_union(all, g_list.entries[i]);
  g_list.entries[0] = all;
  g_list.count = 1;
  return 0;
}

std::span<const Rect> dirty_entries() { return {g_list.entries.data(), static_cast<size_t>(g_list.count)}; }

int32_t dirty_copy(Plane* destination, int32_t x, int32_t y, const Plane* source, const Rect* source_rect) {
  if (g_list.count == 0) return 1;
  if (!destination || !source) return 0;

  // The target area: (x, y) with the source rectangle's size, inside the
  // destination's clip; the source rectangle follows every cut so that each
  // source pixel keeps its place.
  Rect from = source_rect ? *source_rect : bounds_of(*source);
  const int64_t width = int64_t{from.right} - from.left, height = int64_t{from.bottom} - from.top;
  if (width <= 0 || height <= 0) return 0;
  const Rect limits = rect_intersection(destination->clip, bounds_of(*destination));
  const int64_t left = std::max<int64_t>(x, limits.left), top = std::max<int64_t>(y, limits.top);
  const int64_t right = std::min<int64_t>(int64_t{x} + width, limits.right);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + height, limits.bottom);
  if (right <= left || bottom <= top) return 0;
  // Source coordinate = target coordinate + shift.
  int64_t shift_x = int64_t{from.left} - x, shift_y = int64_t{from.top} - y;
  Rect source_area{static_cast<int32_t>(left + shift_x), static_cast<int32_t>(top + shift_y),
                   static_cast<int32_t>(right + shift_x), static_cast<int32_t>(bottom + shift_y)};
  if (source_rect) {
    source_area = rect_intersection(source_area, bounds_of(*source));
    if (source_area.empty()) return 0;
  }
  const Rect area{static_cast<int32_t>(source_area.left - shift_x), static_cast<int32_t>(source_area.top - shift_y),
                  static_cast<int32_t>(source_area.right - shift_x),
                  static_cast<int32_t>(source_area.bottom - shift_y)};

  const SpanCopier copier(*destination, *source);
  std::array<Rect, kDirtyCapacity> working;
  int32_t working_count = 0;
  bool whole = false;
  for (int32_t i = 0; i < g_list.count; ++i) {
    Rect& entry = g_list.entries[i];
    entry = rect_intersection(entry, area);
    if (entry == area) {
      whole = true;
      break;
    }
    if (!entry.empty()) working[working_count++] = entry;
  }
  if (copier.copies()) {
    if (whole) {
      for (int32_t row = area.top; row < area.bottom; ++row)
        copier.copy(area.left, row, static_cast<int32_t>(area.left + shift_x), static_cast<int32_t>(row + shift_y),
                    area.right - area.left);
    } else {
      scan_copy(copier, area, {working.data(), static_cast<size_t>(working_count)},
                static_cast<int32_t>(shift_x), static_cast<int32_t>(shift_y));
    }
  }
  g_list.count = 0;
  return 1;
}

int32_t drt_init() {
  dirty_clear();
  return 1;
}

int32_t drt_set(const Rect* r) { return r ? dirty_add(*r) : 0; }

int32_t drt_copy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect) {
  return dirty_copy(plane_get(destination), x, y, plane_get(source), source_rect);
}

int32_t setorg(int32_t x, int32_t y) {
  g_list.origin_x = x;
  g_list.origin_y = y;
  return 1;
}

void screen_origin(int32_t* x, int32_t* y) {
  *x = g_list.origin_x;
  *y = g_list.origin_y;
}

const Subsystem kDirtyListSubsystem{.name = "dirty rectangles", .reset = reset_list, .runtime_start = reset_list};

}  // namespace zelt::gfx
