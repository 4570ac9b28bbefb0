// Random sprite programs: a small active page, a background and source
// planes of 8, 16, 24 and 32 bits (some with attached masks), then a
// sequence of sprite built-ins through their adapters (sp_set with random
// layers, states, planes, rectangles and descriptors; sp_reset, sp_link,
// sp_unlink, sp_sort, sp_org, sp_bgorg, sp_setbg, sp_redraw, sp_flag,
// sp_init with random masks, sp_rect, sp_draw with random masks), clip
// rectangles and page switches, script writes into sprite fields, and raw
// bytes written anywhere in the pool (links, child arrays and their
// capacity words, layer heads, the spare record). Addresses passed to the
// built-ins are sprites, free records, heads, the spare, misaligned pool
// addresses, unusable and wild ones.
//
// After each step, against a copy taken before it:
// - around the planes (their headers, pixels, the guard blocks and the
//   argument blocks) only pixels of the active page inside its clip
//   rectangle and the 16 bytes of a written changed rectangle may change,
//   and the page's clip rectangle is as it was;
// - in the pool, fields the engine never writes keep their bytes, flag bits
//   the engine does not own keep their values, free records, the layer
//   heads (but for their next field) and the spare stay as they were; a
//   refused call, sp_rect and an sp_draw without a page change nothing;
//   sp_init(-1) leaves the pool all zero;
// - parent chains end and name sprites in use; while no script wrote into
//   the pool's links, the layer lists, parents and child arrays mirrored
//   into the records match the engine's and sp_count counts the sprites;
// - the changed area of sp_draw lies in the clip rectangle and covers every
//   page pixel that changed.
// sp_draw must end: run with -timeout.
//
// Input: the planes (see make_planes), a byte of settings, then operations,
// each a kind byte and its fields.
#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "builtins/handlers.h"
#include "core/config.h"
#include "core/messages.h"
#include "core/script_memory.h"
#include "fuzz_input.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blit.h"
#include "gfx/sprites/sprites.h"
#include "script/host/builtin_call.h"

namespace {

using namespace zelt::gfx;
using zelt::ScriptAddr;
using zelt::script_memory;
using zelt::fuzz::check;
using zelt::fuzz::Reader;

// The checks run after every step over the whole pool: their own branches
// are not worth the fuzzer's attention (and would slow it down).
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

constexpr uint32_t kPage = 1, kBackground = 2, kFirstSource = 3, kSources = 4;
constexpr uint32_t kRecordSize = sizeof(SpriteRecord);
constexpr uint32_t kPoolRecords = kSpriteRecords + kSpriteLayers + 1;  // records, heads, spare
constexpr uint32_t kPoolBytes = kPoolRecords * kRecordSize;
constexpr uint32_t kGuardSize = 64;
constexpr uint8_t kGuardFill = 0x5A;
constexpr int kMaxOps = 64;
constexpr uint32_t kCells = 8;

// Bytes of a record in use that only sp_set and scripts write: layer,
// mirror, shift, reserved, sort key, plane, position, hot spot, scale,
// angle, source rectangle, descriptor, reserved tail.
constexpr bool script_owned(uint32_t offset) {
  return offset == 1 || (offset >= 4 && offset < 40) || (offset >= 48 && offset < 50) ||
         (offset >= 52 && offset < 80) || offset >= 140;
}
// Flag bits the engine sets or clears: redraw once, delete pending, partial, drawn.
constexpr uint16_t kEngineFlags = 0xE001;

uint32_t u32_at(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class SpriteReader : public Reader {
 public:
  using Reader::Reader;
  uint32_t u16() {
    const uint32_t low = byte();
    return low | uint32_t{byte()} << 8;
  }
  // Near the page, in 1/2^shift units, or anywhere.
  int32_t position() {
    static constexpr int32_t kExtremes[] = {INT_MIN, INT_MAX, -32768, 32767, 1 << 30, -(1 << 30), 65536, -65536};
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int8_t>(byte()) / 4;
      case 1: return static_cast<int32_t>(u32());
      case 2: return kExtremes[(tag >> 2) % (sizeof kExtremes / sizeof kExtremes[0])];
      default: return (tag >> 2) - 16;
    }
  }
  // Layer masks: all, one layer, the low layers, or any bits.
  uint32_t mask() {
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return UINT32_MAX;
      case 1: return 1u << (tag >> 2) % 32;
      case 2: return tag >> 2;
      default: return u32();
    }
  }
  uint32_t scale() {
    static constexpr uint32_t kScales[] = {0x10000, 0x8000, 0x20000, 0x18000, 0, 0xFFFF0000, 1, 0x7FFFFFFF,
                                           0x80000000, 0x4000, 0x30000, 0x10000};
    const uint8_t tag = byte();
    return tag & 0x80 ? u32() : kScales[tag % (sizeof kScales / sizeof kScales[0])];
  }
  uint32_t angle() {
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return 0;
      case 1: return (tag >> 2) * 256u;
      case 2: return static_cast<uint32_t>(static_cast<int8_t>(byte()));
      default: return u32();
    }
  }
};

// A pseudo-random byte stream for pixels.
struct Stream {
  uint32_t state;
  uint8_t next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state >> 24);
  }
};

// Blocks made once: the pool between two guard blocks.
struct Fixed {
  ScriptAddr before = 0, pool = 0, after = 0;
};

const Fixed& fixed() {
  static const Fixed f = [] {
    zelt::config_defaults();
    zelt::set_message_sink([](std::string_view, std::string_view) { return zelt::kIdOk; });
    Palette ramp;
    for (uint32_t i = 0; i < kPaletteEntries; ++i) ramp[i] = i * 0x010101u ^ (i << 16);
    pal_map(ramp);
    Fixed made;
    made.before = script_memory().allocate_owned(kGuardSize);
    made.pool = sprite_spare() - (kSpriteRecords + kSpriteLayers) * kRecordSize;
    made.after = script_memory().allocate_owned(kGuardSize);
    check(made.before + kGuardSize <= made.pool && made.after >= made.pool + kPoolBytes, "pool between its guards");
    std::memset(script_memory().host(made.before), kGuardFill, kGuardSize);
    std::memset(script_memory().host(made.after), kGuardFill, kGuardSize);
    return made;
  }();
  return f;
}

// Blocks of one input, made before the first operation and in one run, so
// that the child arrays the engine allocates later lie outside them.
struct Blocks {
  std::vector<ScriptAddr> all;
  ScriptAddr cells = 0, rect = 0, mode = 0, out = 0;
  ScriptAddr alloc(uint32_t size, uint8_t fill) {
    const ScriptAddr a = script_memory().allocate(size);
    check(a != 0, "block allocated");
    std::memset(script_memory().host(a), fill, size);
    all.push_back(a);
    return a;
  }
};

// Page, background and four sources: a format byte and a size byte each;
// then a byte of attached masks for the sources.
void make_planes(SpriteReader& in, Blocks& blocks) {
  static constexpr int32_t kBits[] = {8, 16, 24, 32};
  blocks.alloc(kGuardSize, kGuardFill);
  for (uint32_t slot = kPage; slot < kFirstSource + kSources; ++slot) {
    const uint8_t format = in.byte(), size = in.byte();
    Stream s{(uint32_t{format} << 8 | size) * 0x9E3779B9u + slot};
    const int32_t bits = kBits[format & 3];
    const bool page = slot <= kBackground;
    const int32_t width = (size & 15) + (page ? 8 : 1), height = (size >> 4) + (page ? 8 : 1);
    Plane* plane = plane_create(width, height, bits, bits > 8 && (format & 4) ? s.next() : -1);
    check(plane != nullptr, "plane created");
    plane_put(slot, plane);
    blocks.alloc(kGuardSize, kGuardFill);
    const uint8_t fill = s.next();
    for (uint8_t& b : plane_pixels(*plane)) b = format & 8 ? s.next() : fill;
    if (format & 16)
      for (uint32_t& e : plane_colour_table(*plane)) e = uint32_t{s.next()} << 16 | uint32_t{s.next()} << 8 | s.next();
  }
  // Two bits a source: no mask, the next source, itself, or the empty slot 0.
  const uint8_t attach = in.byte();
  for (uint32_t k = 0; k < kSources; ++k) {
    const uint32_t choice = attach >> (2 * k) & 3, slot = kFirstSource + k;
    if (choice == 1) gattach(slot, kFirstSource + (k + 1) % kSources);
    if (choice == 2) gattach(slot, slot);
    if (choice == 3) gattach(slot, 0);
  }
  apage(kPage);
  blocks.cells = blocks.alloc(kCells * 4, 0);
  blocks.rect = blocks.alloc(sizeof(Rect), 0);
  blocks.mode = blocks.alloc(16, 0);
  blocks.out = blocks.alloc(sizeof(Rect), 0);
  blocks.alloc(kGuardSize, kGuardFill);
}

// Plane handles: the sources, the page, the background, empty and invalid slots.
uint32_t handle(SpriteReader& in) {
  static constexpr uint32_t kHandles[] = {3, 4, 5, 6, 3, 4, 5, 6, 1, 2, 0, 999, 1024, 5000};
  const uint8_t tag = in.byte();
  return tag == 0xFF ? in.u32() : kHandles[tag % (sizeof kHandles / sizeof kHandles[0])];
}

struct State {
  std::vector<ScriptAddr> sprites;  // what sp_set returned
  bool links_written = false;       // links, heads, child arrays or states may have been written
  uint32_t high = 0;                // records from here on have never been handed out
};

// A sprite address: one sp_set returned, any record of the pool (free ones,
// heads, the spare), a misaligned one, 0, unusable or wild.
ScriptAddr sprite_address(SpriteReader& in, const State& state) {
  const ScriptAddr pool = fixed().pool;
  const uint8_t tag = in.byte();
  switch (tag % 8) {
    case 0: return 0;
    case 1: return pool + in.u16() % kPoolRecords * kRecordSize;
    case 2: return pool + in.u32() % kPoolBytes;
    case 3: {
      static constexpr ScriptAddr kWild[] = {16, 0xFFFFFFF8u, 0xFFFFFFFFu, zelt::ScriptMemory::kFirstUsable};
      return tag & 0x80 ? in.u32() : kWild[tag / 8 % 4];
    }
    default: return state.sprites.empty() ? 0 : state.sprites[in.byte() % state.sprites.size()];
  }
}

// An address for a record argument: 0, the given block (holding the
// record), unusable or straddling the end of usable memory, or wild.
ScriptAddr record_address(SpriteReader& in, ScriptAddr block, uint32_t size) {
  const uint8_t tag = in.byte();
  switch (tag % 6) {
    case 0: return 0;
    case 1: return 16;
    case 2: return script_memory().end() - (1 + tag / 6 % (size - 1));
    case 3: return in.u32();
    default: return block;
  }
}

// A script's write of n bytes into the pool (anywhere else: none).
void poke(State& state, ScriptAddr a, const void* bytes, uint32_t n) {
  const ScriptAddr pool = fixed().pool;
  if (a < pool || a - pool > kPoolBytes - n) return;
  std::memcpy(script_memory().host(a), bytes, n);
  // The state and layer bytes and the links are mirrored from the engine.
  for (uint32_t k = 0; k < n; ++k) {
    const uint32_t at = a + k - pool;
    if (at % kRecordSize < 2 || at % kRecordSize >= 112 || at >= kSpriteRecords * kRecordSize)
      state.links_written = true;
  }
}

// A field of a sprite record as a script writes it.
void write_field(SpriteReader& in, State& state) {
  const ScriptAddr sprite = sprite_address(in, state);
  const uint8_t field = in.byte();
  uint32_t offset = 0, size = 4, value = 0;
  switch (field % 16) {
    case 0: offset = 0, size = 1, value = in.byte() % 4; break;                       // state
    case 1: offset = 2, size = 2, value = in.byte() & 1 ? 1 : in.u16(); break;  // flags
    case 2: offset = 4 + in.byte() % 2, size = 1, value = in.byte(); break;           // mirror
    case 3: offset = 6, size = 1, value = in.byte() % 40; break;                      // shift
    case 4: offset = 8, value = static_cast<uint32_t>(in.position()); break;          // sort key
    case 5: offset = 12, value = handle(in); break;                                   // plane
    case 6: case 7: offset = 16 + field % 2 * 4, value = static_cast<uint32_t>(in.position()); break;
    case 8: offset = 24 + in.byte() % 2 * 4, value = static_cast<uint32_t>(in.position()); break;  // hot spot
    case 9: case 10: offset = 32 + field % 2 * 4, value = in.scale(); break;
    case 11: offset = 48, size = 2, value = in.angle(); break;
    case 12: offset = 52 + in.byte() % 4 * 4, value = static_cast<uint32_t>(in.position()); break;  // source
    case 13: offset = 68 + in.byte() % 12, size = 1, value = in.byte(); break;       // descriptor
    case 14: offset = 1, size = 1, value = in.byte() % 34; break;                     // layer
    default: offset = 80 + in.byte() % 16 * 4, value = static_cast<uint32_t>(in.position()); break;  // computed, links
  }
  poke(state, sprite + offset, &value, size);
  // Most scripts ask for a redraw with the change.
  if (field & 0x80 && sprite >= fixed().pool && sprite - fixed().pool < kPoolBytes - 2) {
    const uint8_t flags = *script_memory().host(sprite + 2) | kSpriteRedraw;
    poke(state, sprite + 2, &flags, 1);
  }
}

// Raw bytes into a record, a head, the spare or a child array.
void scribble(SpriteReader& in, State& state) {
  const uint8_t tag = in.byte();
  const uint32_t count = 1 + tag % 4;
  ScriptAddr at;
  if (tag & 0x80) {
    // A child array: the one whose address a sprite with children holds,
    // when that still names a live block.
    const ScriptAddr sprite = sprite_address(in, state);
    const uint8_t word = in.byte();
    const std::span<uint8_t> field = script_memory().span(sprite + 116, 4);
    if (!field.data()) return;
    const ScriptAddr block = u32_at(field.data()) - 4;
    const uint32_t size = script_memory().block_size(block);
    const SpriteRecord* record = sprite_record(sprite);
    if (!record || size < 8 || record->child_count == 0) return;
    at = block + word * 4u % size;
    if (at + count > block + size) return;
  } else {
    at = fixed().pool + in.u32() % (kPoolBytes - 3);
  }
  state.links_written = true;
  for (uint32_t k = 0; k < count; ++k) *script_memory().host(at + k) = in.byte();
}

// Script memory from the first block of the input to the last.
struct Region {
  uint8_t* base;
  size_t size;
  ScriptAddr first;
};

Region region_of(const Blocks& blocks) {
  const ScriptAddr first = *std::min_element(blocks.all.begin(), blocks.all.end());
  uint64_t end = 0;
  for (uint32_t slot = kPage; slot < kFirstSource + kSources; ++slot) {
    const Plane* p = plane_get(slot);
    check(script_memory().block_size(p->info) > 0, "a plane is one block");
    end = std::max<uint64_t>(end, p->info + script_memory().block_size(p->info));
  }
  for (ScriptAddr b : blocks.all) end = std::max<uint64_t>(end, uint64_t{b} + script_memory().block_size(b));
  return {script_memory().host(first), static_cast<size_t>(end - first), first};
}

struct Snapshot {
  std::vector<uint8_t> region, pool;
  std::vector<uint8_t> in_use;
  Rect page_clip;
  uint32_t page = 0;
};

// Into s, whose buffers are kept from step to step.
// Records from `high` on have never been handed out.
NO_COVERAGE void take(const Region& region, uint32_t high, Snapshot& s) {
  s.region.assign(region.base, region.base + region.size);
  const uint8_t* pool = script_memory().host(fixed().before);
  s.pool.assign(pool, pool + (fixed().after + kGuardSize - fixed().before));
  s.in_use.assign(kSpriteRecords, 0);
  for (uint32_t i = 0; i < high; ++i) s.in_use[i] = sprite_index(fixed().pool + i * kRecordSize) >= 0;
  s.page = active_page();
  s.page_clip = Rect{};
  if (const Plane* page = plane_get(s.page)) s.page_clip = page->clip;
}

// The page pixel (x, y) that the byte at script address a belongs to, if any.
NO_COVERAGE bool page_pixel(const Plane* page, ScriptAddr a, int32_t& x, int32_t& y) {
  if (!page || a < page->bits) return false;
  const uint64_t offset = a - page->bits;
  if (offset >= static_cast<uint64_t>(page->pitch) * static_cast<uint64_t>(page->height)) return false;
  const int32_t bytes = page->bit_count / 8;
  const int64_t in_row = static_cast<int64_t>(offset % static_cast<uint64_t>(page->pitch));
  if (in_row >= int64_t{page->width} * bytes) return false;  // row padding
  x = static_cast<int32_t>(in_row / bytes);
  y = page->height - 1 - static_cast<int32_t>(offset / static_cast<uint64_t>(page->pitch));
  return true;
}

bool inside(const Rect& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

enum class Kind { other, refused, draw, draw_none, init_all };

// What an operation may have done, for the checks.
struct Outcome {
  Kind kind = Kind::other;
  ScriptAddr written = 0;  // a 16-byte rectangle written there (0: none)
  bool changed_known = false;
  Rect changed;
};

bool in_written(const Outcome& o, ScriptAddr a) { return o.written && a >= o.written && a - o.written < 16; }

NO_COVERAGE void check_region(const Region& region, const Snapshot& before, const Outcome& o) {
  const Plane* page = plane_get(before.page);
  if (page) check(page->clip == before.page_clip, "the page's clip rectangle is restored");
  if (std::memcmp(region.base, before.region.data(), region.size) == 0) return;
  for (size_t k = 0; k < region.size; ++k) {
    if (region.base[k] == before.region[k]) continue;
    const ScriptAddr a = region.first + static_cast<ScriptAddr>(k);
    if (in_written(o, a)) continue;
    int32_t x, y;
    check(page_pixel(page, a, x, y), "only page pixels change");
    check(o.kind == Kind::draw, "only sp_draw draws");
    check(inside(before.page_clip, x, y), "pixels change only inside the clip rectangle");
    if (o.changed_known) check(inside(o.changed, x, y), "the changed area covers every change");
  }
}

NO_COVERAGE void check_pool(const Snapshot& before, const Outcome& o, uint32_t high) {
  const Fixed& f = fixed();
  const uint8_t* now = script_memory().host(f.before);
  const size_t pool_at = f.pool - f.before;
  for (size_t k = 0; k < before.pool.size(); ++k) {
    const ScriptAddr a = f.before + static_cast<ScriptAddr>(k);
    if (k == pool_at) {
      k += kPoolBytes - 1;
      continue;
    }
    if (now[k] != before.pool[k] && !in_written(o, a)) check(false, "the pool's guards keep their bytes");
  }
  if (o.kind == Kind::init_all) {
    for (size_t k = pool_at; k < pool_at + kPoolBytes; ++k) check(now[k] == 0, "sp_init(-1) clears the pool");
    return;
  }
  if (std::memcmp(now + pool_at, before.pool.data() + pool_at, kPoolBytes) == 0) return;
  for (uint32_t index = 0; index < kPoolRecords; ++index) {
    const size_t at = pool_at + index * kRecordSize;
    if (std::memcmp(now + at, before.pool.data() + at, kRecordSize) == 0) continue;
    const bool was = index < kSpriteRecords && before.in_use[index];
    const bool is = index < kSpriteRecords && sprite_index(f.pool + index * kRecordSize) >= 0;
    for (uint32_t offset = 0; offset < kRecordSize; ++offset) {
      if (now[at + offset] == before.pool[at + offset] || in_written(o, f.before + static_cast<ScriptAddr>(at + offset)))
        continue;
      check(o.kind != Kind::refused && o.kind != Kind::draw_none, "a refused call or sp_rect changes nothing");
      check(index < kSpriteRecords || (index < kSpriteRecords + kSpriteLayers && offset >= 128 && offset < 132),
            "heads change only in their next field, the spare never");
      if (index >= kSpriteRecords || (!was && is)) continue;  // a head, or a new sprite
      check(was, "free records keep their bytes");
      check(!script_owned(offset), "the engine keeps off the script's fields");
    }
  }
  // State and flags of the records that were in use.
  for (uint32_t i = 0; i < high; ++i) {
    if (!before.in_use[i]) continue;
    const size_t at = pool_at + i * kRecordSize;
    const SpriteRecord& r = *reinterpret_cast<const SpriteRecord*>(now + at);
    uint16_t old_flags;
    std::memcpy(&old_flags, before.pool.data() + at + 2, 2);
    if (!in_written(o, f.pool + i * kRecordSize + 2) && !in_written(o, f.pool + i * kRecordSize + 3))
      check(((r.flags ^ old_flags) & ~kEngineFlags) == 0, "the engine changes only its own flag bits");
    const uint8_t old_state = before.pool[at];
    const bool is = sprite_index(f.pool + i * kRecordSize) >= 0;
    if (r.state != old_state && !in_written(o, f.pool + i * kRecordSize)) {
      check(is ? r.state == kSpriteHidden && (r.flags & kSpriteDeletePending) : r.state == kSpriteFree,
            "a reset sprite is hidden and pending, a released one free");
    }
  }
}

// The engine's parents; and, while no script wrote into the links, the
// records' copies of lists, parents and child arrays.
NO_COVERAGE void check_links(const State& state) {
  const ScriptAddr pool = fixed().pool;
  int32_t in_use = 0, with_parent = 0, children_listed = 0;
  for (uint32_t i = 0; i < state.high; ++i) {
    const ScriptAddr a = pool + i * kRecordSize;
    if (sprite_index(a) < 0) {
      check(sprite_parent(a) == 0, "a free record has no parent");
      continue;
    }
    ++in_use;
    uint32_t steps = 0;
    for (ScriptAddr p = sprite_parent(a); p; p = sprite_parent(p)) {
      check(sprite_index(p) >= 0, "parents are in use");
      check(++steps < kSpriteRecords, "parent chains end");
    }
    if (state.links_written) continue;
    const SpriteRecord& r = *sprite_record(a);
    check(r.parent == sprite_parent(a), "the parent field mirrors the engine");
    with_parent += r.parent != 0;
    if (r.child_count == 0) continue;
    const std::span<uint8_t> block = script_memory().span(r.children - 4, 4 + 4 * r.child_count);
    check(block.data() != nullptr, "the child array is usable memory");
    const uint32_t capacity = u32_at(block.data());
    check(capacity >= 8 && capacity >= r.child_count && (capacity & (capacity - 1)) == 0, "child array capacity");
    check(script_memory().block_size(r.children - 4) >= 4 + 4 * capacity, "the child array holds its capacity");
    for (uint32_t k = 0; k < r.child_count; ++k)
      check(sprite_parent(u32_at(block.data() + 4 + 4 * k)) == a, "children name their parent");
    children_listed += static_cast<int32_t>(r.child_count);
  }
  if (state.links_written) return;
  check(with_parent == children_listed, "every child is listed once");
  check(sp_count() == in_use, "sp_count counts the sprites");
  // Each layer list: from the head through next fields, previous fields
  // pointing back, every sprite once, in the list of its layer.
  int32_t listed = 0;
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    const ScriptAddr head = pool + (kSpriteRecords + layer) * kRecordSize;
    ScriptAddr previous = head;
    for (ScriptAddr a = u32_at(script_memory().host(head + 128)); a;) {
      const SpriteRecord* r = sprite_record(a);
      check(r != nullptr, "lists hold sprites in use");
      check(r->layer == layer && r->previous == previous, "list links mirror the engine");
      check(++listed <= in_use, "lists end");
      previous = a;
      a = r->next;
    }
  }
  check(listed == in_use, "every sprite is in a list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Fixed& f = fixed();
  planes_reset();
  sp_init(UINT32_MAX);
  sp_setbg(0);
  sp_bgorg(0, 0);
  SpriteReader in(data, size);
  Blocks blocks;
  make_planes(in, blocks);
  const uint8_t settings = in.byte();
  zelt::config().Smoothing = settings & 1;
  zelt::config().MultiThreading = settings >> 1 & 1;
  set_color_mapping(settings & 4 ? 1 : 0);
  sp_flag(settings & 8 ? kSpriteRedrawAlways : settings >> 4);
  sp_setbg(settings & 0x80 ? kBackground : 1024);
  const Region region = region_of(blocks);
  State state;
  check_links(state);

  for (int op = 0; op < kMaxOps && !in.empty(); ++op) {
    const uint8_t kind = in.byte();
    uint32_t cells[kCells] = {};
    Outcome o;
    // Steps that a script takes outside the sprite built-ins.
    switch (kind % 20) {
      case 15: write_field(in, state); break;
      case 16: scribble(in, state); break;
      case 17: {
        Rect clip = in.rect();
        gclip(active_page(), in.byte() & 1 ? nullptr : &clip);
        break;
      }
      case 18: {
        static constexpr uint32_t kPages[] = {kPage, kPage, kPage, kBackground, kFirstSource, 0};
        apage(kPages[in.byte() % 6]);
        break;
      }
      default: break;
    }
    // The copy is taken once the arguments are in place, right before the call.
    static Snapshot before;
    bool called = false;
    uint32_t result = 0;
    const auto call = [&](uint32_t (*handler)(const zelt::BuiltinArgs&)) {
      std::memcpy(script_memory().host(blocks.cells), cells, sizeof cells);
      take(region, state.high, before);
      called = true;
      const zelt::BuiltinArgs args(blocks.cells, kCells);
      result = handler(args);
    };
    switch (kind % 20) {
      case 0: case 1: case 2: {
        const Rect source = in.rect();
        BlitMode mode;
        const uint8_t m = in.byte();
        mode.mode = m < 0xF0 ? m % kBlendModes : m;
        mode.alpha = in.byte();
        mode.channel_mask = in.byte();
        mode.param = in.byte();
        mode.key = in.u32();
        mode.paint = in.u32();
        std::memcpy(script_memory().host(blocks.rect), &source, sizeof source);
        std::memcpy(script_memory().host(blocks.mode), &mode, sizeof mode);
        const uint8_t layer = in.byte();
        cells[0] = layer < 0xF0 ? layer % 4 : layer == 0xF0 ? 31 : layer == 0xF1 ? 32 : in.u32();
        cells[1] = in.byte() % 4;
        cells[2] = static_cast<uint32_t>(in.position());
        cells[3] = static_cast<uint32_t>(in.position());
        cells[4] = handle(in);
        cells[5] = record_address(in, blocks.rect, sizeof(Rect));
        cells[6] = record_address(in, blocks.mode, sizeof(BlitMode));
        call(zelt::bi_sp_set);
        state.sprites.push_back(result);
        if (sprite_index(result) >= 0) state.high = std::max<uint32_t>(state.high, sprite_index(result) + 1);
        if (result == sprite_spare()) o.kind = Kind::refused;
        check(result == sprite_spare() || sprite_index(result) >= 0, "sp_set gives a sprite or the spare");
        break;
      }
      case 3:
        cells[0] = sprite_address(in, state);
        call(zelt::bi_sp_reset);
        if (sprite_index(cells[0]) < 0) o.kind = Kind::refused;
        break;
      case 4:
        cells[0] = sprite_address(in, state);
        cells[1] = sprite_address(in, state);
        call(zelt::bi_sp_link);
        if (!result) o.kind = Kind::refused;
        break;
      case 5:
        cells[0] = sprite_address(in, state);
        call(zelt::bi_sp_unlink);
        if (!result) o.kind = Kind::refused;
        break;
      case 6:
        cells[0] = in.mask();
        cells[1] = in.byte() % 4;
        call(zelt::bi_sp_sort);
        break;
      case 7:
        cells[0] = in.mask();
        cells[1] = static_cast<uint32_t>(in.position());
        cells[2] = static_cast<uint32_t>(in.position());
        call(zelt::bi_sp_org);
        break;
      case 8:
        cells[0] = static_cast<uint32_t>(in.position());
        cells[1] = static_cast<uint32_t>(in.position());
        call(zelt::bi_sp_bgorg);
        break;
      case 9:
        cells[0] = handle(in);
        call(zelt::bi_sp_setbg);
        break;
      case 10:
        cells[0] = in.mask();
        call(zelt::bi_sp_redraw);
        break;
      case 11:
        cells[0] = in.byte() & 1 ? kSpriteRedrawAlways : in.u16();
        call(zelt::bi_sp_flag);
        break;
      case 12: {
        const uint8_t tag = in.byte();
        cells[0] = tag == 0 ? UINT32_MAX : tag & 1 ? 1u << tag % 32 : in.mask();
        call(zelt::bi_sp_init);
        if (cells[0] == UINT32_MAX) {
          o.kind = Kind::init_all;
          state.sprites.clear();
          state.links_written = false;
          state.high = 0;
        }
        break;
      }
      case 13: {
        cells[0] = sprite_address(in, state);
        cells[1] = record_address(in, blocks.out, sizeof(Rect));
        call(zelt::bi_sp_rect);
        if (result) o.written = cells[1];
        o.kind = Kind::refused;  // a question: the records stay as they are
        break;
      }
      case 14: case 19: {
        cells[0] = in.mask();
        cells[1] = record_address(in, blocks.out, sizeof(Rect));
        call(zelt::bi_sp_draw);
        const bool page = plane_get(before.page) != nullptr;
        check(result == (page ? 1u : 0u), "sp_draw draws whenever there is a page");
        o.kind = page ? Kind::draw : Kind::draw_none;
        if (page && cells[1] && script_memory().valid(cells[1], sizeof(Rect))) {
          o.written = cells[1];
          std::memcpy(&o.changed, script_memory().host(cells[1]), sizeof o.changed);
          o.changed_known = true;
          const bool none = o.changed == Rect{};
          check(none || (!o.changed.empty() && rect_intersection(o.changed, before.page_clip) == o.changed),
                "the changed area lies in the clip rectangle");
        }
        break;
      }
      default: break;
    }
    if (!called) take(region, state.high, before);
    // A rectangle written anywhere but the input's own block may have hit
    // the links, a head or a child array.
    if (o.written && o.written != blocks.out) state.links_written = true;
    check_region(region, before, o);
    check_pool(before, o, state.high);
    check_links(state);
  }

  sp_init(UINT32_MAX);
  for (ScriptAddr b : blocks.all) script_memory().free(b);
  planes_reset();
  (void)f;
  return 0;
}
