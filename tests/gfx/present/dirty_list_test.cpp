// The dirty-rectangle list: its overflow rule and the copy through it,
// against a per-pixel model of which pixels the entries cover.
#include "gfx/present/dirty_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gfx/plane_fixture.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kFront = 1, kBack = 2;

class DirtyList : public PlaneFixture {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    dirty_clear();
  }
  void TearDown() override {
    dirty_clear();
    PlaneFixture::TearDown();
  }

  // Every byte of the plane's pixels set to a value of its position, so
  // that a moved pixel shows.
  static void number(Plane& p, uint8_t salt) {
    const std::span<uint8_t> bytes = plane_pixels(p);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + salt);
  }
  static std::vector<uint8_t> bytes_of(const Plane& p) {
    const std::span<uint8_t> b = plane_pixels(p);
    return {b.begin(), b.end()};
  }
  static uint32_t pixel(const Plane& p, int32_t x, int32_t y) {
    uint32_t v = 0;
    std::memcpy(&v, plane_pixel_address(&p, x, y), static_cast<size_t>(p.bit_count / 8));
    return v;
  }
};

TEST_F(DirtyList, OverflowCollapsesIntoTheUnion) {
  for (int32_t i = 0; i < kDirtyCapacity; ++i) {
    const Rect r{i, 0, i + 1, 1};
    EXPECT_EQ(drt_set(&r), 1) << i;
  }
  EXPECT_EQ(dirty_entries().size(), size_t{kDirtyCapacity});
  const Rect last{-5, 3, 2, 9};
  EXPECT_EQ(drt_set(&last), 0);
  ASSERT_EQ(dirty_entries().size(), 1u);
  EXPECT_EQ(dirty_entries()[0], (Rect{-5, 0, kDirtyCapacity, 9}));
  EXPECT_EQ(drt_set(nullptr), 0);
  EXPECT_EQ(drt_init(), 1);
  EXPECT_TRUE(dirty_entries().empty());
}

TEST_F(DirtyList, UnionIgnoresEmptyRectangles) {
  EXPECT_EQ(rect_union(Rect{5, 5, 5, 9}, Rect{1, 2, 3, 4}), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(rect_union(Rect{1, 2, 3, 4}, Rect{9, 9, 0, 0}), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(rect_union(Rect{5, 5, 5, 9}, Rect{9, 9, 0, 0}), Rect{});
}

// Random entries, clip rectangles and offsets: exactly the pixels of the
// target area inside some entry come from their source pixel; nothing
// else changes, and the list ends empty.
TEST_F(DirtyList, CopiesExactlyTheCoveredPixels) {
  std::mt19937 random(7);
  auto between = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t bits = std::array{8, 16, 24, 32}[round % 4];
    Plane& front = make(kFront, between(1, 40), between(1, 30), bits);
    Plane& back = make(kBack, between(1, 40), between(1, 30), bits);
    number(front, 1);
    number(back, 2);
    front.clip = {between(-3, 10), between(-3, 10), between(5, 45), between(5, 35)};
    const int32_t x = between(-10, 30), y = between(-10, 20);
    std::optional<Rect> from;
    if (round % 3 != 0) from = Rect{between(-10, 20), between(-10, 20), between(0, 50), between(0, 40)};
    const int count = between(1, 12);
    std::vector<Rect> entries;
    for (int i = 0; i < count; ++i) {
      const int32_t l = between(-5, 40), t = between(-5, 30);
      entries.push_back({l, t, l + between(-2, 20), t + between(-2, 20)});
      dirty_add(entries.back());
    }
    const std::vector<uint8_t> before = bytes_of(front);
    const int32_t result = drt_copy(kFront, x, y, kBack, from ? &*from : nullptr);

    // The model: where each target pixel comes from.
    const Rect s = from.value_or(Rect{0, 0, back.width, back.height});
    const Rect planes_clip = rect_intersection(front.clip, Rect{0, 0, front.width, front.height});
    bool any = false;
    std::vector<uint8_t> expected = before;
    const int32_t bpp = bits / 8;
    for (int32_t ty = 0; ty < front.height; ++ty) {
      for (int32_t tx = 0; tx < front.width; ++tx) {
        const int64_t sx = int64_t{tx} - x + s.left, sy = int64_t{ty} - y + s.top;
        const bool in_area = tx >= planes_clip.left && tx < planes_clip.right && ty >= planes_clip.top &&
                             ty < planes_clip.bottom && sx >= s.left && sx < s.right && sy >= s.top &&
                             sy < s.bottom && sx >= 0 && sx < back.width && sy >= 0 && sy < back.height;
        if (!in_area) continue;
        any = true;
        bool covered = false;
        for (const Rect& r : entries) covered |= tx >= r.left && tx < r.right && ty >= r.top && ty < r.bottom;
        if (!covered) continue;
        const size_t to = static_cast<size_t>(front.height - 1 - ty) * front.pitch + static_cast<size_t>(tx) * bpp;
        std::memcpy(expected.data() + to, plane_pixel_address(&back, static_cast<int32_t>(sx), static_cast<int32_t>(sy)),
                    static_cast<size_t>(bpp));
      }
    }
    // An empty area fails and keeps the list; otherwise the copy empties it.
    EXPECT_EQ(result, any ? 1 : 0);
    EXPECT_EQ(dirty_entries().empty(), any);
    EXPECT_EQ(bytes_of(front), expected);
    dirty_clear();
    ASSERT_EQ(gfree(kFront) + gfree(kBack), 2);
  }
}

TEST_F(DirtyList, EmptyListMissingPlanesAndEmptyAreas) {
  Plane& front = make(kFront, 8, 8, 24);
  make(kBack, 8, 8, 24);
  const std::vector<uint8_t> before = bytes_of(front);
  EXPECT_EQ(drt_copy(kFront, 0, 0, 9, nullptr), 1) << "an empty list is done at once";
  dirty_add({0, 0, 4, 4});
  EXPECT_EQ(drt_copy(kFront, 0, 0, 9, nullptr), 0);
  EXPECT_EQ(drt_copy(9, 0, 0, kBack, nullptr), 0);
  EXPECT_EQ(drt_copy(kFront, 8, 0, kBack, nullptr), 0) << "the area misses the clip";
  const Rect outside{20, 20, 30, 30};
  EXPECT_EQ(drt_copy(kFront, 0, 0, kBack, &outside), 0) << "the source area misses the source";
  const Rect reversed{4, 4, 0, 0};
  EXPECT_EQ(drt_copy(kFront, 0, 0, kBack, &reversed), 0);
  EXPECT_EQ(dirty_entries().size(), 1u) << "failures keep the list";
  EXPECT_EQ(bytes_of(front), before);
}

TEST_F(DirtyList, AnEntryCoveringTheAreaCopiesItWhole) {
  Plane& front = make(kFront, 6, 5, 32);
  Plane& back = make(kBack, 6, 5, 32);
  number(back, 3);
  dirty_add({2, 2, 3, 3});
  dirty_add({-100, -100, 100, 100});
  EXPECT_EQ(drt_copy(kFront, 0, 0, kBack, nullptr), 1);
  EXPECT_EQ(bytes_of(front), bytes_of(back));
  EXPECT_TRUE(dirty_entries().empty());
}

// Format pairs: one bit count copies pixels as they are; 8-bit into 24 and
// 32 bits goes through the source's colour table, the fourth byte kept;
// other pairs copy nothing (the whole-area path too) and empty the list.
TEST_F(DirtyList, FormatPairs) {
  struct Case {
    int32_t source_bits, destination_bits;
    uint32_t source_pixel, destination_pixel, expected;
  };
  const Case cases[] = {
      {8, 24, 3, 0x000000, 0x332211},      {8, 32, 3, 0xAB000000, 0xAB332211}, {8, 16, 3, 0x1234, 0x1234},
      {16, 16, 0x8421, 0, 0x8421},         {24, 32, 0x123456, 0xFF000000, 0xFF000000},
      {32, 24, 0x11223344, 0, 0},
  };
  for (const bool whole : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.source_bits) + " -> " + std::to_string(c.destination_bits) +
                   (whole ? ", whole area" : ", spans"));
      Plane& back = make(kBack, 2, 1, c.source_bits);
      Plane& front = make(kFront, 2, 1, c.destination_bits);
      if (c.source_bits == 8) plane_colour_table(back)[3] = 0x332211;
      for (int32_t x = 0; x < 2; ++x) {
        std::memcpy(plane_pixel_address(&back, x, 0), &c.source_pixel, static_cast<size_t>(c.source_bits / 8));
        std::memcpy(plane_pixel_address(&front, x, 0), &c.destination_pixel,
                    static_cast<size_t>(c.destination_bits / 8));
      }
      dirty_add(whole ? Rect{0, 0, 2, 1} : Rect{0, 0, 1, 1});
      EXPECT_EQ(drt_copy(kFront, 0, 0, kBack, nullptr), 1);
      EXPECT_TRUE(dirty_entries().empty());
      EXPECT_EQ(pixel(front, 0, 0), c.expected);
      EXPECT_EQ(pixel(front, 1, 0), whole ? c.expected : c.destination_pixel);
    }
  }
}

// Planes of 1 and 4 bits copy their packed pixels, each in its place.
TEST_F(DirtyList, PackedPixels) {
  for (const int32_t bits : {1, 4}) {
    SCOPED_TRACE(bits);
    Plane& front = make(kFront, 13, 3, bits);
    Plane& back = make(kBack, 13, 3, bits);
    number(back, 5);
    const std::vector<uint8_t> before = bytes_of(front);
    dirty_add({3, 1, 10, 2});
    ASSERT_EQ(drt_copy(kFront, 0, 0, kBack, nullptr), 1);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        const bool dirty = y == 1 && x >= 3 && x < 10;
        EXPECT_EQ(getpixel(kFront, x, y), dirty ? getpixel(kBack, x, y) : 0) << x << ", " << y;
      }
    EXPECT_EQ(gfree(kFront) + gfree(kBack), 2);
  }
}

TEST_F(DirtyList, OriginIsStoredOnly) {
  EXPECT_EQ(setorg(-3, 7), 1);
  int32_t x = 0, y = 0;
  screen_origin(&x, &y);
  EXPECT_EQ(x, -3);
  EXPECT_EQ(y, 7);
}

}  // namespace
}  // namespace zelt::gfx
