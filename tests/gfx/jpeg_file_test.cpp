// The JPEG loader against djpeg's output for files made by cjpeg, CMYK files
// written here with libjpeg, and broken or hostile files.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"
#include "gfx/planes/image_files.h"

namespace zelt::test {
namespace {

using gfx::Plane;

struct PlaneDeleter {
  void operator()(Plane* p) const { gfx::plane_destroy(p); }
};
using PlanePtr = std::unique_ptr<Plane, PlaneDeleter>;

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

bool have_tools() { return std::system("command -v cjpeg >/dev/null 2>&1 && command -v djpeg >/dev/null 2>&1") == 0; }

// True when the command ran and exited with 0, or with djpeg's 2 for "done, with warnings".
bool run(const std::string& command) {
  const int status = std::system((command + " 2>/dev/null").c_str());
  return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);
}

// A picture with gradients and fine detail, as a PGM or PPM file.
std::string pattern_pnm(int width, int height, bool grey) {
  std::string out = (grey ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (grey) {
        out += static_cast<char>((x * 5 + y * 3 + ((x ^ y) & 8) * 8) & 255);
      } else {
        out += static_cast<char>(x * 255 / std::max(width - 1, 1));
        out += static_cast<char>(y * 255 / std::max(height - 1, 1));
        out += static_cast<char>(((x * 7 + y * 13) ^ (x * y)) & 255);
      }
    }
  }
  return out;
}

// The pixel rows (bottom-up, padded to four bytes, as a plane holds them) and
// colour table of a bitmap file as djpeg writes it.
struct Bitmap {
  int32_t width = 0, height = 0, bits = 0;
  std::vector<uint32_t> colours;
  std::string pixels;
};

uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

Bitmap parse_bitmap(const std::string& file) {
  Bitmap b;
  if (file.size() < 54 || file.compare(0, 2, "BM") != 0 || le32(file, 14) != 40) return b;
  b.width = static_cast<int32_t>(le32(file, 18));
  b.height = static_cast<int32_t>(le32(file, 22));
  b.bits = static_cast<int32_t>(le32(file, 28) & 0xFFFF);
  uint32_t colours = le32(file, 46);
  if (colours == 0 && b.bits <= 8) colours = 1u << b.bits;
  for (uint32_t i = 0; i < colours; ++i) b.colours.push_back(le32(file, 54 + 4 * i));
  const size_t size = static_cast<size_t>((b.width * b.bits + 31) / 32 * 4) * b.height;
  b.pixels = file.substr(le32(file, 10), size);
  return b;
}

std::string plane_bytes(const Plane& p) {
  const std::span<uint8_t> px = gfx::plane_pixels(p);
  return std::string(px.begin(), px.end());
}

// "" when the plane holds exactly the bitmap's pixels, else where they differ.
std::string compare(const Plane* plane, const Bitmap& expected) {
  if (!plane) return "no plane";
  if (plane->width != expected.width || plane->height != expected.height || plane->bit_count != expected.bits)
    return "plane " + std::to_string(plane->width) + "x" + std::to_string(plane->height) + "x" +
           std::to_string(plane->bit_count) + ", expected " + std::to_string(expected.width) + "x" +
           std::to_string(expected.height) + "x" + std::to_string(expected.bits);
  const std::string got = plane_bytes(*plane);
  if (got.size() != expected.pixels.size()) return "pixel memory size differs";
  const size_t at = std::mismatch(got.begin(), got.end(), expected.pixels.begin()).first - got.begin();
  if (at < got.size()) {
    const size_t row = at / plane->pitch;
    return "first difference at x byte " + std::to_string(at % plane->pitch) + " of row " +
           std::to_string(plane->height - 1 - static_cast<int64_t>(row)) + " from the top";
  }
  if (!expected.colours.empty()) {
    const std::span<uint32_t> table = gfx::plane_colour_table(*plane);
    for (size_t i = 0; i < expected.colours.size(); ++i)
      if (i >= table.size() || table[i] != expected.colours[i]) return "colour table entry " + std::to_string(i);
  }
  return "";
}

// A JPEG written here with libjpeg: sample(x, y, component) gives the stored
// values; colour is the colour model of the input, stored the one in the
// file. Lets tests make what cjpeg cannot: CMYK, YCCK, two components,
// scan scripts of any length.
struct JpegSpec {
  int width = 16, height = 16, components = 4;
  J_COLOR_SPACE colour = JCS_CMYK, stored = JCS_CMYK;
  bool adobe_marker = true;
  int quality = 95;
  std::vector<jpeg_scan_info> scans;  // empty: sequential
  std::function<uint8_t(int, int, int)> sample;
};

std::string write_jpeg(const JpegSpec& spec) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(spec.width);
  c.image_height = static_cast<JDIMENSION>(spec.height);
  c.input_components = spec.components;
  c.in_color_space = spec.colour;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, spec.stored);
  c.write_Adobe_marker = spec.adobe_marker;
  jpeg_set_quality(&c, spec.quality, TRUE);
  if (!spec.scans.empty()) {
    c.scan_info = spec.scans.data();
    c.num_scans = static_cast<int>(spec.scans.size());
  }
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(spec.width) * spec.components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < spec.width; ++x)
      for (int k = 0; k < spec.components; ++k) row[static_cast<size_t>(x) * spec.components + k] = spec.sample(x, y, k);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string bytes(reinterpret_cast<char*>(out), size);
  std::free(out);
  return bytes;
}

// The stored CMYK values libjpeg decodes (floating-point DCT), top row first.
std::vector<std::vector<uint8_t>> decode_cmyk(const std::string& bytes) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_CMYK;
  d.dct_method = JDCT_FLOAT;
  jpeg_start_decompress(&d);
  std::vector<std::vector<uint8_t>> rows;
  while (d.output_scanline < d.output_height) {
    rows.emplace_back(d.output_width * 4);
    JSAMPROW row = rows.back().data();
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return rows;
}

// A 24-bit plane's pixel (x, y) as 0xRRGGBB.
uint32_t rgb_at(const Plane* p, int x, int y) {
  const uint8_t* px = gfx::plane_pixel_address(p, x, y);
  return px ? uint32_t{px[2]} << 16 | uint32_t{px[1]} << 8 | px[0] : 0xFFFFFFFFu;
}

class JpegFile : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    if (!have_tools()) GTEST_SKIP() << "cjpeg and djpeg (libjpeg-turbo-progs) are not installed";
  }
  void TearDown() override {
    gfx::planes_reset();
    FileTest::TearDown();
  }

  // pic.jpg made by cjpeg with the options from the pattern; returns its bytes.
  std::string make_jpeg(int width, int height, bool grey, const std::string& options,
                        const std::string& name = "pic.jpg") {
    dir_.write("pic.pnm", pattern_pnm(width, height, grey));
    EXPECT_TRUE(run("cjpeg " + options + " -outfile '" + dir_ / name + "' '" + dir_ / "pic.pnm" + "'")) << options;
    return dir_.read(name);
  }

  // djpeg's bitmap of a file below the folder; width 0 when djpeg fails.
  Bitmap djpeg_bitmap(const std::string& name, bool must_decode = true) {
    std::filesystem::remove(dir_ / "ref.bmp");
    const bool ok = run("djpeg -dct float -bmp -outfile '" + dir_ / "ref.bmp" + "' '" + dir_ / name + "'");
    EXPECT_TRUE(ok || !must_decode) << "djpeg failed on " << name;
    return ok ? parse_bitmap(dir_.read("ref.bmp")) : Bitmap{};
  }
};

// Every kind of file cjpeg writes decodes to exactly djpeg's pixels, from a
// file and from memory; odd sizes exercise row padding and partial blocks.
TEST_F(JpegFile, MatchesDjpegForEveryCodingMode) {
  struct Case {
    const char* what;
    int width, height;
    bool grey;
    const char* options;
  };
  const Case cases[] = {
      {"baseline colour, 4:2:0", 37, 23, false, ""},
      {"progressive colour", 64, 41, false, "-progressive"},
      {"baseline greyscale", 33, 17, true, ""},
      {"progressive greyscale", 50, 31, true, "-progressive"},
      {"colour from greyscale option", 19, 9, false, "-grayscale"},
      {"4:4:4 with a restart marker per row", 40, 24, false, "-sample 1x1 -restart 1"},
      {"4:2:2, optimised tables, quality 100", 29, 16, false, "-sample 2x1 -optimize -quality 100"},
      {"arithmetic coding", 35, 18, false, "-arithmetic"},
      {"stored as RGB", 21, 13, false, "-rgb"},
      {"one pixel", 1, 1, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string jpeg = make_jpeg(c.width, c.height, c.grey, c.options);
    const Bitmap expected = djpeg_bitmap("pic.jpg");
    ASSERT_EQ(expected.width, c.width);
    const PlanePtr from_file(gfx::load_jpeg("pic.jpg"));
    EXPECT_EQ(compare(from_file.get(), expected), "");
    const PlanePtr from_memory(gfx::decode_jpeg(bytes_of(jpeg)));
    EXPECT_EQ(compare(from_memory.get(), expected), "");
    if (from_file && from_file->bit_count == 8) {
      const std::span<uint32_t> table = gfx::plane_colour_table(*from_file);
      ASSERT_EQ(table.size(), 256u);
      EXPECT_EQ(table[0], 0u);
      EXPECT_EQ(table[128], 0x808080u);
      EXPECT_EQ(table[255], 0xFFFFFFu);
    }
  }
}

// The file layer: compressed files and archive members decode like the
// plain file.
TEST_F(JpegFile, ReadsThroughCompressedFilesAndArchives) {
  const std::string jpeg = make_jpeg(300, 200, false, "-progressive");  // more than one 4096-byte block
  ASSERT_GT(jpeg.size(), 2 * 4096u);
  const Bitmap expected = djpeg_bitmap("pic.jpg");
  ASSERT_EQ(files::write_compressed("packed.z", jpeg.data(), static_cast<uint32_t>(jpeg.size())), 1);
  dir_.write("pk.bin", make_archive({{"a.jpg", jpeg}, {"c.z", dir_.read("packed.z")}}));
  for (const char* path : {"packed.z", "pk\\a.jpg", "pk\\c.z"}) {
    SCOPED_TRACE(path);
    const PlanePtr plane(gfx::load_jpeg(path));
    EXPECT_EQ(compare(plane.get(), expected), "");
  }
  EXPECT_EQ(gfx::load_jpeg("missing.jpg"), nullptr);
}

// CMYK and YCCK files become RGB: with Adobe's marker the stored values are
// inverted (R = C × K / 255), without it they are ink amounts.
TEST_F(JpegFile, ConvertsCmykAndYcckToRgb) {
  auto pattern = [](int x, int y, int k) -> uint8_t {
    const int v[4] = {x * 8, y * 8, (x + y) * 4, 255 - ((x * y) & 63)};
    return static_cast<uint8_t>(v[k]);
  };
  struct Case {
    const char* what;
    J_COLOR_SPACE stored;
    bool adobe;
  };
  const Case cases[] = {
      {"CMYK with Adobe marker", JCS_CMYK, true},
      {"CMYK without Adobe marker", JCS_CMYK, false},
      {"YCCK", JCS_YCCK, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JpegSpec spec;
    spec.width = 31;
    spec.height = 29;
    spec.stored = c.stored;
    spec.adobe_marker = c.adobe;
    spec.sample = pattern;
    const std::string jpeg = write_jpeg(spec);
    const std::vector<std::vector<uint8_t>> cmyk = decode_cmyk(jpeg);
    const PlanePtr plane(gfx::decode_jpeg(bytes_of(jpeg)));
    ASSERT_NE(plane, nullptr);
    ASSERT_EQ(plane->bit_count, 24);
    ASSERT_EQ(plane->width, 31);
    ASSERT_EQ(plane->height, 29);
    int wrong = 0;
    for (int y = 0; y < 29; ++y) {
      for (int x = 0; x < 31; ++x) {
        const uint8_t* s = &cmyk[y][static_cast<size_t>(x) * 4];
        auto channel = [&](int i) {
          const double ink = c.adobe ? s[i] : 255 - s[i], black = c.adobe ? s[3] : 255 - s[3];
          return static_cast<uint32_t>(std::lround(ink * black / 255.0));
        };
        const uint32_t want = channel(0) << 16 | channel(1) << 8 | channel(2);
        if (rgb_at(plane.get(), x, y) != want && ++wrong <= 3)
          ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << rgb_at(plane.get(), x, y) << " want " << want;
      }
    }
  }
}

// Known inks give known colours, whichever way the file stores them.
TEST_F(JpegFile, CmykInksGiveTheirColours) {
  struct Case {
    const char* what;
    uint8_t c, m, y, k;  // ink amounts, 255 = full
    uint32_t rgb;
  };
  const Case cases[] = {
      {"paper", 0, 0, 0, 0, 0xFFFFFF},        {"full black", 0, 0, 0, 255, 0x000000},
      {"cyan", 255, 0, 0, 0, 0x00FFFF},       {"magenta", 0, 255, 0, 0, 0xFF00FF},
      {"yellow", 0, 0, 255, 0, 0xFFFF00},     {"half magenta", 0, 128, 0, 0, 0xFF7FFF},
      {"half black", 0, 0, 0, 128, 0x7F7F7F},
  };
  for (const Case& c : cases) {
    for (const J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
      for (const bool adobe : {true, false}) {
        if (stored == JCS_YCCK && !adobe) continue;  // YCCK is only known by the marker
        SCOPED_TRACE(std::string(c.what) + (stored == JCS_YCCK ? " YCCK" : " CMYK") + (adobe ? " inverted" : ""));
        const uint8_t ink[4] = {c.c, c.m, c.y, c.k};
        JpegSpec spec;
        spec.stored = stored;
        spec.adobe_marker = adobe;
        spec.quality = 100;
        spec.sample = [&](int, int, int k) { return static_cast<uint8_t>(adobe ? 255 - ink[k] : ink[k]); };
        const PlanePtr plane(gfx::decode_jpeg(bytes_of(write_jpeg(spec))));
        ASSERT_NE(plane, nullptr);
        const uint32_t got = rgb_at(plane.get(), 5, 5);
        for (int shift : {0, 8, 16})
          EXPECT_NEAR(static_cast<int>((got >> shift) & 255), static_cast<int>((c.rgb >> shift) & 255), 2)
              << std::hex << got;
      }
    }
  }
}

// Files that decode to nothing usable give null and leave no plane behind.
TEST_F(JpegFile, RefusesBrokenAndUnsupportedFiles) {
  const std::string jpeg = make_jpeg(40, 30, false, "");
  JpegSpec two;
  two.components = 2;
  two.colour = two.stored = JCS_UNKNOWN;
  two.adobe_marker = false;
  two.sample = [](int x, int y, int k) { return static_cast<uint8_t>(k ? x * 9 : y * 9); };
  JpegSpec five = two;
  five.components = 5;
  five.scans = {{3, {0, 1, 2}, 0, 63, 0, 0}, {2, {3, 4}, 0, 63, 0, 0}};  // at most four per scan

  // A progressive greyscale file whose scan script codes each of the first
  // `bands` coefficients bit by bit: 1 + 10 × bands scans.
  auto many_scans = [](int bands) {
    JpegSpec spec;
    spec.components = 1;
    spec.colour = spec.stored = JCS_GRAYSCALE;
    spec.width = spec.height = 64;
    spec.sample = [](int x, int y, int) { return static_cast<uint8_t>(x * 4 ^ y * 3); };
    spec.scans.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= bands; ++k) {
      spec.scans.push_back({1, {0}, k, k, 0, 9});
      for (int al = 8; al >= 0; --al) spec.scans.push_back({1, {0}, k, k, al + 1, al});
    }
    return write_jpeg(spec);
  };

  // The file with its frame header claiming another size.
  auto resized = [&](uint32_t width, uint32_t height) {
    std::string bytes = jpeg;
    const size_t sof = bytes.find("\xFF\xC0");
    const char size[4] = {static_cast<char>(height >> 8), static_cast<char>(height), static_cast<char>(width >> 8),
                          static_cast<char>(width)};
    return bytes.replace(sof + 5, 4, size, 4);
  };

  struct Case {
    const char* what;
    std::string bytes;
    bool loads;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"wider than a plane", resized(40000, 30), false},
      {"more than 1 GiB of pixels", resized(30000, 30000), false},
      {"same size, as read", resized(40, 30), true},
      {"start marker only", "\xFF\xD8", false},
      {"cut inside the frame header", jpeg.substr(0, jpeg.find("\xFF\xC0") + 6), false},
      {"garbage", std::string(3000, '\x5A'), false},
      {"a bitmap", "BM" + std::string(60, '\0'), false},
      {"two components", write_jpeg(two), false},
      {"five components", write_jpeg(five), false},
      {"631 scans", many_scans(63), false},
      {"401 scans", many_scans(40), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PlanePtr plane(gfx::decode_jpeg(bytes_of(c.bytes)));
    EXPECT_EQ(plane != nullptr, c.loads);
    dir_.write("case.jpg", c.bytes);
    const PlanePtr from_file(gfx::load_jpeg("case.jpg"));
    EXPECT_EQ(from_file != nullptr, c.loads);
  }
  EXPECT_TRUE(g_messages.empty());

  // The pixel cap of decode_jpeg counts output pixels.
  EXPECT_EQ(PlanePtr(gfx::decode_jpeg(bytes_of(jpeg), 40 * 30 - 1)), nullptr);
  EXPECT_NE(PlanePtr(gfx::decode_jpeg(bytes_of(jpeg), 40 * 30)), nullptr);
}

// A truncated file loads: what was there decodes as djpeg decodes it, the
// rest is filled, and the plane has the full size. A cut that leaves a
// table incomplete fails, for djpeg too.
TEST_F(JpegFile, TruncatedFilesLoadWhatTheyHold) {
  for (const char* options : {"", "-progressive"}) {
    SCOPED_TRACE(options);
    const std::string jpeg = make_jpeg(64, 256, false, options);
    const PlanePtr whole(gfx::decode_jpeg(bytes_of(jpeg)));
    ASSERT_NE(whole, nullptr);
    for (const size_t keep : {jpeg.size() / 2, jpeg.size() * 9 / 10, jpeg.size() - 2, jpeg.size() - 100}) {
      SCOPED_TRACE(keep);
      dir_.write("cut.jpg", jpeg.substr(0, keep));
      const Bitmap expected = djpeg_bitmap("cut.jpg", false);
      const PlanePtr cut(gfx::load_jpeg("cut.jpg"));
      if (expected.width == 0) {
        EXPECT_EQ(cut, nullptr);
        continue;
      }
      EXPECT_EQ(compare(cut.get(), expected), "");
      if (!*options && cut) {
        EXPECT_EQ(std::memcmp(gfx::plane_pixel_address(cut.get(), 0, 0), gfx::plane_pixel_address(whole.get(), 0, 0),
                              64 * 3),
                  0)
            << "the top row decodes whole";
      }
    }
    if (!*options) {  // baseline: one run of scan data from a third of the file on
      dir_.write("cut.jpg", jpeg.substr(0, jpeg.size() / 2));
      EXPECT_NE(PlanePtr(gfx::load_jpeg("cut.jpg")), nullptr);
    }
  }
}

// gload picks the loader by the name but falls back to the other one.
TEST_F(JpegFile, GloadTriesBothLoaders) {
  const std::string jpeg = make_jpeg(24, 12, false, "");
  dir_.write("PIC.JPG", jpeg);
  dir_.write("pic.bmp", jpeg);
  dir_.write("broken.jpg", "\xFF\xD8\xFF\xE0 not really");
  EXPECT_EQ(gfx::gload(7, "PIC.JPG"), 1);
  EXPECT_EQ(gfx::plane_width(gfx::plane_get(7)), 24);
  EXPECT_EQ(gfx::plane_bit_count(gfx::plane_get(7)), 24);
  EXPECT_EQ(gfx::gload(8, "pic.bmp"), 1);
  EXPECT_EQ(gfx::plane_height(gfx::plane_get(8)), 12);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(gfx::gload(9, "broken.jpg"), 0);
  EXPECT_EQ(gfx::plane_get(9), nullptr);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], message(Msg::LoadPlaneFailed, "broken.jpg"));
}

// A bitmap named .jpg: the JPEG loader refuses it, the bitmap loader reads it.
TEST_F(JpegFile, GloadReadsABitmapNamedJpg) {
  std::string bmp = "BM";
  put_u32le(bmp, 54 + 8);
  put_u32le(bmp, 0);
  put_u32le(bmp, 54);
  for (uint32_t v : {40u, 1u, 2u}) put_u32le(bmp, v);
  bmp += std::string("\x01\x00\x18\x00", 4) + std::string(24, '\0');
  bmp += std::string("\x10\x20\x30\x00\x40\x50\x60\x00", 8);
  dir_.write("bmp.jpg", bmp);
  EXPECT_EQ(gfx::load_jpeg("bmp.jpg"), nullptr);
  const PlanePtr as_bitmap(gfx::load_bitmap("bmp.jpg"));
  if (!as_bitmap) GTEST_SKIP() << "the bitmap loader does not read bitmaps yet";
  EXPECT_EQ(gfx::gload(10, "bmp.jpg"), 1);
  EXPECT_EQ(gfx::plane_height(gfx::plane_get(10)), 2);
  EXPECT_TRUE(g_messages.empty());
}

}  // namespace
}  // namespace zelt::test
