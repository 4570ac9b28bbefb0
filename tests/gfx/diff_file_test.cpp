// Difference files: the stream's opcodes, the header checks in their order,
// and malformed data and cursors that leave the plane.
#include <cstring>
#include <functional>

#include "files/file_test_fixture.h"
#include "gfx/bitmap_fixture.h"
#include "gfx/planes/image_files.h"

namespace zelt::test {
namespace {

using gfx::Plane;
using Bytes = std::vector<uint8_t>;

Bytes diff_data(int32_t bits, gfx::Rect bounds, const Bytes& stream) {
  std::string head = "DIFF";
  head.append(8, '\x77');
  put_le(head, static_cast<uint32_t>(bits), 4);
  for (int32_t v : {bounds.left, bounds.top, bounds.right, bounds.bottom})
    put_le(head, static_cast<uint32_t>(v), 4);
  Bytes out(head.begin(), head.end());
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

class DiffFileTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    // Slot 2 right after slot 1 in memory: writes past slot 1's pixels
    // would show there.
    for (uint32_t slot : {1u, 2u}) {
      gfx::Plane* p = gfx::plane_create(6, 5, 24);
      fill_plane(*p);
      gfx::plane_put(slot, p);
    }
  }
  void TearDown() override {
    gfx::planes_reset();
    FileTest::TearDown();
  }

  static std::string bytes_of(uint32_t slot) {
    const std::span<uint8_t> px = gfx::plane_pixels(*gfx::plane_get(slot));
    return {reinterpret_cast<const char*>(px.data()), px.size()};
  }
  static gfx::DiffResult apply(int32_t x, int32_t y, const Bytes& data, uint32_t slot = 1) {
    return gfx::dcopy(slot, x, y, data);
  }
  // Slot 1's pixels as they must be after the writes, (x, y) → value.
  static std::string expected(const std::vector<std::tuple<int32_t, int32_t, uint32_t>>& writes) {
    gfx::Plane* p = gfx::plane_create(6, 5, 24);
    fill_plane(*p);
    for (const auto& [x, y, v] : writes) set_pixel(*p, x, y, v);
    const std::span<uint8_t> px = gfx::plane_pixels(*p);
    std::string out(reinterpret_cast<const char*>(px.data()), px.size());
    gfx::plane_destroy(p);
    return out;
  }
};

TEST_F(DiffFileTest, CopiesPixelsAtThePlacementPoint) {
  // 0 3, two 3-byte pixels, 0 1: the pixels land at (x, y) and (x + 1, y).
  const Bytes example = diff_data(24, {0, 0, 2, 1}, {0, 3, 1, 2, 3, 4, 5, 6, 0, 1});
  const gfx::DiffResult r = apply(2, 3, example);
  EXPECT_EQ(r.applied, 1);
  EXPECT_TRUE(r.has_bounds);
  EXPECT_EQ(r.bounds.right, 2);
  EXPECT_EQ(bytes_of(1), expected({{2, 3, 0x030201}, {3, 3, 0x060504}}));

  // Skips, next-row and copies together; bytes after the end opcode are not
  // read.
  const Bytes stream = diff_data(24, {0, 0, 4, 3}, {2, 0, 2, 9, 9, 9, 0, 0, 1, 0, 3, 1, 1, 1, 2, 2,
                                                    2, 0, 0, 0, 0, 3, 0, 2, 7, 7, 7, 0, 1, 0, 2});
  EXPECT_EQ(apply(1, 1, stream).applied, 1);
  EXPECT_EQ(bytes_of(1), expected({{2, 3, 0x030201},
                                   {3, 3, 0x060504},
                                   {3, 1, 0x090909},
                                   {2, 2, 0x010101},
                                   {3, 2, 0x020202},
                                   {4, 4, 0x070707}}));
}

// The rectangle goes out before the checks, which fail in their order and
// change nothing; without the 32-byte header there is no rectangle.
TEST_F(DiffFileTest, HeaderChecksFailInOrderAfterReportingTheRectangle) {
  const Bytes good = diff_data(24, {-1, -2, 3, 2}, {0, 2, 1, 2, 3, 0, 1});
  struct Case {
    const char* name;
    int32_t x, y;
    std::function<void(Bytes&)> change;
    bool has_bounds;
    int32_t applied;
    uint32_t slot = 1;
  };
  auto put = [](Bytes& d, size_t at, int32_t v) { std::memcpy(&d[at], &v, 4); };
  const Case cases[] = {
      {"applies", 1, 2, [](Bytes&) {}, true, 1},
      {"fits exactly", 1, 2,
       [&](Bytes& d) {
         put(d, 24, 5);
         put(d, 28, 3);
       },
       true, 1},
      {"magic", 1, 2, [](Bytes& d) { d[3] = 'X'; }, true, 0},
      {"bits", 1, 2, [&](Bytes& d) { put(d, 12, 32); }, true, 0},
      {"empty rectangle", 1, 2, [&](Bytes& d) { put(d, 24, -1); }, true, 0},
      {"reversed rectangle", 1, 2, [&](Bytes& d) { put(d, 28, -3); }, true, 0},
      {"left of the plane", 0, 2, [](Bytes&) {}, true, 0},
      {"right of the plane", 4, 2, [](Bytes&) {}, true, 0},
      {"above the plane", 1, 1, [](Bytes&) {}, true, 0},
      {"below the plane", 1, 4, [](Bytes&) {}, true, 0},
      {"huge right edge", 1, 2, [&](Bytes& d) { put(d, 24, INT32_MAX); }, true, 0},
      {"negative x", -1, 2, [](Bytes&) {}, false, 0},
      {"negative y", 1, -1, [](Bytes&) {}, false, 0},
      {"empty slot", 1, 2, [](Bytes&) {}, false, 0, 3},
      {"short header", 1, 2, [](Bytes& d) { d.resize(31); }, false, 0},
      {"no data", 1, 2, [](Bytes& d) { d.clear(); }, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes data = good;
    c.change(data);
    const std::string before = bytes_of(1);
    const gfx::DiffResult r = apply(c.x, c.y, data, c.slot);
    EXPECT_EQ(r.applied, c.applied);
    EXPECT_EQ(r.has_bounds, c.has_bounds);
    if (c.has_bounds) {
      int32_t left;
      std::memcpy(&left, &data[16], 4);
      EXPECT_EQ(r.bounds.left, left);
    }
    if (c.applied == 0) {
      EXPECT_EQ(bytes_of(1), before);
    }
  }
}

// A stream that ends before its end opcode, or inside a record, is refused
// whole: the valid records before the fault change nothing either.
TEST_F(DiffFileTest, MalformedStreamsChangeNothing) {
  const Bytes valid_start = {0, 2, 1, 2, 3, 0, 0};
  const std::vector<std::pair<const char*, Bytes>> tails = {
      {"no end opcode", {1, 1}},
      {"lone 0 at the end", {0}},
      {"copy record cut short", {0, 3, 1, 2, 3, 4, 5}},
      {"copy opcode with no pixels", {0, 2}},
      {"no stream at all", {}},
  };
  const std::string before = bytes_of(1);
  for (const auto& [name, tail] : tails) {
    SCOPED_TRACE(name);
    Bytes stream = name == std::string("no stream at all") ? Bytes{} : valid_start;
    stream.insert(stream.end(), tail.begin(), tail.end());
    const gfx::DiffResult r = apply(0, 0, diff_data(24, {0, 0, 2, 2}, stream));
    EXPECT_EQ(r.applied, 0);
    EXPECT_TRUE(r.has_bounds);
    EXPECT_EQ(bytes_of(1), before);
  }
}

// The declared rectangle fits, but the stream moves the cursor past the
// right and bottom edges: what lies outside is dropped, the row padding and
// the next plane stay untouched.
TEST_F(DiffFileTest, CursorLeavingThePlaneIsClipped) {
  const std::string other = bytes_of(2);
  const Bytes stream = {4,   0,   4, 1, 1, 1, 2, 2, 2, 3, 3, 3,  // (4, 0) and (5, 0) written, (6, 0) dropped
                        255, 255, 0, 2, 9, 9, 9,                 // far to the right: dropped
                        0,   0,   0, 0, 0, 0, 0, 0, 0, 0,        // rows 1 to 5: row 5 is past the bottom
                        0,   3,   8, 8, 8, 8, 8, 8,              // dropped
                        0,   0,   0, 0, 0, 0, 0, 0,              // far below
                        0,   2,   5, 5, 5, 0, 1};
  const gfx::DiffResult r = apply(0, 0, diff_data(24, {0, 0, 1, 1}, stream));
  EXPECT_EQ(r.applied, 1);
  EXPECT_EQ(bytes_of(1), expected({{4, 0, 0x010101}, {5, 0, 0x020202}}));
  EXPECT_EQ(bytes_of(2), other);
}

TEST_F(DiffFileTest, DloadReadsTheFileThroughTheFileLayer) {
  const Bytes data = diff_data(24, {0, 0, 1, 1}, {0, 2, 4, 5, 6, 0, 1});
  dir_.write("patch.dif", std::string(data.begin(), data.end()));
  dir_.write("short.dif", std::string(data.begin(), data.begin() + 20));
  gfx::DiffResult r = gfx::dload(1, 1, 1, "PATCH.DIF");
  EXPECT_EQ(r.applied, 1);
  EXPECT_TRUE(r.has_bounds);
  EXPECT_EQ(bytes_of(1), expected({{1, 1, 0x060504}}));
  ASSERT_EQ(files::write_compressed("packed.dif", data.data(), static_cast<uint32_t>(data.size())), 1);
  EXPECT_EQ(gfx::dload(1, 2, 2, "packed.dif").applied, 1);
  EXPECT_EQ(bytes_of(1), expected({{1, 1, 0x060504}, {2, 2, 0x060504}}));

  const std::string before = bytes_of(1);
  r = gfx::dload(1, 0, 0, "short.dif");
  EXPECT_EQ(r.applied, 0);
  EXPECT_FALSE(r.has_bounds);
  EXPECT_EQ(gfx::dload(1, 0, 0, "missing.dif").applied, 0);
  EXPECT_EQ(gfx::dload(3, 0, 0, "patch.dif").applied, 0);  // empty slot
  EXPECT_EQ(gfx::dload(1, -1, 0, "patch.dif").applied, 0);
  EXPECT_EQ(bytes_of(1), before);
}

}  // namespace
}  // namespace zelt::test
