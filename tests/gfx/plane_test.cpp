// The plane table, plane records in script memory, pixel formats, pages,
// clip rectangles, plane colour tables and the screen plane of a starting
// script, through the operations the built-ins call.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/plane_fixture.h"

namespace zelt::gfx {
namespace {

using Planes = PlaneFixture;

const std::string kCreatePlane = "CreatePlane : 仮想画面の作成に失敗しました。";
const std::string kViewRange = "SetViewPage : パラメータが範囲外です。";
const std::string kActiveRange = "SetActivePage : パラメータが範囲外です。";

TEST_F(Planes, HeaderPitchAndLayoutForEveryBitCount) {
  struct Case {
    int32_t bits, width, height, pitch;
    uint32_t colours;
  };
  const Case cases[] = {
      {1, 1, 2, 4, 2},   {1, 32, 1, 4, 2},        {1, 33, 1, 8, 2},  {4, 8, 3, 4, 16},  {4, 9, 3, 8, 16},
      {8, 3, 2, 4, 256}, {8, 5, 2, 8, 256},       {16, 2, 2, 4, 0},  {16, 3, 2, 8, 0},  {24, 3, 2, 12, 0},
      {24, 4, 1, 12, 0}, {24, 640, 480, 1920, 0}, {32, 3, 5, 12, 0}, {8, 0, 0, 0, 256}, {32, 0, 7, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bits));
    EXPECT_EQ(plane_pitch(c.width, c.bits), c.pitch);
    const Plane& p = make(7, c.width, c.height, c.bits);
    EXPECT_EQ(p.pitch, c.pitch);
    EXPECT_EQ(plane_width(&p), c.width);
    EXPECT_EQ(plane_height(&p), c.height);
    EXPECT_EQ(plane_bit_count(&p), c.bits);
    EXPECT_EQ(p.clip.left, 0);
    EXPECT_EQ(p.clip.top, 0);
    EXPECT_EQ(p.clip.right, c.width);
    EXPECT_EQ(p.clip.bottom, c.height);

    // The 40-byte header as a bitmap info header.
    EXPECT_EQ(u32_at(p.info + 0), 40u);
    EXPECT_EQ(u32_at(p.info + 4), static_cast<uint32_t>(c.width));
    EXPECT_EQ(u32_at(p.info + 8), static_cast<uint32_t>(c.height));
    EXPECT_EQ(u16_at(p.info + 12), 1u);
    EXPECT_EQ(u16_at(p.info + 14), static_cast<uint32_t>(c.bits));
    EXPECT_EQ(u32_at(p.info + 16), 0u);
    EXPECT_EQ(u32_at(p.info + 20), static_cast<uint32_t>(c.pitch * c.height));
    EXPECT_EQ(u32_at(p.info + 24), 0u);
    EXPECT_EQ(u32_at(p.info + 28), 0u);
    EXPECT_EQ(u32_at(p.info + 32), c.colours);
    EXPECT_EQ(u32_at(p.info + 36), c.colours);

    // The colour table follows the header; the pixels follow the table and
    // end inside the plane's block; new pixels are zero.
    EXPECT_EQ(p.colour_count, c.colours);
    EXPECT_GE(p.bits, p.info + 40 + 4 * c.colours);
    EXPECT_LE(uint64_t{p.bits} + uint64_t(c.pitch) * uint64_t(c.height),
              uint64_t{p.info} + script_memory().block_size(p.info));
    const std::span<uint8_t> pixels = plane_pixels(p);
    EXPECT_EQ(pixels.size(), static_cast<size_t>(c.pitch) * static_cast<size_t>(c.height));
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0; }));
  }
}

TEST_F(Planes, BadSizesAndBitCountsFailWithTheMessage) {
  struct Case {
    int32_t width, height, bits;
  };
  const Case cases[] = {{4, 4, 0},
                        {4, 4, 2},
                        {4, 4, 3},
                        {4, 4, 7},
                        {4, 4, 15},
                        {4, 4, 64},
                        {4, 4, -8},
                        {-1, 4, 8},
                        {4, -1, 8},
                        {kMaxPlaneSide + 1, 1, 8},
                        {1, kMaxPlaneSide + 1, 8},
                        {32767, 32767, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bits));
    shown_messages().clear();
    const uint64_t live = script_memory().stats().live_blocks;
    EXPECT_EQ(plane_create(c.width, c.height, c.bits), nullptr);
    EXPECT_EQ(galloc(3, c.width, c.height, c.bits), 0);
    EXPECT_EQ(plane_get(3), nullptr);
    EXPECT_EQ(shown(), std::vector<std::string>{kCreatePlane});
    EXPECT_EQ(script_memory().stats().live_blocks, live);
  }
  // A colour table of more than 256 entries is refused; 256 is kept.
  EXPECT_EQ(plane_create(2, 2, 24, 257), nullptr);
  Plane* with_table = plane_create(2, 2, 24, 256);
  ASSERT_NE(with_table, nullptr);
  EXPECT_EQ(with_table->colour_count, 256u);
  EXPECT_EQ(u32_at(with_table->info + 32), 256u);
  plane_destroy(with_table);
}

TEST_F(Planes, DefaultColourTables) {
  struct Case {
    int32_t bits;
    uint32_t index, colour;
  };
  const Case cases[] = {
      {1, 0, 0x000000},
      {1, 1, 0xFFFFFF},
      // 3-3-2 cube: red and green levels i * 255 / 7, blue i * 85.
      {8, 0x00, 0x000000},
      {8, 0xFF, 0xFFFFFF},
      {8, 0xE0, 0xFF0000},
      {8, 0x1C, 0x00FF00},
      {8, 0x03, 0x0000FF},
      {8, 0x25, 0x242455},
      {8, 0x4A, 0x4848AA},
      {8, 0xB6, 0xB6B6AA},
      // Bit 3 intensity, bits 2..0 red, green, blue: on is 127 dim, 255 bright.
      {4, 0, 0x000000},
      {4, 1, 0x00007F},
      {4, 2, 0x007F00},
      {4, 4, 0x7F0000},
      {4, 7, 0x7F7F7F},
      {4, 8, 0x000000},
      {4, 9, 0x0000FF},
      {4, 10, 0x00FF00},
      {4, 12, 0xFF0000},
      {4, 13, 0xFF00FF},
      {4, 15, 0xFFFFFF},
  };
  Plane& p1 = make(1, 1, 1, 1);
  Plane& p4 = make(4, 1, 1, 4);
  Plane& p8 = make(8, 1, 1, 8);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + "-bit entry " + std::to_string(c.index));
    const Plane& p = c.bits == 1 ? p1 : c.bits == 4 ? p4 : p8;
    EXPECT_EQ(default_colour(c.bits, c.index), c.colour);
    // Stored as bytes blue, green, red, 0 right after the header.
    const std::span<uint8_t> entry = script_memory().span(p.info + 40 + 4 * c.index, 4);
    EXPECT_EQ(entry[0], c.colour & 0xFF);
    EXPECT_EQ(entry[1], (c.colour >> 8) & 0xFF);
    EXPECT_EQ(entry[2], c.colour >> 16);
    EXPECT_EQ(entry[3], 0);
  }
  // Direct-colour planes have no table.
  EXPECT_EQ(make(16, 1, 1, 16).colour_count, 0u);
  EXPECT_TRUE(plane_colour_table(make(24, 1, 1, 24)).empty());
}

TEST_F(Planes, PixelAddressesAreBottomUp) {
  const Plane& p = make(2, 5, 4, 24);
  uint8_t* const bits = plane_pixels(p).data();
  EXPECT_EQ(plane_pixel_address(&p, 0, 0), bits + 3 * 16);  // the top row is stored last
  EXPECT_EQ(plane_pixel_address(&p, 0, 3), bits);
  EXPECT_EQ(plane_pixel_address(&p, 4, 1), bits + 2 * 16 + 12);
  for (const auto& [x, y] :
       std::vector<std::pair<int, int>>{{-1, 0}, {5, 0}, {0, -1}, {0, 4}, {INT32_MIN, 0}})
    EXPECT_EQ(plane_pixel_address(&p, x, y), nullptr) << x << "," << y;
  EXPECT_EQ(plane_pixel_address(nullptr, 0, 0), nullptr);

  // Sub-byte formats: the byte that holds the pixel.
  const Plane& p1 = make(3, 20, 2, 1);
  EXPECT_EQ(plane_pixel_address(&p1, 9, 0), plane_pixels(p1).data() + 4 + 1);
  const Plane& p4 = make(4, 20, 2, 4);
  EXPECT_EQ(plane_pixel_address(&p4, 3, 1), plane_pixels(p4).data() + 1);
}

TEST_F(Planes, GetPixelReadsEveryFormat) {
  struct Case {
    const char* name;
    int32_t bits, x;
    std::vector<uint8_t> bytes;  // written at the pixel's address in row 1
    int32_t colour;
  };
  const Case cases[] = {
      {"1-bit leftmost pixel in bit 7", 1, 0, {0x80}, 0xFFFFFF},
      {"1-bit next pixel in bit 6", 1, 1, {0x80}, 0x000000},
      {"1-bit last pixel of a byte", 1, 7, {0x01}, 0xFFFFFF},
      {"1-bit second byte", 1, 9, {0x40}, 0xFFFFFF},
      {"4-bit even x in the high nibble", 4, 0, {0xA5}, 0x00FF00},
      {"4-bit odd x in the low nibble", 4, 1, {0xA5}, 0x7F007F},
      {"4-bit fifth byte", 4, 9, {0x0C}, 0xFF0000},
      {"8-bit index", 8, 3, {0xE0}, 0xFF0000},
      {"8-bit last column", 8, 9, {0x03}, 0x0000FF},
      {"16-bit white", 16, 0, {0xFF, 0x7F}, 0xFFFFFF},
      {"16-bit bit 15 ignored", 16, 2, {0xFF, 0xFF}, 0xFFFFFF},
      {"16-bit blue 1 expands to 8", 16, 1, {0x01, 0x00}, 0x000008},
      {"16-bit red 1", 16, 5, {0x00, 0x04}, 0x080000},
      {"16-bit green 16", 16, 4, {0x00, 0x02}, 0x008400},
      {"16-bit red 31", 16, 3, {0x00, 0x7C}, 0xFF0000},
      {"24-bit blue green red", 24, 2, {0x11, 0x22, 0x33}, 0x332211},
      {"24-bit last column", 24, 9, {0x01, 0x02, 0x03}, 0x030201},
      {"32-bit fourth byte ignored", 32, 1, {0x11, 0x22, 0x33, 0x44}, 0x332211},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t slot = static_cast<uint32_t>(c.bits);
    if (!plane_get(slot)) make(slot, 10, 3, c.bits);
    const Plane* p = plane_get(slot);
    std::memcpy(plane_pixel_address(p, c.x, 1), c.bytes.data(), c.bytes.size());
    EXPECT_EQ(getpixel(slot, c.x, 1), c.colour);
  }
}

TEST_F(Planes, GetPixelOutsideThePlaneOrOfNoPlaneIsZero) {
  for (const int32_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const uint32_t slot = static_cast<uint32_t>(bits);
    const Plane& p = make(slot, 10, 3, bits);
    std::ranges::fill(plane_pixels(p), 0xFF);  // white inside, in every format
    EXPECT_EQ(getpixel(slot, 0, 0), 0xFFFFFF);
    EXPECT_EQ(getpixel(slot, 9, 2), 0xFFFFFF);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{-1, 0}, {10, 0}, {0, -1}, {0, 3}, {-1, -1}})
      EXPECT_EQ(getpixel(slot, x, y), 0) << x << "," << y;
  }
  EXPECT_EQ(getpixel(100, 0, 0), 0);
  EXPECT_EQ(getpixel(1024, 0, 0), 0);
  EXPECT_EQ(getpixel(UINT32_MAX, 0, 0), 0);
}

TEST_F(Planes, GetPixelTakesTheColourTableWithoutItsTopByte) {
  const Plane& p = make(1, 8, 1, 8);
  plane_colour_table(p)[7] = 0xAB123456;
  *plane_pixel_address(&p, 2, 0) = 7;
  EXPECT_EQ(getpixel(1, 2, 0), 0x123456);
  // A short table still covers every index a pixel can hold.
  Plane* short_table = plane_create(4, 1, 8, 16);
  ASSERT_NE(short_table, nullptr);
  plane_put(2, short_table);
  *plane_pixel_address(short_table, 0, 0) = 0xFF;
  EXPECT_EQ(getpixel(2, 0, 0), 0xFFFFFF);
}

TEST_F(Planes, NumberTargetsReplaceTheOccupantPagesIncluded) {
  make(5, 4, 4, 8);
  EXPECT_EQ(vpage(5), 1);
  EXPECT_EQ(apage(5), 1);
  const uint64_t live = script_memory().stats().live_blocks;
  EXPECT_EQ(galloc(5, 2, 3, 24), 1);  // the old plane is freed
  EXPECT_EQ(script_memory().stats().live_blocks, live);
  EXPECT_EQ(plane_width(plane_get(5)), 2);
  EXPECT_EQ(plane_bit_count(plane_get(5)), 24);
  EXPECT_EQ(view_page(), 5u);
  EXPECT_EQ(active_page(), 5u);

  // A failed creation leaves the target slot empty: the old plane is gone.
  EXPECT_EQ(galloc(5, 2, 3, 5), 0);
  EXPECT_EQ(plane_get(5), nullptr);
  EXPECT_EQ(script_memory().stats().live_blocks, live - 1);
  EXPECT_EQ(shown(), std::vector<std::string>{kCreatePlane});
}

TEST_F(Planes, AddressTargetsTakeTheHighestEmptySlot) {
  ScriptInt target;
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 1);
  EXPECT_EQ(target.get(), 1023);
  EXPECT_NE(plane_get(1023), nullptr);
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 1);
  EXPECT_EQ(target.get(), 1022);

  // Only slot 1023 taken: 1022.
  planes_reset();
  make(1023, 1, 1, 8);
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 1);
  EXPECT_EQ(target.get(), 1022);

  // Holes are found from the top down.
  for (uint32_t slot = 0; slot < kPlaneSlots; ++slot)
    if (!plane_get(slot)) make(slot, 1, 1, 8);
  gfree(17);
  gfree(300);
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 1);
  EXPECT_EQ(target.get(), 300);

  // A full table: -1 is stored and nothing is made, silently.
  target.set(55);
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 1);
  EXPECT_EQ(target.get(), 17);
  const uint64_t live = script_memory().stats().live_blocks;
  EXPECT_EQ(galloc(target.addr, 1, 1, 8), 0);
  EXPECT_EQ(target.get(), -1);
  EXPECT_EQ(script_memory().stats().live_blocks, live);
  EXPECT_TRUE(shown().empty());
}

TEST_F(Planes, AddressTargetsThatCannotTakeTheNumberFail) {
  // Below usable memory, and beyond its end: nothing is made.
  for (const uint32_t target : {1024u, 0x8000u, 0xFFFFFFF0u, script_memory().end()}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(galloc(target, 1, 1, 8), 0);
    EXPECT_EQ(plane_get(1023), nullptr);
  }
  EXPECT_TRUE(shown().empty());
  // A target that takes the number but a plane that cannot be made: the
  // number is stored, the slot stays empty and the failure is reported.
  ScriptInt target;
  EXPECT_EQ(galloc(target.addr, 1, 1, 12), 0);
  EXPECT_EQ(target.get(), 1023);
  EXPECT_EQ(plane_get(1023), nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{kCreatePlane});
}

TEST_F(Planes, GfreeAndGinitKeepThePagesAndClearAttachments) {
  for (uint32_t slot = 0; slot < 4; ++slot) make(slot, 2, 2, 8);
  ASSERT_EQ(vpage(1), 1);
  ASSERT_EQ(apage(2), 1);
  for (uint32_t slot = 0; slot < 3; ++slot) ASSERT_EQ(gattach(slot, 3), 1);

  EXPECT_EQ(gfree(1), 1);  // the view page: kept, attachment cleared
  EXPECT_NE(plane_get(1), nullptr);
  EXPECT_EQ(plane_mask(1), nullptr);
  EXPECT_EQ(plane_mask(2), plane_get(3));
  EXPECT_EQ(gfree(9), 1);  // an empty slot
  EXPECT_EQ(gfree(1024), 0);
  EXPECT_EQ(gfree(UINT32_MAX), 0);

  EXPECT_EQ(ginit(), 1);
  EXPECT_EQ(plane_get(0), nullptr);
  EXPECT_NE(plane_get(1), nullptr);
  EXPECT_NE(plane_get(2), nullptr);
  EXPECT_EQ(plane_get(3), nullptr);
  for (uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(plane_mask(slot), nullptr) << slot;
  EXPECT_EQ(view_page(), 1u);
  EXPECT_EQ(active_page(), 2u);
}

TEST_F(Planes, AttachmentsFollowTheSlot) {
  make(1, 2, 2, 32);
  EXPECT_EQ(gattach(1, 7), 1);  // the mask slot may be empty
  EXPECT_EQ(plane_mask(1), nullptr);
  make(7, 2, 2, 8);
  EXPECT_EQ(plane_mask(1), plane_get(7));
  gfree(7);  // clears slot 7's own attachment, not the one pointing at it
  EXPECT_EQ(plane_mask(1), nullptr);
  make(7, 3, 3, 8);
  EXPECT_EQ(plane_mask(1), plane_get(7));
  EXPECT_EQ(plane_width(plane_mask(1)), 3);
  EXPECT_EQ(gattach(1, 1), 1);  // a plane may be its own mask
  EXPECT_EQ(plane_mask(1), plane_get(1));
  EXPECT_EQ(gdetach(1), 1);
  EXPECT_EQ(plane_mask(1), nullptr);

  EXPECT_EQ(gattach(1024, 7), 0);
  EXPECT_EQ(gattach(1, 1024), 0);
  EXPECT_EQ(plane_mask(1), nullptr);
  EXPECT_EQ(gdetach(1024), 0);
  EXPECT_EQ(plane_mask(1024), nullptr);
}

TEST_F(Planes, Pages) {
  make(3, 2, 2, 8);
  struct Case {
    int32_t (*set)(uint32_t);
    uint32_t (*get)();
    uint32_t handle;
    int32_t result;
    uint32_t page;
    const std::string* message;
  };
  const Case cases[] = {
      {vpage, view_page, 3, 1, 3, nullptr},
      {vpage, view_page, 4, 0, 3, nullptr},
      {vpage, view_page, 1024, 0, 3, &kViewRange},
      {vpage, view_page, UINT32_MAX, 0, 3, &kViewRange},
      {apage, active_page, 3, 1, 3, nullptr},
      {apage, active_page, 0, 0, 3, nullptr},
      {apage, active_page, 1024, 0, 3, &kActiveRange},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.handle) + (c.get == view_page ? " view" : " active"));
    shown_messages().clear();
    EXPECT_EQ(c.set(c.handle), c.result);
    EXPECT_EQ(c.get(), c.page);
    EXPECT_EQ(shown(), c.message ? std::vector<std::string>{*c.message} : std::vector<std::string>{});
  }
}

TEST_F(Planes, GclipNormalisesAndClamps) {
  struct Case {
    Rect in, out;
  };
  const Case cases[] = {
      {{100, 50, 10, 5}, {10, 5, 64, 50}},  {{-5, -6, 10, 12}, {0, 0, 10, 12}},
      {{3, 4, 5, 6}, {3, 4, 5, 6}},         {{70, 10, 80, 20}, {70, 10, 64, 20}},
      {{10, 10, 10, 10}, {10, 10, 10, 10}}, {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 64, 64}},
  };
  Plane& p = make(4, 64, 64, 24);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.in.left) + "," + std::to_string(c.in.top) + "," +
                 std::to_string(c.in.right) + "," + std::to_string(c.in.bottom));
    EXPECT_EQ(gclip(4, &c.in), 1);
    EXPECT_EQ(p.clip.left, c.out.left);
    EXPECT_EQ(p.clip.top, c.out.top);
    EXPECT_EQ(p.clip.right, c.out.right);
    EXPECT_EQ(p.clip.bottom, c.out.bottom);
  }
  EXPECT_TRUE(p.clip.empty() == false);
  EXPECT_EQ(gclip(4, nullptr), 1);
  EXPECT_EQ(p.clip.right, 64);
  EXPECT_EQ(p.clip.bottom, 64);
  const Rect any{0, 0, 1, 1};
  EXPECT_EQ(gclip(5, &any), 0);
  EXPECT_EQ(gclip(1024, nullptr), 0);
}

TEST_F(Planes, GinfoFields) {
  const Plane& big = make(1, 640, 480, 24);
  const Plane& none = make(2, 0, 0, 8);
  const Plane& flat = make(3, 5, 0, 32);
  const Plane& four = make(4, 3, 2, 4);
  struct Case {
    uint32_t handle;
    std::array<int32_t, 6> info;
  };
  auto addr = [](ScriptAddr a) { return static_cast<int32_t>(a); };
  const Case cases[] = {
      {1, {640, 480, 24, addr(big.bits + 479 * 1920), -1920, addr(big.info + 40)}},
      {2, {0, 0, 8, 0, 0, addr(none.info + 40)}},
      {3, {5, 0, 32, 0, -20, addr(flat.info + 40)}},
      {4, {3, 2, 4, addr(four.bits + 4), -4, addr(four.info + 40)}},
      {5, {0, 0, 0, 0, 0, 0}},
      {1024, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handle);
    std::array<int32_t, 6> info;
    info.fill(77);
    ginfo(c.handle, info.data());
    EXPECT_EQ(info, c.info);
  }
}

TEST_F(Planes, PaletteCopies) {
  make(8, 2, 2, 8);
  make(1, 2, 2, 1);
  make(4, 2, 2, 4);
  make(24, 2, 2, 24);
  Plane* short_table = plane_create(2, 2, 8, 16);
  ASSERT_NE(short_table, nullptr);
  plane_put(16, short_table);
  struct Case {
    int32_t handle;
    uint32_t first;
    int32_t count, copied;
  };
  const Case cases[] = {
      {-1, 250, 10, 6},       {-1, 0, 256, 256}, {-1, 0, 1000, 256}, {-1, 255, 1, 1}, {-1, 256, 1, 0},
      {-1, UINT32_MAX, 4, 0}, {-1, 0, 0, 0},     {-1, 0, -1, 0},     {8, 250, 10, 6}, {8, 0, 256, 256},
      {8, 256, 1, 0},         {1, 0, 5, 2},      {1, 1, 5, 1},       {1, 2, 1, 0},    {4, 15, 5, 1},
      {4, 16, 1, 0},          {16, 10, 100, 6},  {16, 16, 1, 0},  // an 8-bit plane whose table has 16 entries
      {24, 0, 4, 0},          {9, 0, 4, 0},      {1024, 0, 4, 0},    {-2, 0, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.handle) + " " + std::to_string(c.first) + " " + std::to_string(c.count));
    EXPECT_EQ(plane_palette_copy_count(c.handle, c.first, c.count), c.copied);
    std::vector<uint32_t> entries(300);
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = 0x010203u * static_cast<uint32_t>(i + 1);
    EXPECT_EQ(gsetpal(c.handle, c.first, c.count, entries.data()), c.copied);
    std::vector<uint32_t> back(300, 0xDEAD);
    EXPECT_EQ(ggetpal(c.handle, c.first, c.count, back.data()), c.copied);
    for (int32_t i = 0; i < c.copied; ++i) EXPECT_EQ(back[i], entries[i]) << i;
    EXPECT_EQ(back[c.copied], 0xDEADu);
    if (c.copied > 0) {
      // The first entry landed in the working palette or the plane's table.
      const uint32_t stored = c.handle == -1
                                  ? working_palette()[c.first]
                                  : plane_colour_table(*plane_get(static_cast<uint32_t>(c.handle)))[c.first];
      EXPECT_EQ(stored, entries[0]);
    }
  }
  // The colour table that pixels use.
  *plane_pixel_address(short_table, 0, 0) = 12;
  EXPECT_EQ(getpixel(16, 0, 0), static_cast<int32_t>(0x010203u * 3));
  *plane_pixel_address(short_table, 1, 0) = 200;  // past the table the header announces
  EXPECT_EQ(getpixel(16, 1, 0), static_cast<int32_t>(default_colour(8, 200)));
}

// A script may rewrite everything in a plane's block: the host goes on with
// the geometry the plane was made with and stays inside the block.
TEST_F(Planes, RewrittenHeadersChangeNothingTheHostReadsOrWrites) {
  for (const int32_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const uint32_t slot = static_cast<uint32_t>(bits);
    const Plane& p = make(slot, 4, 3, bits);
    std::ranges::fill(plane_pixels(p), 0xFF);
    const std::array<int32_t, 6> before = [&] {
      std::array<int32_t, 6> info;
      ginfo(slot, info.data());
      return info;
    }();
    put_u32_at(p.info + 0, 0xFFFFFFFF);
    put_u32_at(p.info + 4, 100000);
    put_u32_at(p.info + 8, 0x7FFFFFFF);
    put_u32_at(p.info + 12, 0x00200001);  // bit count 32
    put_u32_at(p.info + 20, 0xFFFFFFFF);
    put_u32_at(p.info + 32, 0x10000000);

    std::array<int32_t, 6> info;
    ginfo(slot, info.data());
    EXPECT_EQ(info, before);
    EXPECT_EQ(getpixel(slot, 3, 2), 0xFFFFFF);
    EXPECT_EQ(getpixel(slot, 4, 0), 0);
    EXPECT_EQ(getpixel(slot, 99999, 50000), 0);
    EXPECT_EQ(plane_pixel_address(&p, 4, 0), nullptr);
    std::vector<uint32_t> entries(256, 0x00ABCDEF);
    const int32_t copied = bits <= 8 ? 1 << bits : 0;
    EXPECT_EQ(gsetpal(static_cast<int32_t>(slot), 0, 256, entries.data()), copied);
    EXPECT_EQ(ggetpal(static_cast<int32_t>(slot), 0, 256, entries.data()), copied);
    const Rect all{0, 0, 1 << 30, 1 << 30};
    EXPECT_EQ(gclip(slot, &all), 1);
    EXPECT_EQ(p.clip.right, 4);
    EXPECT_EQ(p.clip.bottom, 3);
    EXPECT_EQ(pal_load(slot, 0, 0, 256), copied);
    // The block's start lies 40 bytes before the colour table ginfo hands
    // out: a script's free or realloc of it is refused.
    EXPECT_FALSE(script_memory().free(p.info));
    EXPECT_EQ(script_memory().resize(p.info, 16), 0u);
    EXPECT_TRUE(script_memory().check_invariants());
  }
}

TEST_F(Planes, RuntimeStartMakesTheClearedScreenPlane) {
  struct Case {
    int32_t width, height, depth;
  };
  for (const Case& c : {Case{32, 16, 8}, Case{7, 3, 16}, Case{33, 2, 24}, Case{5, 5, 32}}) {
    SCOPED_TRACE(c.depth);
    // A dirty plane of the same size freed first: the screen may reuse its
    // memory and must still start cleared.
    planes_reset();
    std::ranges::fill(plane_pixels(make(5, c.width, c.height, c.depth)), 0x5A);
    planes_reset();
    pal_set(3, 0x123456);
    pal_change();
    config().Width = c.width;
    config().Height = c.height;
    config().Depth = c.depth;
    planes_runtime_start();
    EXPECT_EQ(view_page(), 0u);
    EXPECT_EQ(active_page(), 0u);
    const Plane* screen = plane_get(0);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(plane_width(screen), c.width);
    EXPECT_EQ(plane_height(screen), c.height);
    EXPECT_EQ(plane_bit_count(screen), c.depth);
    const std::span<uint8_t> pixels = plane_pixels(*screen);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(getpixel(0, c.width - 1, c.height - 1), 0);
    // The palettes are the cube again.
    EXPECT_EQ(working_palette()[3], default_colour(8, 3));
    EXPECT_EQ(current_palette()[3], default_colour(8, 3));
  }
  EXPECT_TRUE(shown().empty());

  planes_reset();
  config().Depth = 7;
  planes_runtime_start();
  EXPECT_EQ(plane_get(0), nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{kCreatePlane});
  EXPECT_EQ(view_page(), 0u);
}

TEST_F(Planes, ResetFreesEveryPlaneAndAttachment) {
  const uint64_t live = script_memory().stats().live_blocks;
  make(0, 4, 4, 8);
  make(7, 4, 4, 24);
  make(1023, 4, 4, 1);
  gattach(7, 0);
  vpage(7);
  apage(1023);
  planes_reset();
  EXPECT_EQ(script_memory().stats().live_blocks, live);
  for (const uint32_t slot : {0u, 7u, 1023u}) EXPECT_EQ(plane_get(slot), nullptr);
  make(0, 1, 1, 8);
  EXPECT_EQ(plane_mask(7), nullptr);
  EXPECT_EQ(view_page(), 0u);
  EXPECT_EQ(active_page(), 0u);
}

}  // namespace
}  // namespace zelt::gfx
