// A title that draws sharp text with the initial font slot and smooth text
// through a slot it describes itself (font_set, font_use, gtextf), run
// headless: the screenshot must equal the same calls made in this process.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/primitives.h"
#include "gfx/text/font_slots.h"
#include "gfx/text/text_draw.h"
#include "support/run_zelt.h"
#include "support/screenshot.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

constexpr int kWidth = 64, kHeight = 48;

const char* kTitle = R"(
char d[48];
int main() {
  int *ip;
  gclear(0, 0, 0x203040);
  gtext(0, 2, 2, 0xE0, "Aあ字");
  memset(d, 0, 48); strcpy(d, "Arial"); ip = d; ip[8] = -14; ip[10] = 16;
  font_set(1, d);
  font_use(1);
  gtextf(0, 2, 24, 0x1C, "n=%d", 42);
  update(0);
  exit();
}
)";

// The same drawing in this process, as 0xRRGGBB rows top to bottom.
std::vector<uint32_t> expected_picture() {
  using namespace gfx;
  planes_reset();
  palettes_reset();
  kFontsSubsystem.start();
  galloc(1, kWidth, kHeight, 32);
  gclear(1, nullptr, 0x203040);
  gtext(1, 2, 2, 0xE0, cp932::from_utf8("Aあ字"), 0, 2);
  FontDescription d{};
  std::memcpy(d.face, "Arial", 5);
  d.height = -14;
  d.flags = kFontSmooth;
  font_set(1, d);
  gtext(1, 2, 24, 0x1C, "n=42", 1, 2);
  std::vector<uint32_t> p;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint32_t v;
      std::memcpy(&v, plane_pixel_address(plane_get(1), x, y), 4);
      p.push_back(v & 0xFFFFFF);
    }
  kFontsSubsystem.stop();
  planes_reset();
  return p;
}

TEST(TextTitle, SharpAndSmoothTextReachTheScreen) {
  test::TempDir dir;
  dir.write("title/zelt.cfg", "[General]\nMultiInstance=1\n[Screen]\nWidth=64\nHeight=48\nDepth=32\n");
  dir.write("title/zelt/main.c", test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") +
                                     cp932::from_utf8(kTitle));
  const test::RunResult r = test::run_zelt(
      "--headless --timeout 20 --screenshot " + (dir / "shot.bmp") + " " + (dir / "title"),
      "XDG_CONFIG_HOME=" + (dir / "home"));
  ASSERT_EQ(r.code, 0) << r.output;
  const std::vector<uint32_t> got = test::read_screenshot(dir.read("shot.bmp"), kWidth, kHeight);
  ASSERT_FALSE(got.empty()) << "no 64 x 48 screenshot\n" << r.output;
  const std::vector<uint32_t> expected = expected_picture();
  int wrong = 0, text = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (expected[i] != 0x203040) ++text;
    if (got[i] != expected[i] && ++wrong <= 12)
      ADD_FAILURE() << "pixel (" << i % kWidth << ", " << i / kWidth << "): " << std::hex << got[i] << " instead of "
                    << expected[i];
  }
  EXPECT_GT(text, 60) << "both strings are drawn";
  EXPECT_EQ(wrong, 0) << r.output;
}

}  // namespace
}  // namespace zelt
