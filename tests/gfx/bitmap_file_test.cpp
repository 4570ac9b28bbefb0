// Bitmap files: every variant the loader takes, the ones it refuses, and
// gsave's bytes, areas and failures.
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"
#include "gfx/bitmap_fixture.h"
#include "gfx/planes/image_files.h"

namespace zelt::test {
namespace {

using gfx::Plane;

class BitmapFileTest : public FileTest {
 protected:
  void TearDown() override {
    gfx::planes_reset();
    FileTest::TearDown();
  }

  static PlanePtr decode(const std::string& bytes) {
    return PlanePtr(gfx::decode_bitmap({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
  }
  // Loads through the file layer after writing the bytes to a file.
  PlanePtr load(const std::string& bytes, const std::string& name = "t.bmp") {
    dir_.write(name, bytes);
    return PlanePtr(gfx::load_bitmap(name));
  }

  static std::string pixel_bytes(const Plane& p) {
    const std::span<uint8_t> px = gfx::plane_pixels(p);
    return {reinterpret_cast<const char*>(px.data()), px.size()};
  }
  static std::vector<uint32_t> table_of(const Plane& p) {
    const std::span<uint32_t> t = gfx::plane_colour_table(p);
    return {t.begin(), t.begin() + p.colour_count};
  }
};

std::vector<uint32_t> test_table(uint32_t n) {
  std::vector<uint32_t> t;
  for (uint32_t i = 0; i < n; ++i) t.push_back((i * 0x0A1B2Cu + 0x102030u) & 0xFFFFFF);
  return t;
}

std::string pattern(size_t n, uint8_t seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7);
  return s;
}

// One image of every bit count in every header layout, from memory and
// from a file: size, colour table and pixel rows as the file holds them.
TEST_F(BitmapFileTest, LoadsEveryBitCountAndHeaderKind) {
  struct Kind {
    const char* name;
    uint32_t header_size;
    bool file_header;
  };
  const Kind kinds[] = {{"core", 12, true}, {"info", 40, true}, {"v4", 108, true},      {"v5", 124, true},
                        {"v3+", 56, true},  {"dib", 40, false}, {"core dib", 12, false}};
  for (const Kind& kind : kinds) {
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
      SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(bits) + " bits");
      BitmapSpec s;
      s.header_size = kind.header_size;
      s.file_header = kind.file_header;
      s.width = 5;
      s.height = 3;
      s.bits = bits;
      s.table = test_table(gfx::default_colour_count(bits));
      s.pixels = pattern(stride_of(5, bits) * 3, static_cast<uint8_t>(bits));
      const std::string file = bitmap_file(s);
      for (const PlanePtr& p : {decode(file), load(file)}) {
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->width, 5);
        EXPECT_EQ(p->height, 3);
        EXPECT_EQ(p->bit_count, bits);
        EXPECT_EQ(p->pitch, static_cast<int32_t>(stride_of(5, bits)));
        EXPECT_EQ(p->colour_count, s.table.size());
        EXPECT_EQ(table_of(*p), s.table);
        EXPECT_EQ(pixel_bytes(*p), s.pixels);
      }
    }
  }
}

// Colour tables shorter than the bit count's, tables on direct-colour
// files, pixel offsets past junk, and every stored image size.
TEST_F(BitmapFileTest, TablesOffsetsAndStoredImageSizes) {
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t colours_used;
    std::string junk;
    bool zero_offset;
    std::optional<uint32_t> image_size;
    uint32_t colours;  // the plane's colour count
  };
  const Case cases[] = {
      {"8-bit short table", 8, 3, "", false, {}, 3},
      {"8-bit short table, offset 0", 8, 3, "", true, {}, 3},
      {"1-bit default table", 1, 0, "", false, {}, 2},
      {"4-bit short table", 4, 5, "", true, {}, 5},
      {"24-bit 256-entry table", 24, 256, "", false, {}, 256},
      {"16-bit 2-entry table", 16, 2, "", true, {}, 2},
      {"32-bit table and junk", 32, 7, "junk between", false, {}, 7},
      {"junk, image size 0", 8, 0, "xyz", false, 0u, 256},
      {"image size too large", 24, 0, "", false, 1u << 20, 0},
      {"image size too small", 24, 0, "", false, 4u, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapSpec s;
    s.width = 6;
    s.height = 4;
    s.bits = c.bits;
    s.colours_used = c.colours_used;
    s.table = test_table(c.colours);
    s.junk = c.junk;
    s.zero_offset = c.zero_offset;
    s.image_size = c.image_size;
    s.pixels = pattern(stride_of(6, c.bits) * 4);
    for (const PlanePtr& p : {decode(bitmap_file(s)), load(bitmap_file(s))}) {
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->bit_count, c.bits);
      EXPECT_EQ(p->colour_count, c.colours);
      EXPECT_EQ(table_of(*p), s.table);
      EXPECT_EQ(pixel_bytes(*p), s.pixels);
    }
  }
  // The 12-byte header's 3-byte entries widen to 4 bytes.
  BitmapSpec core;
  core.header_size = 12;
  core.width = 2;
  core.height = 1;
  core.bits = 8;
  core.table = test_table(256);
  core.table[1] = 0x123456;
  core.pixels = std::string("\x01\x00\x00\x00", 4);
  const PlanePtr p = decode(bitmap_file(core));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(gfx::plane_colour_table(*p)[1], 0x123456u);
  // The plane count is not looked at.
  BitmapSpec planes = core;
  planes.planes = 3;
  EXPECT_NE(decode(bitmap_file(planes)), nullptr);
}

TEST_F(BitmapFileTest, RefusesWhatItCannotReadSoundly) {
  BitmapSpec good;
  good.width = 4;
  good.height = 2;
  good.bits = 8;
  good.table = test_table(256);
  good.pixels = pattern(8);
  ASSERT_NE(decode(bitmap_file(good)), nullptr);

  struct Case {
    const char* name;
    std::function<void(BitmapSpec&)> change;
  };
  const Case cases[] = {
      {"run-length compression", [](BitmapSpec& s) { s.compression = 1; }},
      {"bit fields in a v4 header",
       [](BitmapSpec& s) {
         s.header_size = 108;
         s.compression = 3;
       }},
      {"top-down rows", [](BitmapSpec& s) { s.height = -2; }},
      {"negative width", [](BitmapSpec& s) { s.width = -4; }},
      {"2 bits", [](BitmapSpec& s) { s.bits = 2; }},
      {"0 bits", [](BitmapSpec& s) { s.bits = 0; }},
      {"64 bits", [](BitmapSpec& s) { s.bits = 64; }},
      {"header size 64", [](BitmapSpec& s) { s.header_size = 64; }},
      {"header size 20", [](BitmapSpec& s) { s.header_size = 20; }},
      {"257 colours",
       [](BitmapSpec& s) {
         s.colours_used = 257;
         s.table = test_table(257);
       }},
      {"pixels one byte short", [](BitmapSpec& s) { s.pixels.pop_back(); }},
      {"table cut short",
       [](BitmapSpec& s) {
         s.table.resize(100);
         s.pixels.clear();
       }},
      {"wider than a plane may be", [](BitmapSpec& s) { s.width = 40000; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapSpec s = good;
    c.change(s);
    EXPECT_EQ(decode(bitmap_file(s)), nullptr);
    EXPECT_EQ(load(bitmap_file(s)), nullptr);
  }
  const std::string file = bitmap_file(good);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, size_t{14}, size_t{20}, size_t{54}})
    EXPECT_EQ(decode(file.substr(0, cut)), nullptr) << cut;
  EXPECT_EQ(load("", "empty.bmp"), nullptr);
  EXPECT_EQ(gfx::load_bitmap("missing.bmp"), nullptr);
}

// A small file that announces a huge image fails before any plane memory is
// taken.
TEST_F(BitmapFileTest, HugeAnnouncedImageInATinyFileTakesNoMemory) {
  BitmapSpec s;
  s.width = 32767;
  s.height = 8000;
  s.bits = 32;
  s.pixels = pattern(100);
  const std::string file = bitmap_file(s);
  // The usable range grows with every block taken above it and never
  // shrinks.
  const ScriptAddr end = script_memory().end();
  EXPECT_EQ(decode(file), nullptr);
  EXPECT_EQ(load(file), nullptr);
  EXPECT_EQ(script_memory().end(), end);
}

// Bitmaps inside an archive and in a compressed file load like plain ones.
TEST_F(BitmapFileTest, LoadsFromArchivesAndCompressedFiles) {
  BitmapSpec s;
  s.width = 3;
  s.height = 3;
  s.bits = 24;
  s.pixels = pattern(36);
  const std::string file = bitmap_file(s);
  dir_.write("data.bin", make_archive({{"img\\a.bmp", file}}));
  ASSERT_EQ(files::write_compressed("packed.bmp", file.data(), static_cast<uint32_t>(file.size())), 1);
  ASSERT_NE(dir_.read("packed.bmp"), file);
  for (const char* name : {"data\\img\\a.bmp", "packed.bmp"}) {
    SCOPED_TRACE(name);
    const PlanePtr p(gfx::load_bitmap(name));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pixel_bytes(*p), s.pixels);
  }
}

// --- gsave ---

class GsaveTest : public BitmapFileTest {
 protected:
  // A plane of the bit count in slot 1, every pixel pixel_value, padding
  // 0xA5.
  Plane* make(int32_t width, int32_t height, int32_t bits, int32_t colours = -1) {
    Plane* p = gfx::plane_create(width, height, bits, colours);
    fill_plane(*p);
    const std::span<uint32_t> table = gfx::plane_colour_table(*p);
    for (uint32_t i = 0; i < table.size(); ++i) table[i] = (i * 0x030507u + 0x0F0E0Du) & 0xFFFFFF;
    gfx::plane_put(1, p);
    return p;
  }

  // The file gsave must write for the area of the plane.
  static std::string expected(const Plane& p, const gfx::Rect& area) {
    BitmapSpec s;
    s.width = area.right - area.left;
    s.height = area.bottom - area.top;
    s.bits = static_cast<uint16_t>(p.bit_count);
    s.colours_used = p.colour_count;
    s.table = table_of(p);
    s.pixels = pack_rows(area.left, area.top, area.right, area.bottom, p.bit_count,
                         [&](int32_t x, int32_t y) { return get_pixel(p, x, y); });
    return bitmap_file(s);
  }
};

TEST_F(GsaveTest, WritesHeaderTableAndRowsOfEveryBitCount) {
  for (int32_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const Plane* p = make(13, 5, bits);
    ASSERT_EQ(gfx::gsave("out.bmp", 1, nullptr), 1);
    EXPECT_EQ(dir_.read("out.bmp"), expected(*p, {0, 0, 13, 5}));
  }
  // A 24-bit plane with a colour table writes it.
  const Plane* p = make(3, 2, 24, 256);
  ASSERT_EQ(gfx::gsave("out.bmp", 1, nullptr), 1);
  EXPECT_EQ(dir_.read("out.bmp"), expected(*p, {0, 0, 3, 2}));
  EXPECT_EQ(dir_.read("out.bmp").size(), 54u + 1024 + 2 * 12);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(GsaveTest, OneBitTenPixelsWideIsTwoBytesPaddedToFour) {
  make(10, 3, 1);
  ASSERT_EQ(gfx::gsave("one.bmp", 1, nullptr), 1);
  const std::string file = dir_.read("one.bmp");
  ASSERT_EQ(file.size(), 62u + 3 * 4);
  EXPECT_EQ(file.substr(10, 4), std::string("\x3e\0\0\0", 4));  // pixels at 54 + 2 × 4
  EXPECT_EQ(file.substr(34, 4), std::string("\x0c\0\0\0", 4));  // image size 3 × 4
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(file[62 + 4 * r + 1] & 0x3F, 0) << "bits past the tenth pixel are 0";
    EXPECT_EQ(file.substr(62 + 4 * r + 2, 2), std::string(2, '\0'));
  }
}

// The area is the plane clipped by the rectangle; 1- and 4-bit areas that
// start inside a byte are shifted to the row's first bit.
TEST_F(GsaveTest, SavesExactlyTheAreaInsideThePlane) {
  struct Case {
    const char* name;
    int32_t bits;
    gfx::Rect rect, area;
  };
  const Case cases[] = {
      {"partly outside", 24, {-3, -2, 5, 4}, {0, 0, 5, 4}},
      {"past the right and bottom", 8, {10, 3, 99, 99}, {10, 3, 21, 7}},
      {"inside", 32, {2, 1, 6, 5}, {2, 1, 6, 5}},
      {"16 bits, odd left", 16, {3, 0, 4, 7}, {3, 0, 4, 7}},
      {"1 bit from bit 3", 1, {3, 1, 13, 6}, {3, 1, 13, 6}},
      {"1 bit, one pixel at bit 7", 1, {15, 0, 16, 2}, {15, 0, 16, 2}},
      {"1 bit up to the right edge", 1, {5, 0, 21, 7}, {5, 0, 21, 7}},
      {"4 bits from the low nibble", 4, {1, 2, 4, 3}, {1, 2, 4, 3}},
      {"4 bits to the right edge", 4, {7, 0, 21, 7}, {7, 0, 21, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Plane* p = make(21, 7, c.bits);
    ASSERT_EQ(gfx::gsave("area.bmp", 1, &c.rect), 1);
    EXPECT_EQ(dir_.read("area.bmp"), expected(*p, c.area));
  }
  // Nothing to save: no file, no message.
  make(8, 8, 24);
  const gfx::Rect outside{8, 0, 12, 8}, reversed{6, 6, 2, 2}, flat{2, 3, 6, 3};
  for (const gfx::Rect& r : {outside, reversed, flat}) EXPECT_EQ(gfx::gsave("none.bmp", 1, &r), 0);
  EXPECT_EQ(gfx::gsave("none.bmp", 2, nullptr), 0);     // empty slot
  EXPECT_EQ(gfx::gsave("none.bmp", 1024, nullptr), 0);  // no such slot
  EXPECT_FALSE(std::filesystem::exists(dir_ / "none.bmp"));
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(GsaveTest, SavedFilesLoadBackTheSamePlane) {
  for (int32_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const Plane* p = make(11, 6, bits, bits == 24 ? 256 : -1);
    const gfx::Rect rect{1, 2, 10, 5};
    ASSERT_EQ(gfx::gsave("Round.bmp", 1, &rect), 1);
    const PlanePtr back(gfx::load_bitmap("round.BMP"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 9);
    EXPECT_EQ(back->height, 3);
    EXPECT_EQ(back->bit_count, bits);
    EXPECT_EQ(table_of(*back), table_of(*p));
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 9; ++x)
        ASSERT_EQ(get_pixel(*back, x, y), get_pixel(*p, x + 1, y + 2)) << x << "," << y;
  }
}

// Creation and write failures are reported at level 2; the file that was
// there stays as it was.
TEST_F(GsaveTest, FailedSavesReportAndKeepTheOldFile) {
  make(64, 64, 24);
  EXPECT_EQ(gfx::gsave("no\\such\\folder\\x.bmp", 1, nullptr), 0);
  EXPECT_EQ(g_messages, std::vector<std::string>{message(Msg::SavePlaneCreate, "no\\such\\folder\\x.bmp")});

  g_messages.clear();
  dir_.write("keep.bmp", "old contents");
  // A file size limit makes the write come up short (EFBIG) after the file
  // was created.
  struct rlimit old_limit {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int32_t result = gfx::gsave("keep.bmp", 1, nullptr);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(g_messages, std::vector<std::string>{message(Msg::SavePlaneWrite, "keep.bmp")});
  EXPECT_EQ(dir_.read("keep.bmp"), "old contents");
  // No temporary file is left behind.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
    entries += e.path().filename() != "keep.bmp";
  EXPECT_EQ(entries, 0);
}

}  // namespace
}  // namespace zelt::test
