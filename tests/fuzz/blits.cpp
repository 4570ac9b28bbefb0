// Random blits between small planes: gcopy, gblit and gblita by handle, their
// built-in adapters with record addresses anywhere (wild, or straddling the
// end of usable script memory), and blit_scaled, blit_rotated and
// blit_rotated_smooth on planes with and without a mask plane. Planes get
// random formats, sizes, colour tables, clip rectangles, attached masks and
// headers that a script has scribbled over.
//
// Each blit is checked against a copy of the script memory around the
// input's blocks: the only bytes that may change are pixels of the
// destination inside its clip rectangle (never row padding, headers, colour
// tables, other planes or the guard blocks), planes of 1 and 4 bits are
// never written, and a blit that returns 0 changes nothing. Unless the destination is also read (as the
// source or the mask), the blit is run again with [System] MultiThreading
// flipped and must give the same bytes.
//
// Input: the planes (see make_planes), then up to eight operations, each: a
// kind, the handles, flags, the mode and alpha, rectangles, an angle, a
// point, the rest of the descriptor, a clip rectangle, and for the adapters
// the record addresses. Fields that matter most come first, so that short
// inputs reach them.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "builtins/handlers.h"
#include "core/config.h"
#include "core/script_memory.h"
#include "fuzz_input.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/parallel_rows.h"
#include "script/host/builtin_call.h"

namespace {

using namespace zelt::gfx;
using zelt::ScriptAddr;
using zelt::script_memory;
using zelt::fuzz::check;
using zelt::fuzz::Reader;

constexpr int kPlanes = 4;           // in slots 1..4
constexpr uint32_t kGuardSize = 64;  // after each plane block
constexpr uint8_t kGuardFill = 0x5A;
constexpr int32_t kMaxSide = 48;
constexpr int kMaxOps = 8;

// The shared reader, with the blits' own fields.
class BlitReader : public Reader {
 public:
  using Reader::Reader;
  // Around the planes, anywhere in 32 bits, or at the edges of the range
  // (where 32.32 and 16.16 products overflow).
  int32_t position() {
    static constexpr int32_t kExtremes[] = {INT_MIN,  INT_MIN + 1, INT_MAX, INT_MAX - 1, -32768, 32767,
                                            -65536,   65536,       -1,      0,           1 << 30, -(1 << 30),
                                            INT_MIN / 2, 46341};
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int8_t>(byte());
      case 1: return static_cast<int32_t>(u32());
      case 2: return kExtremes[(tag >> 2) % (sizeof kExtremes / sizeof kExtremes[0])];
      default: return (tag >> 2) % (kMaxSide + 8) - 4;
    }
  }
  Rect rectangle() { return {position(), position(), position(), position()}; }
  // Small turns, multiples of a quarter turn, or any 32-bit value.
  int32_t angle() {
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int8_t>(byte()) * 16;
      case 1: return static_cast<int32_t>(u32());
      case 2: return ((tag >> 2) - 32) * 512;
      default: {
        const uint8_t low = byte();
        return static_cast<int16_t>(low | byte() << 8);
      }
    }
  }
  // The mode number and alpha byte come first (they matter most); the rest
  // of the descriptor comes at the end of the operation.
  BlitMode mode_head() {
    BlitMode m;
    const uint8_t tag = byte();
    m.mode = tag < 0xF0 ? tag % kBlendModes : tag;  // now and then a mode above 35
    const uint8_t alpha = byte();
    m.alpha = alpha & 0x80 ? alpha : alpha & 1 ? 255 : alpha;
    return m;
  }
  void mode_tail(BlitMode& m) {
    m.channel_mask = byte();
    m.param = byte();
    m.key = u32();
    m.paint = u32();
  }
};

struct Setup {
  std::vector<ScriptAddr> blocks;  // guards and records, freed after the input
};

// A pseudo-random byte stream for pixel and table contents.
struct Stream {
  uint32_t state;
  uint8_t next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state >> 24);
  }
};

void set_clip(BlitReader& in, uint32_t slot) {
  Rect clip;
  clip.left = static_cast<int8_t>(in.byte());
  clip.top = static_cast<int8_t>(in.byte());
  clip.right = static_cast<int8_t>(in.byte());
  clip.bottom = static_cast<int8_t>(in.byte());
  gclip(slot, &clip);
}

// Two bytes a plane (format and options, size) and its clip rectangle when
// asked for; then one byte of attachments.
void make_planes(BlitReader& in, Setup& setup) {
  static constexpr int32_t kBits[] = {1, 4, 8, 16, 24, 32, 8, 32};
  for (uint32_t slot = 1; slot <= kPlanes; ++slot) {
    const uint8_t format = in.byte(), size = in.byte();
    Stream s{(uint32_t{format} << 8 | size) * 0x9E3779B9u + slot};
    const int32_t bits = kBits[format & 7];
    const int32_t width = (size & 15) * 3 + 1, height = (size >> 4) * 3 + 1;
    // 16-, 24- and 32-bit planes with a colour table of 0 to 256 entries.
    int32_t colours = -1;
    if (bits >= 16 && (format & 8)) {
      colours = s.next();
      colours += s.next() & 1;
    }
    Plane* plane = plane_create(width, height, bits, colours);
    check(plane != nullptr, "plane created");
    plane_put(slot, plane);
    const ScriptAddr guard = script_memory().allocate(kGuardSize);
    check(guard != 0, "guard allocated");
    std::memset(script_memory().host(guard), kGuardFill, kGuardSize);
    setup.blocks.push_back(guard);

    // Pixels of one byte value or varied; the default colour table or a
    // random one.
    const uint8_t fill = s.next();
    for (uint8_t& b : plane_pixels(*plane)) b = format & 0x40 ? s.next() : fill;
    if (format & 0x20)
      for (uint32_t& e : plane_colour_table(*plane))
        e = uint32_t{s.next()} << 16 | uint32_t{s.next()} << 8 | s.next();
    // A script's scribbles over the header and the colour table (any bytes,
    // also in the high byte of table entries): the host's geometry holds.
    if (format & 0x10)
      for (uint8_t& b : script_memory().span(plane->info, kInfoHeaderSize + 4 * plane->table_entries))
        b = s.next();
    if (format & 0x80) set_clip(in, slot);
  }
  // Attachments, two bits a slot: none, the next plane's slot, the slot
  // itself, or the empty slot 0.
  const uint8_t attach = in.byte();
  for (uint32_t slot = 1; slot <= kPlanes; ++slot) {
    static constexpr uint32_t kNone = UINT32_MAX;
    const uint32_t choice = attach >> (2 * (slot - 1)) & 3;
    const uint32_t mask = choice == 0 ? kNone : choice == 1 ? slot % kPlanes + 1 : choice == 2 ? slot : 0;
    if (mask != kNone) gattach(slot, mask);
  }
}

// Plane slots, the empty slots 0 and 999, a slot above the table.
uint32_t handle(uint8_t b) {
  static constexpr uint32_t kHandles[] = {1, 2, 3, 4, 1, 2, 3, 4, 0, 999, 5000};
  return kHandles[b % 11];
}

// The part of script memory that the input's blocks span, with a margin on
// either side: the planes, their guards, the records and argument cells.
struct Memory {
  uint8_t* base;
  size_t size;
  static Memory around(const Setup& setup) {
    constexpr uint32_t kMargin = 4096;
    zelt::ScriptMemory& sm = script_memory();
    uint64_t low = sm.end(), high = zelt::ScriptMemory::kFirstUsable;
    auto cover = [&](uint64_t from, uint64_t to) {
      low = std::min(low, from);
      high = std::max(high, to);
    };
    for (uint32_t slot = 1; slot <= kPlanes; ++slot)
      if (const Plane* p = plane_get(slot))
        cover(p->info, uint64_t{p->bits} + static_cast<uint64_t>(p->pitch) * static_cast<uint64_t>(p->height));
    for (ScriptAddr b : setup.blocks) cover(b, uint64_t{b} + sm.block_size(b));
    low = low > zelt::ScriptMemory::kFirstUsable + kMargin ? low - kMargin : zelt::ScriptMemory::kFirstUsable;
    high = std::min<uint64_t>(high + kMargin, sm.end());
    return {sm.host(static_cast<ScriptAddr>(low)), static_cast<size_t>(high - low)};
  }
  std::vector<uint8_t> copy() const { return {base, base + size}; }
};

// Whether the byte at host address p may change in a blit into dst.
bool writable(const Plane* dst, const uint8_t* p) {
  if (!dst || dst->bit_count < 8) return false;
  const std::span<uint8_t> pixels = plane_pixels(*dst);
  if (p < pixels.data() || p >= pixels.data() + pixels.size()) return false;
  const size_t offset = static_cast<size_t>(p - pixels.data());
  const int32_t bytes = dst->bit_count / 8;
  const int64_t in_row = static_cast<int64_t>(offset % static_cast<size_t>(dst->pitch));
  if (in_row >= int64_t{dst->width} * bytes) return false;  // row padding
  const int64_t x = in_row / bytes;
  const int64_t y = dst->height - 1 - static_cast<int64_t>(offset / static_cast<size_t>(dst->pitch));
  const Rect& c = dst->clip;
  return x >= c.left && x < c.right && y >= c.top && y < c.bottom;
}

void check_changes(const Memory& m, const std::vector<uint8_t>& before, const Plane* dst, int32_t result) {
  check(result == 0 || result == 1, "result is 0 or 1");
  for (size_t i = 0; i < m.size; ++i) {
    if (m.base[i] == before[i]) continue;
    if (result == 0) check(false, "a blit that returns 0 changes nothing");
    if (!dst || dst->bit_count < 8) check(false, "planes of 1 and 4 bits are never written");
    if (!writable(dst, m.base + i)) check(false, "only destination pixels inside the clip rectangle change");
  }
}

// A record for the built-in adapters at 0, in a block of its own, at a wild
// address, straddling the end of usable memory, or inside a plane.
ScriptAddr record_address(BlitReader& in, Setup& setup, const void* record, uint32_t size) {
  const uint8_t tag = in.byte();
  switch (tag % 6) {
    case 0: return 0;
    case 1: return in.u32();
    case 2: return script_memory().end() - (1 + tag / 6 % (size - 1));  // size - 1 usable bytes at most
    case 3: {
      const Plane* plane = plane_get(handle(tag / 6));
      return plane ? plane->info + in.byte() : in.u32();
    }
    default: {
      const ScriptAddr block = script_memory().allocate(size);
      check(block != 0, "record allocated");
      std::memcpy(script_memory().host(block), record, size);
      setup.blocks.push_back(block);
      return block;
    }
  }
}

bool usable(ScriptAddr a, uint32_t size) { return a == 0 || script_memory().valid(a, size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool configured = [] {
    zelt::config_defaults();
    set_pixels_per_thread_for_testing(1);  // small pictures through the workers too
    // A palette of distinct colours for the nearest-index lookups of colour
    // values and the colour-mapped 8-bit blends.
    Palette ramp;
    for (uint32_t i = 0; i < kPaletteEntries; ++i) ramp[i] = i * 0x010101u ^ (i << 16);
    pal_map(ramp);
    return true;
  }();
  (void)configured;
  planes_reset();
  BlitReader in(data, size);
  Setup setup;
  make_planes(in, setup);

  for (int op = 0; op < kMaxOps && !in.empty(); ++op) {
    // Kind (bits 0-2) and the mask of the direct calls (bits 3-7).
    const uint8_t kind_byte = in.byte();
    const uint8_t kind = kind_byte & 7;
    const uint8_t handles = in.byte();
    const uint32_t dst_slot = handle(handles & 15), src_slot = handle(handles >> 4);
    const uint8_t flags = in.byte();
    const bool threads = flags & 1;
    set_color_mapping(flags & 2 ? (flags & 0x80 ? -7 : 1) : 0);
    zelt::config().MMX = flags >> 2 & 1;
    BlitMode mode = in.mode_head();
    const Rect dst_rect = in.rectangle(), src_rect = in.rectangle();
    const int32_t angle = in.angle();
    const int32_t x = in.position(), y = in.position();
    in.mode_tail(mode);
    if (flags & 0x40) set_clip(in, dst_slot);
    Plane* dst = plane_get(dst_slot);
    Plane* src = plane_get(src_slot);
    // The mask of the direct calls: none, the source's attached mask, or any
    // plane (the destination too). The built-ins take the attached one.
    const uint8_t mask_choice = kind_byte >> 3;
    Plane* mask = mask_choice % 3 == 0 ? nullptr
                  : mask_choice % 3 == 1 ? plane_mask(src_slot)
                                         : plane_get(handle(mask_choice / 3));
    const bool direct = kind >= 3 && kind <= 5;
    if (!direct) mask = plane_mask(src_slot);

    // The adapters' argument cells and records.
    ScriptAddr cells = 0, dst_record = 0, src_record = 0, mode_record = 0;
    uint8_t builtin = 0;
    if (kind >= 6) {
      builtin = in.byte() % 3;
      dst_record = record_address(in, setup, &dst_rect, sizeof dst_rect);
      src_record = record_address(in, setup, &src_rect, sizeof src_rect);
      mode_record = record_address(in, setup, &mode, sizeof mode);
      cells = script_memory().allocate(6 * 4);
      check(cells != 0, "cells allocated");
      setup.blocks.push_back(cells);
      const uint32_t values[2][6] = {
          {dst_slot, static_cast<uint32_t>(x), static_cast<uint32_t>(y), src_slot, src_record, mode_record},
          {dst_slot, dst_record, src_slot, src_record, mode_record, static_cast<uint32_t>(angle)}};
      std::memcpy(script_memory().host(cells), values[builtin != 0], sizeof values[0]);
    }

    auto run = [&]() -> int32_t {
      const Rect* dr = flags & 0x08 ? nullptr : &dst_rect;
      const Rect* sr = flags & 0x10 ? nullptr : &src_rect;
      const BlitMode* m = flags & 0x20 ? nullptr : &mode;
      switch (kind) {
        case 0: return gcopy(dst_slot, x, y, src_slot, sr, m);
        case 1: return gblit(dst_slot, dr, src_slot, sr, m, angle);
        case 2: return gblita(dst_slot, dr, src_slot, sr, m, angle);
        case 3: return blit_scaled(dst, dst_rect, src, src_rect, mask, mode);
        case 4: return blit_rotated(dst, dst_rect, src, src_rect, mask, mode, angle);
        case 5: return blit_rotated_smooth(dst, dst_rect, src, src_rect, mask, mode, angle);
        default: {
          const zelt::BuiltinArgs args(cells, 6);
          const uint32_t r = builtin == 0 ? zelt::bi_gcopy(args) : builtin == 1 ? zelt::bi_gblit(args)
                                                                                 : zelt::bi_gblita(args);
          return static_cast<int32_t>(r);
        }
      }
    };

    const Memory memory = Memory::around(setup);
    const std::vector<uint8_t> before = memory.copy();
    zelt::config().MultiThreading = threads;
    const int32_t result = run();
    check_changes(memory, before, dst, result);
    if (kind >= 6) {
      const bool records_usable = usable(src_record, sizeof(Rect)) && usable(mode_record, sizeof(BlitMode)) &&
                                  (builtin == 0 || usable(dst_record, sizeof(Rect)));
      if (!records_usable) check(result == 0, "a record that is not all usable memory refuses the call");
    }

    // Rows split over threads or not: the same bytes, when the destination
    // is not also read.
    const bool reads_destination = dst && (dst == src || dst == mask || (!direct && plane_mask(src_slot) == dst));
    if (!reads_destination && result != 0) {
      const std::vector<uint8_t> after = memory.copy();
      std::memcpy(memory.base, before.data(), memory.size);
      zelt::config().MultiThreading = !threads;
      check(run() == result, "same result with and without threads");
      check(std::memcmp(memory.base, after.data(), memory.size) == 0, "same bytes with and without threads");
    }
  }

  for (ScriptAddr block : setup.blocks) script_memory().free(block);
  planes_reset();
  return 0;
}
