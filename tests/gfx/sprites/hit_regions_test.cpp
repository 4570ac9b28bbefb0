// Hit regions: the overlap and containment rules, the search order, regions
// that follow plain, child and hidden sprites, and records whose fields
// scripts overwrite.
#include "gfx/sprites/hit_regions.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "gfx/sprites/sprites.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kAllGroups = 0xFFFFFFFFu;

class HitRegions : public ::testing::Test {
 protected:
  void SetUp() override {
    sp_init(kAllGroups);
    hit_init(kAllGroups);
  }
  void TearDown() override {
    hit_init(kAllGroups);
    sp_init(kAllGroups);
  }

  static HitRegion& region(ScriptAddr a) { return *reinterpret_cast<HitRegion*>(script_memory().host(a)); }
  static SpriteRecord& sprite(ScriptAddr a) {
    return *reinterpret_cast<SpriteRecord*>(script_memory().host(a));
  }

  static ScriptAddr add(uint32_t group, Rect r, uint32_t mask = kAllGroups, ScriptAddr on = 0,
                        uint32_t user = 0) {
    return hit_set(group, mask, on, &r, user);
  }
  // A sprite with a 16 x 8 source rectangle and its hot spot at the top-left.
  static ScriptAddr new_sprite(int32_t x, int32_t y, int32_t state = kSpriteVisible) {
    const Rect source{0, 0, 16, 8};
    const ScriptAddr s = sp_set(0, state, x, y, 0, &source, nullptr);
    EXPECT_NE(s, sprite_spare());
    return s;
  }
  static bool all_zero(ScriptAddr a) {
    const HitRegion& r = region(a);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
    for (size_t i = 0; i < sizeof r; ++i)
      if (bytes[i]) return false;
    return true;
  }
};

TEST_F(HitRegions, TouchingEdgesDoNotOverlap) {
  const ScriptAddr a = add(0, {0, 0, 10, 10}, 1), b = add(0, {10, 0, 20, 10}, 1);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_EQ(hit_check(a), 0u);
  EXPECT_EQ(hit_check(b), 0u);

  struct PointCase {
    int32_t x, y;
    ScriptAddr expected;
  } points[] = {{0, 0, a}, {9, 5, a}, {10, 5, b}, {19, 9, b}, {20, 5, 0}, {5, 10, 0}, {-1, 5, 0}, {5, -1, 0}};
  for (const PointCase& c : points) EXPECT_EQ(hit_point(c.x, c.y, 1), c.expected) << c.x << ", " << c.y;

  struct RectCase {
    Rect rect;
    ScriptAddr expected;
  } rects[] = {{{10, 0, 11, 1}, b}, {{9, 9, 10, 10}, a}, {{20, 0, 30, 10}, 0}, {{0, 10, 20, 20}, 0},
               {{-5, -5, 0, 0}, 0}, {{-5, -5, 1, 1}, a}};
  for (const RectCase& c : rects) {
    const Rect r = c.rect;
    EXPECT_EQ(hit_rect(&r, 1), c.expected) << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom;
  }
  EXPECT_EQ(hit_rect(nullptr, kAllGroups), 0u);

  const ScriptAddr c = add(0, {5, 5, 15, 15}, 1);
  EXPECT_EQ(hit_check(c), a);
  EXPECT_EQ(hit_check(a), c);
}

TEST_F(HitRegions, SearchGoesByGroupThenOldestFirst) {
  const Rect everywhere{-100, -100, 100, 100};
  const ScriptAddr in3 = add(3, everywhere), first1 = add(1, everywhere), second1 = add(1, everywhere);
  const ScriptAddr in31 = add(31, everywhere);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), first1);
  EXPECT_EQ(hit_point(0, 0, 1u << 3), in3);
  EXPECT_EQ(hit_point(0, 0, 1u << 31), in31);
  EXPECT_EQ(hit_point(0, 0, 1u << 2 | 1u), 0u);
  EXPECT_EQ(hit_point(0, 0, 0), 0u);

  // The freed record is reused (lowest free address) but joins the end of
  // its group's list, so list order and address order differ.
  ASSERT_EQ(hit_reset(first1), 1);
  const ScriptAddr third1 = add(1, everywhere);
  EXPECT_EQ(third1, first1);
  EXPECT_EQ(hit_point(0, 0, 1u << 1), second1);
  const Rect probe{0, 0, 1, 1};
  EXPECT_EQ(hit_rect(&probe, 1u << 1), second1);
  ASSERT_EQ(hit_reset(second1), 1);
  EXPECT_EQ(hit_point(0, 0, 1u << 1), third1);
  // hit_check searches the groups of the region's own mask in the same order.
  EXPECT_EQ(hit_check(in31), third1);
  region(in31).mask = 1u << 3 | 1u << 31;
  EXPECT_EQ(hit_check(in31), in3);
}

TEST_F(HitRegions, ScriptsChangeMaskRectangleAndUserValue) {
  const ScriptAddr a = add(0, {0, 0, 10, 10}, 1, 0, 0xDEADBEEF), b = add(1, {5, 5, 15, 15}, 1);
  EXPECT_EQ(region(a).user, 0xDEADBEEFu);
  EXPECT_EQ(region(a).group, 0u);
  EXPECT_EQ(region(b).mask, 1u);
  EXPECT_EQ(hit_check(b), a);
  EXPECT_EQ(hit_check(a), 0u);  // a looks only at its own group
  region(a).mask = 2;
  EXPECT_EQ(hit_check(a), b);

  // Mask 0 makes a region inactive: never found, and it finds nothing.
  region(a).mask = 0;
  EXPECT_EQ(hit_point(1, 1, kAllGroups), 0u);
  EXPECT_EQ(hit_check(a), 0u);
  EXPECT_EQ(hit_check(b), 0u);
  region(a).mask = 2;

  region(a).rect = {100, 100, 110, 110};
  EXPECT_EQ(hit_point(1, 1, kAllGroups), 0u);
  EXPECT_EQ(hit_point(105, 105, kAllGroups), a);
  EXPECT_EQ(hit_check(b), 0u);
}

TEST_F(HitRegions, PoolOfOneThousandTwentyFour) {
  std::vector<ScriptAddr> regions;
  for (uint32_t i = 0; i < kHitRegions; ++i) {
    regions.push_back(add(i % kHitGroups, {0, 0, 1, 1}));
    ASSERT_NE(regions.back(), 0u) << i;
    if (i > 0) {
      EXPECT_EQ(regions[i] - regions[i - 1], sizeof(HitRegion));
    }
  }
  EXPECT_EQ(add(0, {0, 0, 1, 1}), 0u);
  ASSERT_EQ(hit_reset(regions[500]), 1);
  EXPECT_EQ(add(7, {0, 0, 1, 1}), regions[500]);
  EXPECT_EQ(add(7, {0, 0, 1, 1}), 0u);
}

TEST_F(HitRegions, SetRefusesBadGroupsAndSprites) {
  const Rect r{0, 0, 1, 1};
  EXPECT_EQ(hit_set(32, 1, 0, &r, 0), 0u);
  EXPECT_EQ(hit_set(0xFFFFFFFF, 1, 0, &r, 0), 0u);
  const ScriptAddr s = new_sprite(0, 0);
  const ScriptAddr not_sprites[] = {sprite_spare(), s + 1, s + 4096, 0x10, 0xFFFFFFF0};
  for (ScriptAddr a : not_sprites) EXPECT_EQ(hit_set(0, 1, a, &r, 0), 0u) << a;
  EXPECT_EQ(hit_point(0, 0, kAllGroups), 0u);

  // Neither a rectangle nor a sprite: the zero rectangle, which holds no point.
  const ScriptAddr empty = hit_set(0, 1, 0, nullptr, 0);
  ASSERT_NE(empty, 0u);
  EXPECT_EQ(region(empty).rect, Rect{});
  EXPECT_EQ(hit_point(0, 0, kAllGroups), 0u);
}

TEST_F(HitRegions, ResetRefusesWhatIsNotARegionInUse) {
  const ScriptAddr a = add(0, {0, 0, 10, 10}), b = add(0, {0, 0, 10, 10});
  const ScriptAddr group_head = region(a).previous;
  const ScriptAddr wild[] = {0, a + 1, b + ScriptAddr{sizeof(HitRegion)}, group_head, 0x10, 0xFFFFFFF0};
  for (ScriptAddr w : wild) {
    EXPECT_EQ(hit_reset(w), 0) << w;
    EXPECT_EQ(hit_check(w), 0u) << w;
  }
  EXPECT_EQ(hit_reset(a), 1);
  EXPECT_EQ(hit_reset(a), 0);
  EXPECT_EQ(hit_check(a), 0u);
  EXPECT_TRUE(all_zero(a));
  EXPECT_EQ(hit_point(0, 0, kAllGroups), b);
}

TEST_F(HitRegions, InitRemovesTheSelectedGroups) {
  const ScriptAddr in0 = add(0, {0, 0, 1, 1}), in1 = add(1, {0, 0, 1, 1}), in2 = add(2, {0, 0, 1, 1});
  EXPECT_EQ(hit_init(0), 1);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), in0);
  EXPECT_EQ(hit_init(0b101), 1);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), in1);
  EXPECT_EQ(hit_reset(in0), 0);
  EXPECT_EQ(hit_reset(in2), 0);
  EXPECT_TRUE(all_zero(in0));
  EXPECT_EQ(hit_init(kAllGroups), 1);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), 0u);
  EXPECT_EQ(hit_reset(in1), 0);
}

TEST_F(HitRegions, LinkFieldsMirrorTheEngineLists) {
  const ScriptAddr a = add(0, {}), b = add(0, {}), c = add(0, {});
  const ScriptAddr head0 = region(a).previous;
  EXPECT_EQ(region(head0).next, a);
  EXPECT_EQ(region(a).next, b);
  EXPECT_EQ(region(b).previous, a);
  EXPECT_EQ(region(c).next, 0u);

  const ScriptAddr s = new_sprite(0, 0);
  const ScriptAddr d = add(5, {}, 1, s), e = add(5, {}, 1, s);
  EXPECT_EQ(region(d).group, 5u);
  EXPECT_EQ(region(d).sprite, s);
  EXPECT_EQ(sprite(s).hit_regions, e);  // newest first
  EXPECT_EQ(region(e).next_of_sprite, d);
  EXPECT_EQ(region(d).next_of_sprite, 0u);
  EXPECT_EQ(region(d).next, e);
  EXPECT_NE(region(d).previous, head0);

  hit_reset(b);
  EXPECT_EQ(region(a).next, c);
  EXPECT_EQ(region(c).previous, a);
  hit_reset(a);
  EXPECT_EQ(region(head0).next, c);
  EXPECT_EQ(region(c).previous, head0);
  hit_reset(e);
  EXPECT_EQ(sprite(s).hit_regions, d);
  EXPECT_EQ(region(region(d).previous).next, d);
  hit_reset(d);
  EXPECT_EQ(sprite(s).hit_regions, 0u);
}

TEST_F(HitRegions, ScribbledLinkFieldsChangeNothing) {
  const ScriptAddr s = new_sprite(0, 0);
  const ScriptAddr a = add(0, {0, 0, 10, 10}), b = add(1, {0, 0, 10, 10}, kAllGroups, s);
  const ScriptAddr c = add(1, {0, 0, 10, 10}, kAllGroups, s), d = add(2, {20, 0, 30, 10});
  const ScriptAddr head0 = region(a).previous;
  // Loops, addresses outside the pool, other groups.
  for (ScriptAddr r : {a, b, c, d, head0}) {
    region(r).previous = r;
    region(r).next = r;
    region(r).next_of_sprite = 0xFFFFFFF0;
    region(r).sprite = s + 1;
    region(r).group = 99;
  }
  sprite(s).hit_regions = head0 + 3;

  EXPECT_EQ(hit_point(5, 5, 1u << 1), b);
  EXPECT_EQ(hit_point(25, 5, 1u << 2), d);
  EXPECT_EQ(hit_check(a), b);
  sprite(s).state = kSpriteHidden;
  EXPECT_EQ(hit_point(5, 5, 1u << 1), 0u);
  sprite(s).state = kSpriteVisible;

  ASSERT_EQ(hit_reset(b), 1);
  EXPECT_EQ(hit_point(5, 5, 1u << 1), c);
  EXPECT_EQ(sprite(s).hit_regions, c);  // rewritten from the engine's list
  hit_detach_sprite(s);
  EXPECT_EQ(hit_point(5, 5, 1u << 1), 0u);
  EXPECT_EQ(sprite(s).hit_regions, 0u);
  EXPECT_EQ(hit_point(5, 5, kAllGroups), a);

  EXPECT_EQ(hit_init(kAllGroups), 1);
  for (ScriptAddr r : {a, b, c, d, head0}) EXPECT_TRUE(all_zero(r)) << r;
  EXPECT_EQ(add(0, {}), a);
}

TEST_F(HitRegions, AttachedRegionsFollowTheSprite) {
  const ScriptAddr s = new_sprite(100, 50);
  sprite(s).hot_x = 4;
  sprite(s).hot_y = 2;
  const ScriptAddr r = add(0, {0, 0, 8, 8}, 1, s);
  // Page rectangle (96, 48, 104, 56).
  EXPECT_EQ(hit_point(96, 48, 1), r);
  EXPECT_EQ(hit_point(103, 55, 1), r);
  EXPECT_EQ(hit_point(104, 50, 1), 0u);
  EXPECT_EQ(hit_point(0, 0, 1), 0u);

  sprite(s).x = 1600;  // (100, 50) in 1/16ths of a pixel
  sprite(s).y = 800;
  sprite(s).shift = 4;
  EXPECT_EQ(hit_point(96, 48, 1), r);
  sprite(s).x = 1616;
  EXPECT_EQ(hit_point(96, 48, 1), 0u);
  EXPECT_EQ(hit_point(97, 48, 1), r);

  // Without a rectangle: the size of the sprite's source rectangle.
  const Rect source{2, 3, 18, 11};
  const ScriptAddr t = sp_set(0, kSpriteVisible, 0, 0, 0, &source, nullptr);
  const ScriptAddr whole = hit_set(1, 1, t, nullptr, 0);
  EXPECT_EQ(region(whole).rect, (Rect{0, 0, 16, 8}));
  EXPECT_EQ(hit_point(15, 7, 1u << 1), whole);
  EXPECT_EQ(hit_point(16, 7, 1u << 1), 0u);
}

TEST_F(HitRegions, RegionsOfHiddenSpritesTakeNoPart) {
  const ScriptAddr s = new_sprite(0, 0, kSpriteHidden);
  const ScriptAddr on = add(0, {0, 0, 10, 10}, kAllGroups, s), free_standing = add(1, {0, 0, 10, 10});
  const Rect probe{5, 5, 6, 6};
  EXPECT_EQ(hit_point(5, 5, 1), 0u);
  EXPECT_EQ(hit_rect(&probe, 1), 0u);
  EXPECT_EQ(hit_check(free_standing), 0u);
  EXPECT_EQ(hit_check(on), 0u);  // nor does it find others
  sprite(s).state = kSpriteVisible;
  EXPECT_EQ(hit_point(5, 5, 1), on);
  EXPECT_EQ(hit_rect(&probe, 1), on);
  EXPECT_EQ(hit_check(free_standing), on);
  EXPECT_EQ(hit_check(on), free_standing);
  sprite(s).state = 3;  // only 2 is visible
  EXPECT_EQ(hit_point(5, 5, 1), 0u);
}

TEST_F(HitRegions, ChildRegionsMoveWithTheirAncestors) {
  const ScriptAddr parent = new_sprite(100, 100), child = new_sprite(10, 5), grandchild = new_sprite(1, 1);
  ASSERT_EQ(sp_link(parent, child), 1);
  ASSERT_EQ(sp_link(child, grandchild), 1);
  const ScriptAddr r = add(0, {0, 0, 4, 4}, 1, child), g = add(1, {0, 0, 4, 4}, 1, grandchild);
  EXPECT_EQ(hit_point(110, 105, 1), r);
  EXPECT_EQ(hit_point(111, 106, 1u << 1), g);

  sprite(parent).x = 200;
  sprite(parent).hot_y = 20;
  EXPECT_EQ(hit_point(110, 105, 1), 0u);
  EXPECT_EQ(hit_point(210, 85, 1), r);
  EXPECT_EQ(hit_point(211, 86, 1u << 1), g);
  // Only the attached sprite's own state counts.
  sprite(parent).state = kSpriteHidden;
  EXPECT_EQ(hit_point(210, 85, 1), r);

  // Scribbled parent fields change nothing: the engine keeps the parents.
  sprite(child).parent = child;
  sprite(grandchild).parent = 0;
  EXPECT_EQ(hit_point(211, 86, 1u << 1), g);
  ASSERT_EQ(sp_unlink(child), 1);
  EXPECT_EQ(hit_point(10, 5, 1), r);
  EXPECT_EQ(hit_point(11, 6, 1u << 1), g);
}

TEST_F(HitRegions, WildPositionsSaturate) {
  const ScriptAddr s = new_sprite(INT32_MAX, 0);
  sprite(s).hot_x = -1;  // moves by 2^31
  const ScriptAddr r = add(0, {INT32_MIN, 0, INT32_MAX, 1}, 1, s);
  EXPECT_EQ(hit_point(-1, 0, 1), 0u);
  EXPECT_EQ(hit_point(0, 0, 1), r);
  EXPECT_EQ(hit_point(INT32_MAX - 1, 0, 1), r);

  // Shifts beyond 31 count as 31.
  sprite(s).hot_x = 0;
  sprite(s).x = INT32_MIN;
  sprite(s).shift = 200;
  region(r).rect = {0, 0, 1, 1};
  EXPECT_EQ(hit_point(-1, 0, 1), r);
  sprite(s).x = INT32_MAX;
  sprite(s).shift = 255;
  EXPECT_EQ(hit_point(0, 0, 1), r);

  // A chain of 64 sprites, each one pixel further than its parent.
  ScriptAddr parent = new_sprite(0, 0);
  const ScriptAddr root = parent;
  for (int i = 0; i < 63; ++i) {
    const ScriptAddr next = new_sprite(1, 0);
    ASSERT_EQ(sp_link(parent, next), 1);
    parent = next;
  }
  const ScriptAddr deep = add(1, {0, 0, 1, 1}, 1, parent);
  EXPECT_EQ(hit_point(63, 0, 1u << 1), deep);
  sprite(root).x = INT32_MAX;
  sprite(root).hot_x = INT32_MIN;
  EXPECT_EQ(hit_point(63, 0, 1u << 1), 0u);
  EXPECT_EQ(hit_point(INT32_MAX, 0, 1u << 1), 0u);  // saturated to an empty rectangle
}

TEST_F(HitRegions, SpriteResetRemovesItsRegions) {
  const ScriptAddr s = new_sprite(0, 0), t = new_sprite(0, 0);
  const ScriptAddr a = add(0, {0, 0, 10, 10}, 1, s), b = add(1, {0, 0, 10, 10}, 1, s);
  const ScriptAddr c = add(0, {0, 0, 10, 10}, 1, t);
  hit_detach_sprite(s);
  EXPECT_EQ(sprite(s).hit_regions, 0u);
  EXPECT_TRUE(all_zero(a));
  EXPECT_TRUE(all_zero(b));
  EXPECT_EQ(hit_point(0, 0, kAllGroups), c);
  hit_detach_sprite(0);
  hit_detach_sprite(sprite_spare());
  EXPECT_EQ(hit_point(0, 0, kAllGroups), c);

  const ScriptAddr d = add(2, {0, 0, 10, 10}, 1, t);
  ASSERT_EQ(sp_reset(t), 1);
  EXPECT_EQ(hit_reset(c), 0);
  EXPECT_EQ(hit_reset(d), 0);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), 0u);

  add(0, {0, 0, 10, 10}, 1, s);
  sp_init(kAllGroups);
  EXPECT_EQ(hit_point(0, 0, kAllGroups), 0u);
}

}  // namespace
}  // namespace zelt::gfx
