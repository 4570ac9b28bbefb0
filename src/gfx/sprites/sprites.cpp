#include "gfx/sprites/sprites.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/messages.h"
#include "core/sine_table.h"
#include "gfx/present/dirty_list.h"
#include "gfx/present/presentation.h"
#include "gfx/raster/blit.h"
#include "gfx/sprites/hit_regions.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kRecordSize = sizeof(SpriteRecord);
constexpr int32_t kPieceCapacity = 8192;
constexpr uint16_t kDefaultFlags = kSpriteRedrawAlways;
constexpr uint16_t kRedrawBits = kSpriteRedraw | kSpriteRedrawAlways;
constexpr int32_t kOne = 0x10000;  // 16.16 one
constexpr int16_t kNone = -1;
// Computed coordinates are kept well inside 32 bits, so that a wild position
// or scale gives a far-away rectangle instead of an overflow.
constexpr int64_t kCoordinateLimit = int64_t{1} << 30;
// 16.16 positions and offsets stay inside this bound, so that sums of
// their products with sine values fit in 64 bits.
constexpr int64_t kPositionLimit = int64_t{1} << 45;
// Source sizes less twice the hot spot, before they meet a scale.
constexpr int64_t kSpanLimit = int64_t{1} << 31;

int64_t clamp(int64_t v, int64_t limit) { return std::clamp(v, -limit, limit); }
int32_t coordinate(int64_t v) { return static_cast<int32_t>(clamp(v, kCoordinateLimit)); }
int32_t saturate32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
bool meets(const Rect& a, const Rect& b) { return !rect_intersection(a, b).empty(); }

struct Piece {
  Rect rect;
  int32_t next;
};

// The engine's own bookkeeping. The records in script memory carry copies of
// the links for scripts to read; the engine only ever follows these.
struct Engine {
  ScriptAddr pool = 0;  // kSpriteRecords records, then the layer heads, then the spare
  std::array<bool, kSpriteRecords> in_use{};
  std::array<int16_t, kSpriteRecords> layer_of{}, previous{}, next{}, parent{};
  std::array<int16_t, kSpriteLayers> first{}, last{};
  std::array<std::vector<int16_t>, kSpriteRecords> children;
  std::array<ScriptAddr, kSpriteRecords> child_block{};  // the script-memory copy: capacity word, entries
  std::array<uint32_t, kSpriteRecords> child_capacity{};
  std::array<int32_t, kSpriteLayers> origin_x{}, origin_y{};
  uint32_t background = 0;
  int32_t background_x = 0, background_y = 0;
  uint16_t default_flags = kDefaultFlags;
  Rect changed;
  // Set by sp_setbg and sp_bgorg: shown sprites meeting it are drawn again whole.
  Rect background_redraw;
  // Overlap pieces, reset at every sp_draw.
  std::array<Piece, kPieceCapacity> pieces;
  int32_t piece_count = 0;
  std::array<int32_t, kSpriteRecords> first_piece{};
  // Scratch of sp_draw: the sprites that spreading may hit.
  std::array<int16_t, kSpriteRecords> candidates{};
  int32_t candidate_count = 0;
  SpriteDrawTimes times;
};

Engine& engine() {
  static Engine* e = [] {
    auto* created = new Engine;
    created->first.fill(kNone);
    created->last.fill(kNone);
    created->previous.fill(kNone);
    created->next.fill(kNone);
    created->parent.fill(kNone);
    created->first_piece.fill(-1);
    return created;
  }();
  return *e;
}

bool ensure_pool() {
  Engine& e = engine();
  if (!e.pool) e.pool = script_memory().allocate_owned((kSpriteRecords + kSpriteLayers + 1) * kRecordSize);
  return e.pool != 0;
}

ScriptAddr address_of(int32_t i) { return engine().pool + static_cast<uint32_t>(i) * kRecordSize; }
ScriptAddr head_address(uint32_t layer) { return address_of(static_cast<int32_t>(kSpriteRecords + layer)); }
SpriteRecord& record(int32_t i) {
  return *reinterpret_cast<SpriteRecord*>(script_memory().host(address_of(i)));
}
ScriptAddr address_or_zero(int16_t i) { return i == kNone ? 0 : address_of(i); }

// The pool index of the sprite in use at address a, or -1.
int32_t index_of(ScriptAddr a) {
  const Engine& e = engine();
  if (!e.pool || a < e.pool) return -1;
  const uint32_t offset = a - e.pool;
  if (offset % kRecordSize != 0 || offset / kRecordSize >= kSpriteRecords) return -1;
  const int32_t i = static_cast<int32_t>(offset / kRecordSize);
  return e.in_use[i] ? i : -1;
}

// A sprite waiting to be freed is never drawn again, whether sp_reset or the
// script set the flag: marking erases it like a hidden one.
bool visible(const SpriteRecord& r) { return r.state == kSpriteVisible && !(r.flags & kSpriteDeletePending); }

// Layer lists --------------------------------------------------------------

// Writes the list links of i into its record (and the head's next when i is first).
void mirror_links(int32_t i) {
  Engine& e = engine();
  SpriteRecord& r = record(i);
  const uint32_t layer = static_cast<uint32_t>(e.layer_of[i]);
  r.previous = e.previous[i] == kNone ? head_address(layer) : address_of(e.previous[i]);
  r.next = address_or_zero(e.next[i]);
  if (e.previous[i] == kNone)
    reinterpret_cast<SpriteRecord*>(script_memory().host(head_address(layer)))->next = address_of(i);
}

void list_remove(int32_t i) {
  Engine& e = engine();
  const int32_t layer = e.layer_of[i];
  const int16_t p = e.previous[i], n = e.next[i];
  (p == kNone ? e.first[layer] : e.next[p]) = n;
  (n == kNone ? e.last[layer] : e.previous[n]) = p;
  e.previous[i] = e.next[i] = kNone;
  if (p != kNone) mirror_links(p);
  if (n != kNone) mirror_links(n);
  if (p == kNone && n == kNone)
    reinterpret_cast<SpriteRecord*>(script_memory().host(head_address(static_cast<uint32_t>(layer))))->next = 0;
  record(i).previous = record(i).next = 0;
}

// Inserts i after `after` (kNone: at the front) in its layer's list.
void list_insert_after(int32_t i, int16_t after) {
  Engine& e = engine();
  const int32_t layer = e.layer_of[i];
  const int16_t n = after == kNone ? e.first[layer] : e.next[after];
  e.previous[i] = after;
  e.next[i] = n;
  (after == kNone ? e.first[layer] : e.next[after]) = static_cast<int16_t>(i);
  (n == kNone ? e.last[layer] : e.previous[n]) = static_cast<int16_t>(i);
  mirror_links(i);
  if (after != kNone) mirror_links(after);
  if (n != kNone) mirror_links(n);
}

template <typename Body>
void for_each_in_layer(uint32_t layer, Body body) {
  Engine& e = engine();
  for (int16_t i = e.first[layer]; i != kNone;) {
    const int16_t following = e.next[i];  // the body may unlink i
    body(i);
    i = following;
  }
}

// Parents and child arrays --------------------------------------------------

// Copies i's children into its script-memory array, growing the array
// (capacity 8, doubled when full): false when it cannot grow.
bool mirror_children(int32_t i) {
  Engine& e = engine();
  ScriptMemory& memory = script_memory();
  const std::vector<int16_t>& list = e.children[i];
  ScriptAddr block = e.child_block[i];
  uint32_t& capacity = e.child_capacity[i];
  if (!block || list.size() > capacity) {
    uint32_t grown = block ? capacity * 2 : 8;
    while (grown < list.size()) grown *= 2;
    const ScriptAddr bigger = memory.allocate_owned(4 + grown * 4);
    if (!bigger) return false;
    if (block) memory.free_owned(block);
    block = e.child_block[i] = bigger;
    capacity = grown;
  }
  auto* words = reinterpret_cast<uint32_t*>(memory.host(block));
  words[0] = capacity;
  for (size_t k = 0; k < list.size(); ++k) words[1 + k] = address_of(list[k]);
  SpriteRecord& r = record(i);
  r.children = block + 4;
  r.child_count = static_cast<uint32_t>(list.size());
  return true;
}

void free_children_array(int32_t i) {
  Engine& e = engine();
  if (e.child_block[i]) script_memory().free_owned(e.child_block[i]);
  e.child_block[i] = 0;
  e.child_capacity[i] = 0;
  e.children[i].clear();
  SpriteRecord& r = record(i);
  r.children = 0;
  r.child_count = 0;
}

void detach_from_parent(int32_t i) {
  Engine& e = engine();
  const int16_t p = e.parent[i];
  if (p == kNone) return;
  std::vector<int16_t>& siblings = e.children[p];
  siblings.erase(std::find(siblings.begin(), siblings.end(), static_cast<int16_t>(i)));
  mirror_children(p);  // shrinking never allocates
  e.parent[i] = kNone;
  record(i).parent = 0;
}

// Frees the record: off its list, its parent and its children, its regions
// gone. A script may set the delete flag itself, so nothing is assumed.
void release(int32_t i) {
  Engine& e = engine();
  detach_from_parent(i);
  for (const int16_t child : e.children[i]) {
    e.parent[child] = kNone;
    record(child).parent = 0;
  }
  free_children_array(i);
  hit_detach_sprite(address_of(i));
  list_remove(i);
  e.in_use[i] = false;
  e.first_piece[i] = -1;
  record(i).state = kSpriteFree;
}

// World transform ------------------------------------------------------------

struct Placement {
  int64_t x = 0, y = 0;  // 16.16 hot spot on the page
  int32_t scale_x = kOne, scale_y = kOne;
  uint16_t angle = 0;
};

// x >> shift with a shift byte that may hold anything.
int64_t unshifted(int32_t v, uint8_t shift) { return v >> std::min<int>(shift, 31); }

// The world position, scale and angle of i, computed down its parent chain;
// with `store`, writes the world scale and angle of every sprite on the chain.
Placement world_transform(int32_t i, bool store) {
  Engine& e = engine();
  std::array<int16_t, kSpriteRecords> chain;
  int32_t depth = 0;
  for (int16_t k = static_cast<int16_t>(i); k != kNone; k = e.parent[k]) chain[depth++] = k;
  Placement w;
  for (int32_t d = depth - 1; d >= 0; --d) {
    SpriteRecord& r = record(chain[d]);
    const int64_t x = unshifted(r.x, r.shift), y = unshifted(r.y, r.shift);
    if (d == depth - 1) {
      const int32_t layer = e.layer_of[chain[d]];
      w.x = clamp((x - e.origin_x[layer]) * kOne, kPositionLimit);
      w.y = clamp((y - e.origin_y[layer]) * kOne, kPositionLimit);
      w.scale_x = r.scale_x;
      w.scale_y = r.scale_y;
      w.angle = r.angle;
    } else {
      const int64_t f = clamp((x * w.scale_x) >> 16, kPositionLimit);
      const int64_t m = clamp((y * w.scale_y) >> 16, kPositionLimit);
      const int64_t c = table_cos(w.angle), s = table_sin(w.angle);
      w.x = clamp(w.x + f * c + m * s, kPositionLimit);
      w.y = clamp(w.y + m * c - f * s, kPositionLimit);
      if (r.scale_x != kOne) w.scale_x = saturate32((int64_t{r.scale_x} * w.scale_x) >> 16);
      if (r.scale_y != kOne) w.scale_y = saturate32((int64_t{r.scale_y} * w.scale_y) >> 16);
      w.angle = static_cast<uint16_t>(w.angle + r.angle);
    }
    if (!store) continue;
    r.world_scale_x = w.scale_x;
    r.world_scale_y = w.scale_y;
    r.world_angle = w.angle;
  }
  return w;
}

// Computes the world transform and the placed rectangle (returned) and the
// bounding rectangle; with `store`, writes them into the records. Only the
// compositor stores: the bounding rectangle is where a drawn sprite shows,
// which the next sp_draw restores when the sprite moves.
Rect place(int32_t i, bool store = true) {
  const Placement w = world_transform(i, store);
  SpriteRecord& r = record(i);
  const Rect source = r.source;
  const int64_t width = int64_t{source.right} - source.left, height = int64_t{source.bottom} - source.top;
  const int64_t c = table_cos(w.angle), s = table_sin(w.angle);
  const int64_t f = clamp((clamp(width - 2 * int64_t{r.hot_x}, kSpanLimit) * w.scale_x) >> 17, kPositionLimit);
  const int64_t m = clamp((clamp(height - 2 * int64_t{r.hot_y}, kSpanLimit) * w.scale_y) >> 17, kPositionLimit);
  const int64_t mx = (w.x + f * c + m * s) >> 16, my = (w.y + m * c - f * s) >> 16;
  const int64_t pw = clamp((width * w.scale_x) >> 16, kCoordinateLimit);
  const int64_t ph = clamp((height * w.scale_y) >> 16, kCoordinateLimit);
  const int64_t left = mx - (pw >> 1), top = my - (ph >> 1);
  const Rect placed{coordinate(left), coordinate(top), coordinate(left + pw), coordinate(top + ph)};
  if (!store) return placed;
  r.placed = placed;
  if ((w.angle & 2047) == 0) {
    r.bounds = placed;
    return placed;
  }
  const int64_t bw = (std::abs(ph * s) + std::abs(pw * c) + 32768) >> 16;
  const int64_t bh = (std::abs(ph * c) + std::abs(pw * s) + 32768) >> 16;
  r.bounds = {coordinate(mx - bw / 2), coordinate(my - bh / 2), coordinate(mx - bw / 2 + bw),
              coordinate(my + bh - bh / 2)};
  return placed;
}

// Overlap pieces ---------------------------------------------------------------

// Adds r to i's pieces from piece `from` on, cut so that no two pieces of a
// sprite overlap: a part of r that overlaps a listed piece is split into what
// lies above, below, left and right of it, and each part goes on through the
// rest of the list; parts that overlap nothing go to the front.
void add_piece(int32_t i, const Rect& r, int32_t from) {
  Engine& e = engine();
  for (int32_t p = from; p >= 0; p = e.pieces[p].next) {
    const Rect q = e.pieces[p].rect;
    if (!meets(r, q)) continue;
    const int32_t after = e.pieces[p].next;
    const int32_t top = std::max(r.top, q.top), bottom = std::min(r.bottom, q.bottom);
    if (r.top < q.top) add_piece(i, {r.left, r.top, r.right, q.top}, after);
    if (q.bottom < r.bottom) add_piece(i, {r.left, q.bottom, r.right, r.bottom}, after);
    if (r.left < q.left) add_piece(i, {r.left, top, q.left, bottom}, after);
    if (q.right < r.right) add_piece(i, {q.right, top, r.right, bottom}, after);
    return;
  }
  if (e.piece_count == kPieceCapacity) return;  // a full pool drops further pieces
  e.pieces[e.piece_count] = {r, e.first_piece[i]};
  e.first_piece[i] = e.piece_count++;
}

// Every shown sprite that is not redrawn whole and that r uncovers gets the
// uncovered part as a piece to redraw.
void spread(const Rect& r) {
  Engine& e = engine();
  for (int32_t k = 0; k < e.candidate_count; ++k) {
    const int16_t i = e.candidates[k];
    SpriteRecord& s = record(i);
    const Rect part = rect_intersection(s.bounds, r);
    if (part.empty()) continue;
    s.flags |= kSpritePartial;
    add_piece(i, part, e.first_piece[i]);
  }
}

// Drawing ------------------------------------------------------------------------

void draw_sprite(uint32_t page, Plane* destination, const SpriteRecord& r) {
  const Rect source = r.source;
  const BlitMode mode = r.mode;
  const bool scaled = r.world_scale_x != kOne || r.world_scale_y != kOne;
  const bool rotated = (r.world_angle & 2047) != 0;
  if (!scaled && !rotated && !r.mirror_x && !r.mirror_y) {
    blit_copy(page, r.bounds.left, r.bounds.top, r.plane, &source, mode);
    return;
  }
  Plane* plane = plane_get(r.plane);
  if (!plane) return;
  Rect target = r.placed;
  if (r.mirror_x) std::swap(target.left, target.right);
  if (r.mirror_y) std::swap(target.top, target.bottom);
  Plane* mask = plane_mask(r.plane);
  const int64_t area = (int64_t{source.right} - source.left) * (int64_t{source.bottom} - source.top);
  if ((r.flags & kSpriteSmooth) && area > 1 && (scaled || rotated))
    blit_rotated_smooth(destination, target, plane, source, mask, mode, r.world_angle);
  else if (rotated)
    blit_rotated(destination, target, plane, source, mask, mode, r.world_angle);
  else
    blit_scaled(destination, target, plane, source, mask, mode);
}

// Marking: works out what changed in the masked layers, restores nothing yet
// but lists the areas in the dirty list and the pieces to redraw.
void mark(uint32_t mask, const Rect& area) {
  Engine& e = engine();
  // Redraw requests pass from parents to their children, down every chain.
  std::array<int16_t, kSpriteRecords> stack;
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    if (!(mask >> layer & 1)) continue;
    for_each_in_layer(layer, [&](int16_t root) {
      if (e.parent[root] != kNone || e.children[root].empty()) return;
      int32_t top = 0;
      stack[top++] = root;
      while (top > 0) {
        const int16_t p = stack[--top];
        const bool redraw = record(p).flags & kRedrawBits;
        for (const int16_t child : e.children[p]) {
          if (redraw) record(child).flags |= kSpriteRedraw;
          stack[top++] = child;
        }
      }
    });
  }

  e.piece_count = 0;
  e.candidate_count = 0;
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    for_each_in_layer(layer, [&](int16_t i) {
      e.first_piece[i] = -1;
      if (!(mask >> layer & 1)) return;
      SpriteRecord& r = record(i);
      if (visible(r) && (r.flags & kSpriteDrawn) && meets(r.bounds, e.background_redraw))
        r.flags |= kSpriteRedraw;
      if (visible(r) && (r.flags & kSpriteDrawn) && !(r.flags & kRedrawBits)) e.candidates[e.candidate_count++] = i;
    });
  }

  // A full dirty list collapses into one rectangle that may cover sprites
  // no change touched: what it restores is spread like the rest below.
  bool collapsed = false;
  const auto add_dirty = [&](const Rect& r) { collapsed |= dirty_add(r) == 0; };
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    if (!(mask >> layer & 1)) continue;
    for_each_in_layer(layer, [&](int16_t i) {
      SpriteRecord& r = record(i);
      const uint16_t flags = r.flags;
      if (visible(r) && !(flags & kSpriteDrawn)) {
        place(i);
        if (meets(r.bounds, area)) {
          r.flags |= kSpriteRedraw;
          spread(r.bounds);
          add_dirty(r.bounds);
        }
      } else if (visible(r) && (flags & kRedrawBits)) {
        const Rect old = r.bounds;
        place(i);
        if (!(r.bounds == old)) {
          spread(old);
          add_dirty(old);
          e.changed = rect_union(e.changed, old);
        }
        spread(r.bounds);
        add_dirty(r.bounds);
      } else if (!visible(r) && (flags & kSpriteDrawn)) {
        r.flags &= static_cast<uint16_t>(~(kSpriteRedraw | kSpritePartial | kSpriteDrawn));
        spread(r.bounds);
        add_dirty(r.bounds);
        e.changed = rect_union(e.changed, r.bounds);
      }
    });
  }
  if (collapsed) {
    const Rect all = dirty_entries()[0];
    spread(all);
    e.changed = rect_union(e.changed, rect_intersection(all, area));
  }
}

// Draws the masked layers in order and frees delete-pending sprites everywhere.
void compose(uint32_t mask, uint32_t page, Plane* destination, const Rect& area) {
  Engine& e = engine();
  constexpr uint16_t kClearedByDraw = kSpriteRedraw | kSpritePartial | kSpriteDrawn;
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    const bool masked = mask >> layer & 1;
    for_each_in_layer(layer, [&](int16_t i) {
      SpriteRecord& r = record(i);
      if (r.flags & kSpriteDeletePending) {
        release(i);
        return;
      }
      if (!masked) return;
      const uint16_t flags = r.flags;
      if (!visible(r)) {
        if (flags & kSpriteDrawn) e.changed = rect_union(e.changed, r.bounds);
        r.flags = flags & static_cast<uint16_t>(~kClearedByDraw);
      } else if (flags & kRedrawBits) {
        r.flags = flags & static_cast<uint16_t>(~kClearedByDraw);
        const Rect shown = rect_intersection(r.bounds, area);
        if (shown.empty()) return;
        draw_sprite(page, destination, r);
        e.changed = rect_union(e.changed, shown);
        r.flags |= kSpriteDrawn;
      } else if (flags & kSpritePartial) {
        for (int32_t p = e.first_piece[i]; p >= 0; p = e.pieces[p].next) {
          const Rect piece = rect_intersection(e.pieces[p].rect, area);
          if (piece.empty()) continue;
          destination->clip = piece;
          draw_sprite(page, destination, r);
          e.changed = rect_union(e.changed, piece);
        }
        destination->clip = area;
        r.flags &= static_cast<uint16_t>(~(kSpriteRedraw | kSpritePartial));
      }
    });
  }
}

Rect plane_area(uint32_t handle) {
  const Plane* plane = plane_get(handle);
  return plane ? Rect{0, 0, plane->width, plane->height} : Rect{};
}

// Every engine structure back to empty; the pool memory zeroed.
void clear_all() {
  Engine& e = engine();
  for (uint32_t i = 0; i < kSpriteRecords; ++i)
    if (e.in_use[i]) free_children_array(static_cast<int32_t>(i));
  e.in_use.fill(false);
  e.previous.fill(kNone);
  e.next.fill(kNone);
  e.parent.fill(kNone);
  e.first.fill(kNone);
  e.last.fill(kNone);
  e.first_piece.fill(-1);
  e.piece_count = 0;
  e.origin_x.fill(0);
  e.origin_y.fill(0);
  if (e.pool) std::memset(script_memory().host(e.pool), 0, (kSpriteRecords + kSpriteLayers + 1) * kRecordSize);
}

void sprites_reset() {
  sp_init(UINT32_MAX);
  Engine& e = engine();
  e.background = 0;
  e.background_x = e.background_y = 0;
  e.default_flags = kDefaultFlags;
  e.changed = e.background_redraw = Rect{};
}

}  // namespace

int32_t sp_flag(int32_t flags) {
  Engine& e = engine();
  const int32_t previous = e.default_flags;
  e.default_flags = static_cast<uint16_t>(flags);
  return previous;
}

int32_t sp_init(uint32_t layer_mask) {
  if (layer_mask == UINT32_MAX) {
    dirty_clear();
    hit_init(UINT32_MAX);
    clear_all();
    return 1;
  }
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer)
    if (layer_mask >> layer & 1) for_each_in_layer(layer, [](int16_t i) { sp_reset(address_of(i)); });
  return 1;
}

uint32_t sp_setbg(uint32_t handle) {
  Engine& e = engine();
  dirty_clear();
  const uint32_t previous = e.background;
  e.background = handle;
  e.background_x = e.background_y = 0;
  if (handle < kPlaneSlots) {
    e.changed = plane_area(handle);
    if (!e.changed.empty()) dirty_add(e.changed);
  } else {
    e.changed = plane_area(active_page());
  }
  e.background_redraw = handle < kPlaneSlots ? e.changed : Rect{};
  return previous;
}

uint32_t sp_getbg() { return engine().background; }

int32_t sp_bgorg(int32_t x, int32_t y) {
  Engine& e = engine();
  e.background_x = x;
  e.background_y = y;
  // A moved origin shows other parts of the background everywhere on the
  // page. The area adds to what an sp_setbg since the last draw changed,
  // which the dirty list still holds (the page may differ by then).
  const Rect area = x || y ? plane_area(active_page()) : plane_area(e.background);
  if (!area.empty()) dirty_add(area);
  e.changed = rect_union(e.changed, area);
  e.background_redraw = rect_union(e.background_redraw, area);
  return 1;
}

int32_t sp_redraw(uint32_t layer_mask) {
  Engine& e = engine();
  // The next sp_draw restores the whole page: that is changed, and every
  // shown sprite there is drawn again, as after sp_setbg.
  if (e.background < kPlaneSlots) {
    const Rect page = plane_area(active_page());
    if (!page.empty()) {
      dirty_add(page);
      e.changed = rect_union(e.changed, page);
      e.background_redraw = rect_union(e.background_redraw, page);
    }
  }
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    if (!(layer_mask >> layer & 1)) continue;
    for_each_in_layer(layer, [](int16_t i) {
      SpriteRecord& r = record(i);
      if (r.state != kSpriteHidden || (r.flags & kSpriteDrawn)) r.flags |= kSpriteRedraw;
    });
  }
  return 1;
}

ScriptAddr sp_set(uint32_t layer, int32_t state, int32_t x, int32_t y, uint32_t plane, const Rect* source,
                  const BlitMode* mode) {
  if (!ensure_pool()) return 0;
  Engine& e = engine();
  const ScriptAddr spare = sprite_spare();
  if (layer >= kSpriteLayers || plane >= kPlaneSlots) return spare;
  const Plane* p = plane_get(plane);
  if (!source && !p) return spare;
  const auto free_slot = std::find(e.in_use.begin(), e.in_use.end(), false);
  if (free_slot == e.in_use.end()) return spare;
  const auto i = static_cast<int32_t>(free_slot - e.in_use.begin());

  SpriteRecord& r = record(i);
  r = SpriteRecord{};
  r.source = source ? *source : Rect{0, 0, p->width, p->height};
  if (mode) r.mode = *mode;
  // Only visible and hidden exist; any other request makes a hidden sprite.
  r.state = state == kSpriteVisible ? kSpriteVisible : kSpriteHidden;
  r.layer = static_cast<uint8_t>(layer);
  r.flags = static_cast<uint16_t>(e.default_flags | (config().Smoothing ? kSpriteSmooth : 0));
  r.x = x;
  r.y = y;
  r.plane = plane;
  r.scale_x = r.scale_y = kOne;
  r.world_scale_x = r.world_scale_y = kOne;
  e.in_use[i] = true;
  e.layer_of[i] = static_cast<int16_t>(layer);
  e.parent[i] = kNone;
  e.first_piece[i] = -1;
  list_insert_after(i, e.last[layer]);
  return address_of(i);
}

int32_t sp_reset(ScriptAddr sprite) {
  const int32_t i = index_of(sprite);
  if (i < 0) return 0;
  Engine& e = engine();
  detach_from_parent(i);
  // Children last first; each reset takes the child out of this list.
  while (!e.children[i].empty()) sp_reset(address_of(e.children[i].back()));
  free_children_array(i);
  SpriteRecord& r = record(i);
  r.flags |= kSpriteDeletePending;
  r.state = kSpriteHidden;
  hit_detach_sprite(sprite);
  return 1;
}

int32_t sp_link(ScriptAddr parent, ScriptAddr child) {
  const int32_t p = index_of(parent), c = index_of(child);
  if (p < 0 || c < 0) return 0;
  Engine& e = engine();
  for (int16_t k = static_cast<int16_t>(p); k != kNone; k = e.parent[k]) {
    if (k == c) {
      report(kLevelDevice, Msg::LinkSpriteCycle);
      return 0;
    }
  }
  e.children[p].push_back(static_cast<int16_t>(c));
  if (!mirror_children(p)) {
    e.children[p].pop_back();
    report(kLevelDevice, Msg::LinkSpriteNoMemory);
    return 0;
  }
  // Detached only now, so that a failed link leaves the child where it was.
  const int16_t old = e.parent[c];
  if (old != kNone) {
    std::vector<int16_t>& siblings = e.children[old];
    siblings.erase(std::find(siblings.begin(), siblings.end(), static_cast<int16_t>(c)));
    mirror_children(old);
  }
  e.parent[c] = static_cast<int16_t>(p);
  record(c).parent = parent;
  if (e.layer_of[p] == e.layer_of[c] && e.next[p] != c) {
    list_remove(c);
    list_insert_after(c, static_cast<int16_t>(p));
  }
  return 1;
}

int32_t sp_unlink(ScriptAddr sprite) {
  const int32_t i = index_of(sprite);
  if (i < 0) return 0;
  detach_from_parent(i);
  return 1;
}

int32_t sp_draw(uint32_t layer_mask, Rect* changed) {
  const uint32_t page = active_page();
  Plane* destination = plane_get(page);
  if (!destination) return 0;
  Engine& e = engine();
  const std::lock_guard lock(presentation_lock());
  const Rect area = destination->clip;
  using Clock = std::chrono::steady_clock;
  const auto nanoseconds = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count(); };
  const Clock::time_point start = Clock::now();
  mark(layer_mask, area);
  e.background_redraw = Rect{};
  const Clock::time_point marked = Clock::now();
  if (const Plane* background = plane_get(e.background)) {
    const Rect from{e.background_x, e.background_y, background->width, background->height};
    dirty_copy(destination, 0, 0, background, &from);
    dirty_clear();
  }
  const Clock::time_point restored = Clock::now();
  compose(layer_mask, page, destination, area);
  e.times.marking_ns += nanoseconds(marked - start);
  e.times.restoring_ns += nanoseconds(restored - marked);
  e.times.drawing_ns += nanoseconds(Clock::now() - restored);
  if (changed) *changed = rect_intersection(e.changed, area);
  if (changed && changed->empty()) *changed = Rect{};
  e.changed = Rect{};
  return 1;
}

int32_t sp_org(uint32_t layer_mask, int32_t x, int32_t y) {
  Engine& e = engine();
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    if (!(layer_mask >> layer & 1)) continue;
    e.origin_x[layer] = x;
    e.origin_y[layer] = y;
  }
  return 1;
}

int32_t sp_sort(uint32_t layer_mask, uint32_t key_flags) {
  Engine& e = engine();
  std::vector<std::pair<int64_t, int16_t>> keyed;
  for (uint32_t layer = 0; layer < kSpriteLayers; ++layer) {
    if (!(layer_mask >> layer & 1)) continue;
    keyed.clear();
    for_each_in_layer(layer, [&](int16_t i) {
      int64_t key = 0;
      if (key_flags & 1)
        for (int16_t k = i; k != kNone; k = e.parent[k]) key += unshifted(record(k).y, record(k).shift);
      if (key_flags & 2) key = key * 65536 + record(i).sort_key;
      keyed.emplace_back(key, i);
    });
    // Stable: equal keys keep their order.
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int16_t previous = kNone;
    for (const auto& [key, i] : keyed) {
      list_remove(i);
      list_insert_after(i, previous);
      previous = i;
    }
  }
  return 1;
}

int32_t sp_rect(ScriptAddr sprite, Rect* placed) {
  const int32_t i = index_of(sprite);
  if (i < 0 || !placed) return 0;
  // A question only: the record keeps what the compositor last drew, so
  // that a sprite moved and asked about is still erased at its old place.
  *placed = place(i, false);
  return 1;
}

int32_t sp_count() {
  const Engine& e = engine();
  if (!e.pool) return 0;
  int32_t count = 0;
  for (uint32_t i = 0; i < kSpriteRecords; ++i) count += record(static_cast<int32_t>(i)).state != kSpriteFree;
  return count;
}

SpriteRecord* sprite_record(ScriptAddr sprite) {
  const int32_t i = index_of(sprite);
  return i < 0 ? nullptr : &record(i);
}

SpriteDrawTimes sprite_draw_times() { return engine().times; }

int32_t sprite_index(ScriptAddr sprite) { return index_of(sprite); }

ScriptAddr sprite_parent(ScriptAddr sprite) {
  const int32_t i = index_of(sprite);
  return i < 0 ? 0 : address_or_zero(engine().parent[i]);
}

ScriptAddr sprite_spare() {
  return ensure_pool() ? address_of(static_cast<int32_t>(kSpriteRecords + kSpriteLayers)) : 0;
}

const Subsystem kSpritesSubsystem{.name = "sprites", .reset = sprites_reset, .runtime_start = sprites_reset};

}  // namespace zelt::gfx
