#include "gfx/sprites/hit_regions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "gfx/sprites/sprites.h"

namespace zelt::gfx {
namespace {

using Index = int16_t;
constexpr Index kNone = -1;
constexpr uint32_t kRecordBytes = sizeof(HitRegion);
constexpr uint32_t kPoolBytes = (kHitRegions + kHitGroups) * kRecordBytes;

// The engine's own view of one record. Scripts can write every field of the
// record in script memory, so the lists are followed here only; the record's
// link fields are a copy for scripts to read.
struct Node {
  bool used = false;
  uint8_t group = 0;
  Index previous = kNone, next = kNone;                      // the group's list
  Index previous_of_sprite = kNone, next_of_sprite = kNone;  // the sprite's list
  int16_t sprite = kNone;                                    // the sprite's pool index
  ScriptAddr sprite_address = 0;
};

struct Pool {
  // Script memory: kHitRegions records, then one head per group. 0 until the
  // first hit_set; kept for the life of the process.
  ScriptAddr base = 0;
  std::array<Node, kHitRegions> nodes;
  std::array<Index, kHitGroups> first, last;
  std::array<Index, kSpriteRecords> sprite_first;  // by sprite pool index

  Pool() { clear(); }
  void clear() {
    nodes.fill(Node{});
    first.fill(kNone);
    last.fill(kNone);
    sprite_first.fill(kNone);
  }
};

Pool g_pool;

ScriptAddr address(int32_t i) { return g_pool.base + static_cast<uint32_t>(i) * kRecordBytes; }
ScriptAddr address_or_zero(Index i) { return i == kNone ? 0 : address(i); }
HitRegion& record(int32_t i) { return *reinterpret_cast<HitRegion*>(script_memory().host(address(i))); }
HitRegion& head(uint32_t group) { return record(static_cast<int32_t>(kHitRegions + group)); }

bool ensure_pool() {
  if (!g_pool.base) g_pool.base = script_memory().allocate_owned(kPoolBytes);
  return g_pool.base != 0;
}

// The index of the region in use at address a, or -1.
int32_t region_index(ScriptAddr a) {
  if (!g_pool.base || a < g_pool.base) return -1;
  const uint32_t offset = a - g_pool.base;
  if (offset % kRecordBytes != 0 || offset / kRecordBytes >= kHitRegions) return -1;
  const int32_t i = static_cast<int32_t>(offset / kRecordBytes);
  return g_pool.nodes[i].used ? i : -1;
}

// Copies the engine's links of region i into its record.
void mirror(Index i) {
  const Node& n = g_pool.nodes[i];
  HitRegion& r = record(i);
  r.group = n.group;
  r.sprite = n.sprite_address;
  // The first region's previous is its group's head.
  r.previous = address(n.previous == kNone ? static_cast<int32_t>(kHitRegions + n.group) : n.previous);
  r.next = address_or_zero(n.next);
  r.next_of_sprite = address_or_zero(n.next_of_sprite);
}

void mirror_head(uint32_t group) { head(group).next = address_or_zero(g_pool.first[group]); }

void mirror_sprite(ScriptAddr sprite, int16_t index) {
  if (SpriteRecord* s = sprite_record(sprite)) s->hit_regions = address_or_zero(g_pool.sprite_first[index]);
}

// Unlinks region i from its group and its sprite and frees it (the record
// reads as all zero afterwards).
void remove(Index i) {
  Node& n = g_pool.nodes[i];
  if (n.previous != kNone) {
    g_pool.nodes[n.previous].next = n.next;
    mirror(n.previous);
  } else {
    g_pool.first[n.group] = n.next;
    mirror_head(n.group);
  }
  if (n.next != kNone) {
    g_pool.nodes[n.next].previous = n.previous;
    mirror(n.next);
  } else {
    g_pool.last[n.group] = n.previous;
  }
  if (n.sprite != kNone) {
    if (n.next_of_sprite != kNone) g_pool.nodes[n.next_of_sprite].previous_of_sprite = n.previous_of_sprite;
    if (n.previous_of_sprite != kNone) {
      g_pool.nodes[n.previous_of_sprite].next_of_sprite = n.next_of_sprite;
      mirror(n.previous_of_sprite);
    } else {
      g_pool.sprite_first[n.sprite] = n.next_of_sprite;
    }
    mirror_sprite(n.sprite_address, n.sprite);
  }
  n = Node{};
  record(i) = HitRegion{};
}

int32_t saturate(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t extent(int32_t low, int32_t high) { return saturate(int64_t{high} - low); }

// The page rectangle of region i, or false when the region takes part in no
// test: inactive, or attached to a sprite that is not visible. An attached
// region moves by each position on the way up the sprite's parent chain.
bool page_rect(int32_t i, Rect& out) {
  const HitRegion& r = record(i);
  if (r.mask == 0) return false;
  const Rect rect = r.rect;
  const Node& n = g_pool.nodes[i];
  if (n.sprite == kNone) {
    out = rect;
    return true;
  }
  const SpriteRecord* s = sprite_record(n.sprite_address);
  if (!s || s->state != kSpriteVisible) return false;
  // At most one step per pool record, so a chain can never be followed for ever.
  int64_t dx = 0, dy = 0;
  ScriptAddr at = n.sprite_address;
  for (uint32_t step = 0; s && step < kSpriteRecords; ++step) {
    const int32_t shift = std::min<int32_t>(s->shift, 31);
    dx += int64_t{s->x >> shift} - s->hot_x;
    dy += int64_t{s->y >> shift} - s->hot_y;
    at = sprite_parent(at);
    s = at ? sprite_record(at) : nullptr;
  }
  out = {saturate(rect.left + dx), saturate(rect.top + dy), saturate(rect.right + dx),
         saturate(rect.bottom + dy)};
  return true;
}

bool overlap(const Rect& a, const Rect& b) {
  return a.top < b.bottom && b.top < a.bottom && a.left < b.right && b.left < a.right;
}

// The first region, by ascending group and then list order, of the groups
// in mask whose page rectangle satisfies hit; skip is left out.
template <typename Hit>
ScriptAddr search(uint32_t mask, int32_t skip, const Hit& hit) {
  if (!g_pool.base) return 0;
  for (uint32_t g = 0; g < kHitGroups; ++g) {
    if (!(mask >> g & 1)) continue;
    for (Index i = g_pool.first[g]; i != kNone; i = g_pool.nodes[i].next) {
      Rect p;
      if (i != skip && page_rect(i, p) && hit(p)) return address(i);
    }
  }
  return 0;
}

}  // namespace

int32_t hit_init(uint32_t group_mask) {
  if (!g_pool.base) return 1;
  for (uint32_t g = 0; g < kHitGroups; ++g)
    if (group_mask >> g & 1)
      while (g_pool.first[g] != kNone) remove(g_pool.first[g]);
  // Everything emptied: also clear whatever scripts wrote into free records
  // and heads.
  if (group_mask == 0xFFFFFFFFu) {
    std::memset(script_memory().host(g_pool.base), 0, kPoolBytes);
    g_pool.clear();
  }
  return 1;
}

ScriptAddr hit_set(uint32_t group, uint32_t mask, ScriptAddr sprite, const Rect* rect, uint32_t user) {
  if (group >= kHitGroups) return 0;
  const SpriteRecord* s = nullptr;
  int32_t index = kNone;
  if (sprite) {
    s = sprite_record(sprite);
    index = sprite_index(sprite);
    if (!s || index < 0 || index >= static_cast<int32_t>(kSpriteRecords)) return 0;
  }
  if (!ensure_pool()) return 0;
  Index i = 0;
  while (i < static_cast<Index>(kHitRegions) && g_pool.nodes[i].used) ++i;
  if (i == static_cast<Index>(kHitRegions)) return 0;

  HitRegion& r = record(i);
  r = HitRegion{};
  if (rect)
    r.rect = *rect;
  else if (s)
    r.rect = {0, 0, extent(s->source.left, s->source.right), extent(s->source.top, s->source.bottom)};
  r.mask = mask;
  r.user = user;

  Node& n = g_pool.nodes[i];
  n.used = true;
  n.group = static_cast<uint8_t>(group);
  n.previous = g_pool.last[group];
  if (n.previous != kNone) {
    g_pool.nodes[n.previous].next = i;
    mirror(n.previous);
  } else {
    g_pool.first[group] = i;
    mirror_head(group);
  }
  g_pool.last[group] = i;
  if (sprite) {
    n.sprite = static_cast<int16_t>(index);
    n.sprite_address = sprite;
    n.next_of_sprite = g_pool.sprite_first[index];
    if (n.next_of_sprite != kNone) g_pool.nodes[n.next_of_sprite].previous_of_sprite = i;
    g_pool.sprite_first[index] = i;
    mirror_sprite(sprite, n.sprite);
  }
  mirror(i);
  return address(i);
}

int32_t hit_reset(ScriptAddr region) {
  const int32_t i = region_index(region);
  if (i < 0) return 0;
  remove(static_cast<Index>(i));
  return 1;
}

ScriptAddr hit_check(ScriptAddr region) {
  const int32_t i = region_index(region);
  Rect own;
  if (i < 0 || !page_rect(i, own)) return 0;
  const uint32_t mask = record(i).mask;
  return search(mask, i, [&](const Rect& p) { return overlap(own, p); });
}

ScriptAddr hit_rect(const Rect* rect, uint32_t group_mask) {
  if (!rect) return 0;
  const Rect r = *rect;
  return search(group_mask, -1, [&](const Rect& p) { return overlap(r, p); });
}

ScriptAddr hit_point(int32_t x, int32_t y, uint32_t group_mask) {
  return search(group_mask, -1,
                [&](const Rect& p) { return p.left <= x && x < p.right && p.top <= y && y < p.bottom; });
}

void hit_detach_sprite(ScriptAddr sprite) {
  const int32_t index = sprite_index(sprite);
  if (index < 0 || index >= static_cast<int32_t>(kSpriteRecords)) return;
  while (g_pool.sprite_first[index] != kNone) remove(g_pool.sprite_first[index]);
  mirror_sprite(sprite, static_cast<int16_t>(index));
}

}  // namespace zelt::gfx
