// The sprite compositor on small pages: records, the changed areas of
// drawing, moving, hiding and removing, partial redraws of uncovered
// sprites, parent chains, transformed drawing, ordering and the background.
#include "gfx/sprites/sprites.h"

#include <gtest/gtest.h>

#include "gfx/sprites/sprite_fixture.h"

namespace zelt::gfx {
namespace {

using Page = std::vector<std::string>;
constexpr uint32_t kAB = 3, kCD = 4;

class Sprites : public SpriteFixture {
 protected:
  void SetUp() override {
    SpriteFixture::SetUp();
    letters(kAB, {"AB", "ab"});
    letters(kCD, {"CCC", "CDC", "CCC"});
  }
};

TEST_F(Sprites, NewRecordsCarryTheirFieldsAndListLinks) {
  const Rect source{1, 0, 2, 2};
  const BlitMode mode{7, 1, 128, 3, 0x11, 0x22};
  const ScriptAddr a = sp_set(5, 2, 3, 4, kAB, nullptr, nullptr);
  const ScriptAddr b = sp_set(5, 1, -7, 9, kCD, &source, &mode);
  ASSERT_NE(a, sprite_spare());
  ASSERT_NE(b, sprite_spare());
  EXPECT_EQ(b - a, 144u) << "the lowest free record comes first";
  const SpriteRecord& ra = rec(a);
  EXPECT_EQ(ra.state, 2);
  EXPECT_EQ(ra.layer, 5);
  EXPECT_EQ(ra.flags, kSpriteRedrawAlways);
  EXPECT_EQ(ra.x, 3);
  EXPECT_EQ(ra.y, 4);
  EXPECT_EQ(ra.plane, kAB);
  EXPECT_EQ(ra.scale_x, 0x10000);
  EXPECT_EQ(ra.scale_y, 0x10000);
  EXPECT_EQ(ra.source, (Rect{0, 0, 2, 2}));
  EXPECT_EQ(ra.mode.mode, 0);
  EXPECT_EQ(ra.next, b);
  const SpriteRecord& rb = rec(b);
  EXPECT_EQ(rb.state, 1);
  EXPECT_EQ(rb.source, source);
  EXPECT_EQ(std::memcmp(&rb.mode, &mode, sizeof mode), 0);
  EXPECT_EQ(rb.previous, a);
  EXPECT_EQ(rb.next, 0u);
  EXPECT_EQ(u32_at(ra.previous + 128), a) << "the layer head's next starts the list";
  EXPECT_EQ(sp_count(), 2);

  EXPECT_EQ(sp_flag(0), kSpriteRedrawAlways);
  config().Smoothing = 1;
  EXPECT_EQ(rec(sp_set(0, 2, 0, 0, kAB, nullptr, nullptr)).flags, kSpriteSmooth);
}

TEST_F(Sprites, RefusedRequestsGetTheSpareRecord) {
  const Rect source{0, 0, 1, 1};
  const ScriptAddr spare = sprite_spare();
  EXPECT_EQ(sp_set(32, 2, 0, 0, kAB, nullptr, nullptr), spare);
  EXPECT_EQ(sp_set(0, 2, 0, 0, 1024, &source, nullptr), spare);
  EXPECT_EQ(sp_set(0, 2, 0, 0, 9, nullptr, nullptr), spare) << "empty slot, no rectangle";
  EXPECT_NE(sp_set(0, 2, 0, 0, 9, &source, nullptr), spare) << "empty slot with a rectangle";
  rec(spare).x = 1234;  // harmless
  while (sp_count() < static_cast<int32_t>(kSpriteRecords)) ASSERT_NE(sp_set(1, 1, 0, 0, kAB, nullptr, nullptr), spare);
  EXPECT_EQ(sp_set(1, 1, 0, 0, kAB, nullptr, nullptr), spare);
  EXPECT_EQ(sp_draw(UINT32_MAX, nullptr), 1);
}

TEST_F(Sprites, DrawMoveHideAndRemoveReportTheChangedArea) {
  const ScriptAddr s = sp_set(0, 2, 3, 2, kAB, nullptr, nullptr);
  EXPECT_EQ(draw(), (Rect{3, 2, 5, 4}));
  EXPECT_EQ(page(1, 5), (Page{"................", "...AB...........", "...ab...........", "................"}));
  EXPECT_EQ(rec(s).flags, kSpriteRedrawAlways | kSpriteDrawn);
  EXPECT_EQ(rec(s).bounds, (Rect{3, 2, 5, 4}));

  rec(s).x = 6;
  EXPECT_EQ(draw(), (Rect{3, 2, 8, 4}));
  EXPECT_EQ(page(2, 4), (Page{"......AB........", "......ab........"}));

  rec(s).state = 1;
  EXPECT_EQ(draw(), (Rect{6, 2, 8, 4}));
  EXPECT_EQ(page(2, 4), (Page{"................", "................"}));
  EXPECT_EQ(rec(s).flags, kSpriteRedrawAlways);
  EXPECT_EQ(draw(), (Rect{}));

  rec(s).state = 2;
  draw();
  EXPECT_EQ(sp_reset(s), 1);
  EXPECT_EQ(sp_count(), 1) << "freed by the next sp_draw";
  EXPECT_EQ(draw(), (Rect{6, 2, 8, 4}));
  EXPECT_EQ(page(2, 4), (Page{"................", "................"}));
  EXPECT_EQ(sp_count(), 0);
  EXPECT_EQ(rec(s).state, 0);
}

TEST_F(Sprites, FlagZeroSpritesDrawOnceAndThenOnlyWhereUncovered) {
  sp_flag(0);
  const ScriptAddr still = sp_set(1, 2, 4, 4, kCD, nullptr, nullptr);
  sp_flag(kSpriteRedrawAlways);
  const ScriptAddr mover = sp_set(0, 2, 2, 5, kAB, nullptr, nullptr);  // under the still one
  draw();
  EXPECT_EQ(page(4, 7), (Page{"....CCC.........", "..ABCDC.........", "..abCCC........."}));
  EXPECT_EQ(rec(still).flags, kSpriteDrawn);

  // The still sprite's pixels change behind the compositor's back: only the
  // pieces that the mover uncovers or covers are drawn again.
  fill(*plane_get(kCD), 'X');
  rec(mover).x = 5;
  EXPECT_EQ(draw(), (Rect{2, 5, 7, 7}));
  EXPECT_EQ(page(4, 7), (Page{"....CCC.........", "....CXX.........", "....CXX........."}));
  EXPECT_EQ(rec(still).flags, kSpriteDrawn) << "bits 0 and 14 cleared after the partial redraw";

  fill(*plane_get(kCD), 'Y');
  rec(mover).x = 12;
  draw();
  EXPECT_EQ(page(4, 7), (Page{"....CCC.........", "....CYY.....AB..", "....CYY.....ab.."}));

  rec(still).flags |= kSpriteRedraw;
  draw();
  EXPECT_EQ(page(4, 7), (Page{"....YYY.........", "....YYY.....AB..", "....YYY.....ab.."}));
  EXPECT_EQ(rec(still).flags, kSpriteDrawn);
}

// So many changes in one draw that the dirty list collapses into one
// rectangle: what that rectangle restores is drawn again, also sprites that
// no change touched.
TEST_F(Sprites, ACollapsedDirtyListRedrawsEverythingItRestores) {
  sp_flag(0);
  const ScriptAddr still = sp_set(0, 2, 7, 7, kAB, nullptr, nullptr);
  sp_flag(kSpriteRedrawAlways);
  draw();
  const Rect dot{0, 0, 1, 1};
  for (int32_t k = 0; k < kDirtyCapacity + 8; ++k) sp_set(1, 2, k % 2 * 15, k % 2 * 15, kAB, &dot, nullptr);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide}));
  EXPECT_EQ(page(7, 9), (Page{".......AB.......", ".......ab......."}));
  EXPECT_EQ(rec(still).flags, kSpriteDrawn);
}

TEST_F(Sprites, OverlapPiecesNeverDrawAPixelTwice) {
  // Mode 13 adds the source to the destination, so a pixel drawn twice shows.
  Plane& one = make(5, 6, 6, 32);
  fill(one, 0x00010101);
  sp_flag(0);
  const BlitMode add{13, 0, 255};
  const ScriptAddr adder = sp_set(1, 2, 5, 5, 5, nullptr, &add);
  sp_flag(kSpriteRedrawAlways);
  const ScriptAddr a = sp_set(0, 2, 4, 4, kCD, nullptr, nullptr);
  const ScriptAddr b = sp_set(0, 2, 6, 6, kCD, nullptr, nullptr);
  draw();
  rec(a).state = 1;
  rec(b).state = 1;
  draw();
  for (int32_t y = 5; y < 11; ++y)
    for (int32_t x = 5; x < 11; ++x) EXPECT_EQ(get(*plane_get(kPage), x, y), kBackgroundColour + 0x010101) << x << "," << y;
  EXPECT_EQ(rec(adder).flags, kSpriteDrawn);
}

// World transforms: placed and bounding rectangles of a child under a
// scaled and turned parent.
struct ChainCase {
  const char* name;
  int32_t parent_scale, parent_angle, child_x, child_y, child_scale, child_angle;
  int32_t world_scale, world_angle;
  Rect placed, bounds;
};

TEST_F(Sprites, ChildrenFollowTheWorldTransformOfTheirChain) {
  const ChainCase cases[] = {
      {"plain", 0x10000, 0, 4, 2, 0x10000, 0, 0x10000, 0, {8, 4, 10, 6}, {8, 4, 10, 6}},
      {"parent twice as big", 0x20000, 0, 4, 2, 0x10000, 0, 0x20000, 0, {12, 6, 16, 10}, {12, 6, 16, 10}},
      {"half inside double", 0x20000, 0, 4, 2, 0x8000, 0, 0x10000, 0, {12, 6, 14, 8}, {12, 6, 14, 8}},
      {"parent turned", 0x10000, 512, 4, 0, 0x10000, 0, 0x10000, 512, {4, -4, 6, -2}, {4, -4, 6, -2}},
      {"angles add", 0x10000, 256, 0, 0, 0x10000, 256, 0x10000, 512, {4, 0, 6, 2}, {4, 0, 6, 2}},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.name);
    sp_init(UINT32_MAX);
    const ScriptAddr parent = sp_set(0, 2, 4, 2, kAB, nullptr, nullptr);
    const ScriptAddr child = sp_set(0, 2, c.child_x, c.child_y, kAB, nullptr, nullptr);
    rec(parent).scale_x = rec(parent).scale_y = c.parent_scale;
    rec(parent).angle = static_cast<uint16_t>(c.parent_angle);
    rec(child).scale_x = rec(child).scale_y = c.child_scale;
    rec(child).angle = static_cast<uint16_t>(c.child_angle);
    ASSERT_EQ(sp_link(parent, child), 1);
    Rect placed;
    ASSERT_EQ(sp_rect(child, &placed), 1);
    EXPECT_EQ(placed, c.placed);
    EXPECT_EQ(rec(child).placed, Rect{}) << "sp_rect leaves the computed fields to the compositor";
    draw();
    EXPECT_EQ(rec(child).placed, c.placed);
    EXPECT_EQ(rec(child).world_scale_x, c.world_scale);
    EXPECT_EQ(rec(child).world_angle, c.world_angle);
    EXPECT_EQ(rec(parent).world_scale_x, c.parent_scale);
    EXPECT_EQ(rec(child).bounds, c.bounds);
  }
}

TEST_F(Sprites, DoubleSizeQuarterTurnAboutTheHotSpot) {
  letters(6, {"AB"});
  const ScriptAddr s = sp_set(0, 2, 4, 8, 6, nullptr, nullptr);
  rec(s).scale_x = rec(s).scale_y = 0x20000;
  rec(s).angle = 512;
  draw();
  EXPECT_EQ(rec(s).placed, (Rect{3, 5, 7, 7}));
  EXPECT_EQ(rec(s).bounds, (Rect{4, 4, 6, 8}));
  EXPECT_EQ(page(3, 9), (Page{"................", "....BB..........", "....BB..........", "....AA..........",
                              "....AA..........", "................"}));
}

struct TransformCase {
  const char* name;
  uint8_t mirror_x, mirror_y;
  int32_t scale;
  Page expected;
};

TEST_F(Sprites, TransformedDrawing) {
  const TransformCase cases[] = {
      {"mirrored x", 1, 0, 0x10000, {"BA..", "ba.."}},
      {"mirrored y", 0, 1, 0x10000, {"ab..", "AB.."}},
      {"both", 1, 1, 0x10000, {"ba..", "BA.."}},
      {"scaled", 0, 0, 0x20000, {"AABB", "AABB", "aabb", "aabb"}},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    sp_init(UINT32_MAX);
    sp_setbg(kBackground);
    draw();
    const ScriptAddr s = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
    rec(s).mirror_x = c.mirror_x;
    rec(s).mirror_y = c.mirror_y;
    rec(s).scale_x = rec(s).scale_y = c.scale;
    draw();
    Page shown;
    for (const std::string& row : page(0, static_cast<int32_t>(c.expected.size()))) shown.push_back(row.substr(0, 4));
    EXPECT_EQ(shown, c.expected);
  }
}

TEST_F(Sprites, SmoothFlagFiltersScaledSprites) {
  Plane& two = make(6, 2, 1, 32);
  set(two, 0, 0, 0x00000000);
  set(two, 1, 0, 0x00FF00FF);
  const ScriptAddr s = sp_set(0, 2, 0, 0, 6, nullptr, nullptr);
  rec(s).scale_x = 0x40000;
  draw();
  const Plane& p = *plane_get(kPage);
  EXPECT_EQ(get(p, 2, 0), 0u) << "nearest pixel without the flag";
  rec(s).flags |= kSpriteSmooth;
  draw();
  const uint32_t mixed = get(p, 3, 0);
  EXPECT_NE(mixed & 0xFF, 0u);
  EXPECT_NE(mixed & 0xFF, 0xFFu);
}

TEST_F(Sprites, LinkRefusesCyclesAndKeepsChildArrays) {
  const ScriptAddr a = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  const ScriptAddr b = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  const ScriptAddr c = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  EXPECT_EQ(sp_link(a, b), 1);
  EXPECT_EQ(sp_link(b, c), 1);
  EXPECT_EQ(sp_link(c, a), 0);
  EXPECT_EQ(sp_link(b, a), 0);
  EXPECT_EQ(sp_link(a, a), 0);
  EXPECT_EQ(shown(), std::vector<std::string>(3, "LinkSprite : 循環参照してます。"));
  EXPECT_EQ(rec(b).parent, a);
  EXPECT_EQ(rec(a).child_count, 1u);
  EXPECT_EQ(u32_at(rec(a).children), b);
  EXPECT_EQ(u32_at(rec(a).children - 4), 8u);

  // A child in the parent's layer moves to just after it.
  const ScriptAddr d = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  EXPECT_EQ(rec(a).next, b);
  EXPECT_EQ(sp_link(a, d), 1);
  EXPECT_EQ(rec(a).next, d);
  EXPECT_EQ(rec(d).next, b);
  EXPECT_EQ(rec(c).next, 0u);

  // Nine children grow the array to 16; unlinking moves the rest down.
  std::vector<ScriptAddr> kids;
  for (int i = 0; i < 9; ++i) {
    kids.push_back(sp_set(1, 2, 0, 0, kAB, nullptr, nullptr));
    ASSERT_EQ(sp_link(c, kids.back()), 1);
  }
  EXPECT_EQ(rec(c).child_count, 9u);
  EXPECT_EQ(u32_at(rec(c).children - 4), 16u);
  EXPECT_EQ(sp_unlink(kids[0]), 1);
  EXPECT_EQ(rec(kids[0]).parent, 0u);
  EXPECT_EQ(rec(c).child_count, 8u);
  EXPECT_EQ(u32_at(rec(c).children), kids[1]);

  // Relinking moves a child to its new parent's array.
  EXPECT_EQ(sp_link(a, kids[1]), 1);
  EXPECT_EQ(rec(c).child_count, 7u);
  EXPECT_EQ(rec(a).child_count, 3u);
}

// A script may ask for the deletion itself through the flag: the sprite is
// erased like a reset one and its place reported.
TEST_F(Sprites, TheDeleteFlagSetByAScriptErasesTheSprite) {
  const ScriptAddr s = sp_set(0, 2, 3, 2, kAB, nullptr, nullptr);
  draw();
  rec(s).flags |= kSpriteDeletePending;
  EXPECT_EQ(draw(), (Rect{3, 2, 5, 4}));
  EXPECT_EQ(page(2, 4), (Page{"................", "................"}));
  EXPECT_EQ(sp_count(), 0);
}

TEST_F(Sprites, ResetOfAParentRemovesItsChildren) {
  const ScriptAddr parent = sp_set(0, 2, 1, 1, kAB, nullptr, nullptr);
  const ScriptAddr child = sp_set(2, 2, 4, 0, kAB, nullptr, nullptr);
  const ScriptAddr grandchild = sp_set(0, 2, 4, 0, kAB, nullptr, nullptr);
  sp_link(parent, child);
  sp_link(child, grandchild);
  draw();
  EXPECT_EQ(page(1, 3), (Page{".AB..AB..AB.....", ".ab..ab..ab....."}));
  EXPECT_EQ(sp_reset(parent), 1);
  EXPECT_EQ(rec(child).flags & kSpriteDeletePending, kSpriteDeletePending);
  EXPECT_EQ(rec(grandchild).state, 1);
  EXPECT_EQ(draw(), (Rect{1, 1, 11, 3}));
  EXPECT_EQ(page(1, 3), (Page{"................", "................"}));
  EXPECT_EQ(sp_count(), 0);
}

TEST_F(Sprites, SortOrdersByPositionAndKeyKeepingTies) {
  const ScriptAddr a = sp_set(0, 2, 0, 9, kAB, nullptr, nullptr);
  const ScriptAddr b = sp_set(0, 2, 0, 3, kAB, nullptr, nullptr);
  const ScriptAddr c = sp_set(0, 2, 0, 9, kAB, nullptr, nullptr);
  const ScriptAddr d = sp_set(0, 2, 0, 1, kAB, nullptr, nullptr);
  rec(d).shift = 1;  // y 0 in pixels
  sp_link(b, c);     // c moves after b; its key is 3 + 9
  const ScriptAddr head = rec(a).previous;
  auto list = [&] {
    std::vector<ScriptAddr> seen;
    for (ScriptAddr s = u32_at(head + 128); s; s = rec(s).next) seen.push_back(s);
    return seen;
  };
  EXPECT_EQ(list(), (std::vector<ScriptAddr>{a, b, c, d}));
  sp_sort(1, 1);
  EXPECT_EQ(list(), (std::vector<ScriptAddr>{d, b, a, c}));
  EXPECT_EQ(rec(d).previous, head);

  rec(a).sort_key = 5;
  rec(b).sort_key = -1;
  rec(c).sort_key = 0;
  rec(d).sort_key = 0;
  sp_sort(1, 2);
  EXPECT_EQ(list(), (std::vector<ScriptAddr>{b, d, c, a})) << "sort key alone; d before c as before";
  sp_sort(1, 3);
  EXPECT_EQ(list(), (std::vector<ScriptAddr>{d, b, a, c}));
  sp_sort(2, 1);  // another layer: nothing moves here
  EXPECT_EQ(list(), (std::vector<ScriptAddr>{d, b, a, c}));
}

TEST_F(Sprites, OriginsAndBackground) {
  const ScriptAddr s = sp_set(3, 2, 5, 5, kAB, nullptr, nullptr);
  sp_org(1u << 3, 2, 1);
  draw();
  EXPECT_EQ(rec(s).bounds, (Rect{3, 4, 5, 6}));
  sp_org(1u << 4, 9, 9);
  rec(s).flags |= kSpriteRedraw;
  draw();
  EXPECT_EQ(rec(s).bounds, (Rect{3, 4, 5, 6}));

  // A new background: its area is restored and shown sprites drawn again whole.
  Plane& other = make(7, kSide, kSide, 32);
  fill(other, 'o');
  sp_flag(0);
  const ScriptAddr still = sp_set(0, 2, 10, 10, kAB, nullptr, nullptr);
  draw();
  EXPECT_EQ(sp_setbg(7), kBackground);
  EXPECT_EQ(sp_getbg(), 7u);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide}));
  EXPECT_EQ(page(10, 12)[0].substr(8, 6), "ooABoo");
  EXPECT_EQ(rec(still).flags, kSpriteDrawn);

  // Moving the background origin scrolls it under every shown sprite.
  for (int32_t x = 0; x < kSide; ++x) set(other, x, 0, static_cast<uint32_t>('0' + x % 10));
  EXPECT_EQ(sp_bgorg(3, 0), 1);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide}));
  EXPECT_EQ(page(0, 1)[0].substr(0, 13), "3456789012345");
  EXPECT_EQ(page(10, 12)[0].substr(8, 6), "ooABoo");

  // No background: nothing is restored, the changed area is the page.
  EXPECT_EQ(sp_setbg(1024), 7u);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide}));
}

// The changed areas of sp_setbg and sp_bgorg add up until the next draw,
// also when the active page changes in between.
TEST_F(Sprites, BackgroundChangesAddUpUntilTheNextDraw) {
  fill(make(5, kSide, kSide + 4, 32), kBackgroundColour);
  fill(make(6, kSide, kSide + 4, 32), 0x00445566);
  sp_setbg(6);
  sp_bgorg(0, -1);
  apage(5);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide + 4}));
  EXPECT_EQ(get(*plane_get(5), 0, kSide + 3), 0x00445566u);
  apage(kPage);
}

// With a background the whole page is restored: all of it is changed, and
// shown sprites of other layers are drawn again too.
TEST_F(Sprites, RedrawMarksEveryShownSprite) {
  sp_flag(0);
  const ScriptAddr s = sp_set(0, 2, 1, 1, kAB, nullptr, nullptr);
  const ScriptAddr hidden = sp_set(1, 1, 5, 5, kAB, nullptr, nullptr);
  sp_set(2, 2, 8, 1, kAB, nullptr, nullptr);
  draw();
  Plane& page_plane = *plane_get(kPage);
  fill(page_plane, 0x00123456);
  EXPECT_EQ(sp_redraw(1), 1);
  EXPECT_EQ(rec(s).flags & kSpriteRedraw, kSpriteRedraw);
  EXPECT_EQ(rec(hidden).flags & kSpriteRedraw, 0);
  EXPECT_EQ(draw(), (Rect{0, 0, kSide, kSide}));
  EXPECT_EQ(page(0, 4), (Page{"................", ".AB.....AB......", ".ab.....ab......", "................"}));
}

TEST_F(Sprites, MaskZeroOnlyFreesAndRestores) {
  const ScriptAddr s = sp_set(4, 2, 1, 1, kAB, nullptr, nullptr);
  draw();
  sp_reset(s);
  const Rect spot{0, 0, 1, 1};
  fill(*plane_get(kPage), 0x00FFFFFF);
  dirty_add(spot);
  EXPECT_EQ(draw(0), (Rect{}));
  EXPECT_EQ(sp_count(), 0);
  EXPECT_EQ(get(*plane_get(kPage), 0, 0), kBackgroundColour);
  EXPECT_EQ(get(*plane_get(kPage), 1, 1), 0x00FFFFFFu) << "an unmasked layer is freed, not erased";
}

TEST_F(Sprites, NoActivePlaneDrawsNothing) {
  planes_reset();
  EXPECT_EQ(sp_draw(UINT32_MAX, nullptr), 0);
}

// Records that scripts scribbled over: the engine keeps its own links and
// clamps what it computes, so drawing goes on without faults or hangs.
TEST_F(Sprites, ScribbledRecordsNeverFaultTheEngine) {
  const ScriptAddr a = sp_set(0, 2, 3, 3, kAB, nullptr, nullptr);
  const ScriptAddr b = sp_set(0, 2, 5, 5, kAB, nullptr, nullptr);
  const ScriptAddr c = sp_set(0, 2, 5, 5, kAB, nullptr, nullptr);
  sp_link(a, b);
  rec(a).next = a;  // a loop
  rec(b).parent = b;
  rec(b).previous = 0xDEADBEEF;
  put_u32_at(rec(a).children - 4, 0x7FFFFFFF);  // a lying capacity word
  rec(a).children = 0x10;
  rec(a).child_count = 1000;
  rec(c).layer = 200;
  rec(c).shift = 200;
  rec(c).plane = 0xFFFFFFFF;
  const int32_t scales[] = {0, -0x10000, 0x7FFFFFFF, INT32_MIN};
  for (const int32_t scale : scales) {
    rec(a).scale_x = scale;
    rec(a).angle = 0x7FFF;
    rec(a).source = {INT32_MIN, 5, INT32_MAX, -5};
    rec(a).x = INT32_MAX;
    rec(a).hot_x = INT32_MIN;  // with the wide source: a product past 64 bits
    rec(b).hot_x = INT32_MIN;
    draw();
  }
  EXPECT_EQ(sp_draw(UINT32_MAX, nullptr), 1);
  EXPECT_EQ(sp_link(a, c), 1);
  EXPECT_EQ(rec(a).child_count, 2u);
  EXPECT_EQ(sp_reset(a), 1);
  draw();
  EXPECT_EQ(sp_count(), 0);
}

TEST_F(Sprites, WildAddressesFail) {
  const ScriptAddr s = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  const ScriptAddr wild[] = {0, 1, 0xFFFFFFFF, s + 4, s + 144 * 4096, sprite_spare()};
  Rect out;
  for (const ScriptAddr w : wild) {
    SCOPED_TRACE(w);
    EXPECT_EQ(sp_reset(w), 0);
    EXPECT_EQ(sp_unlink(w), 0);
    EXPECT_EQ(sp_link(s, w), 0);
    EXPECT_EQ(sp_link(w, s), 0);
    EXPECT_EQ(sp_rect(w, &out), 0);
  }
  EXPECT_EQ(sp_rect(s, nullptr), 0);
  EXPECT_TRUE(shown().empty());
}

TEST_F(Sprites, InitOfLayersRemovesTheirSprites) {
  const ScriptAddr a = sp_set(0, 2, 0, 0, kAB, nullptr, nullptr);
  const ScriptAddr b = sp_set(1, 2, 4, 0, kAB, nullptr, nullptr);
  draw();
  EXPECT_EQ(sp_init(2), 1);
  EXPECT_EQ(rec(b).flags & kSpriteDeletePending, kSpriteDeletePending);
  EXPECT_EQ(rec(a).flags & kSpriteDeletePending, 0);
  draw();
  EXPECT_EQ(page(0, 1)[0].substr(0, 6), "AB....");
  const uint32_t children_before = static_cast<uint32_t>(script_memory().stats().live_blocks);
  sp_link(a, sp_set(0, 2, 0, 0, kAB, nullptr, nullptr));
  EXPECT_EQ(sp_init(UINT32_MAX), 1);
  EXPECT_EQ(script_memory().stats().live_blocks, children_before) << "child arrays freed";
  EXPECT_EQ(sp_count(), 0);
  EXPECT_EQ(page(0, 1)[0].substr(0, 6), "AB....") << "the page is not erased";
}

}  // namespace
}  // namespace zelt::gfx
