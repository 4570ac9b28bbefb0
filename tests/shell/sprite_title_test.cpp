// A title that composes sprites over a background for a few frames with
// sp_draw and update, run headless: the screenshot must show the background
// and the sprites at their last places, nothing left behind from earlier
// frames. The expected picture is built here by a plain model: plain copies
// for unscaled sprites, filled rectangles for the uniform scaled and
// quarter-turned ones, and the source-alpha formula for the blended one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/run_zelt.h"
#include "support/screenshot.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

constexpr int kWidth = 64, kHeight = 48;

// Slots: 1 background (8 x 8 checks), 2 a 6 x 4 pattern, 3 an 8 x 8 parent
// pattern, 4 a 4 x 4 child pattern, 5 a uniform 4 x 4 (drawn twice as big),
// 6 a uniform 8 x 4 (a quarter turn about its centre), 7 a uniform 4 x 4 with
// alpha 0x80 (drawn with mode 7). Each frame moves every sprite; the parent
// carries its child.
const char* kTitle = R"(
int rc[4];
int mode[3];
int changed[4];
void fill(int plane, int x, int y, int w, int h, int v) {
  rc[0] = x; rc[1] = y; rc[2] = x + w; rc[3] = y + h; gclear(plane, rc, v);
}
int main() {
  int x; int y; int f; int *s; int *r; int *a; int *p; int *c; int *t;
  galloc(1, 64, 48, 32);
  for (y = 0; y < 48; y = y + 8) {
    for (x = 0; x < 64; x = x + 8) {
      if ((x + y) & 8) fill(1, x, y, 8, 8, 0xFF604020); else fill(1, x, y, 8, 8, 0xFF204060);
    }
  }
  galloc(2, 6, 4, 32);
  for (y = 0; y < 4; y++) for (x = 0; x < 6; x++) fill(2, x, y, 1, 1, 0xFF000080 + x * 0x280000 + y * 0x3C00);
  galloc(3, 8, 8, 32);
  for (y = 0; y < 8; y++) for (x = 0; x < 8; x++) fill(3, x, y, 1, 1, 0xFF800010 + x * 0x100000 + y * 0x1000);
  galloc(4, 4, 4, 32);
  for (y = 0; y < 4; y++) for (x = 0; x < 4; x++) fill(4, x, y, 1, 1, 0xFF00FF00 + x * 0x100000 + y * 0x20);
  galloc(5, 4, 4, 32); gclear(5, 0, 0xFF00C0C0);
  galloc(6, 8, 4, 32); gclear(6, 0, 0xFFC0C000);
  galloc(7, 4, 4, 32); gclear(7, 0, 0x80FF0000);
  mode[0] = 7 + (255 << 16); mode[1] = 0; mode[2] = 0;
  sp_setbg(1);
  s = sp_set(0, 2, 0, 0, 5, 0, 0); s[8] = 0x20000; s[9] = 0x20000;
  r = sp_set(0, 2, 0, 0, 6, 0, 0); r[6] = 4; r[7] = 2; r[12] = 512;
  a = sp_set(0, 2, 0, 0, 2, 0, 0);
  p = sp_set(0, 2, 0, 0, 3, 0, 0);
  c = sp_set(0, 2, 5, 2, 4, 0, 0);
  t = sp_set(0, 2, 0, 0, 7, 0, mode);
  sp_link(p, c);
  for (f = 0; f < 4; f++) {
    s[4] = 2 + f; s[5] = 2 + f;
    r[4] = 16 + 3 * f; r[5] = 12;
    a[4] = 4 + 3 * f; a[5] = 30;
    p[4] = 40 + f; p[5] = 4 + 2 * f;
    t[4] = 30 + 2 * f; t[5] = 36;
    sp_draw(-1, changed);
    update(changed);
  }
  exit();
}
)";

using Picture = std::vector<uint32_t>;  // 0xRRGGBB, rows top to bottom

uint32_t background(int x, int y) { return ((x >> 3) + (y >> 3)) & 1 ? 0x604020 : 0x204060; }

void put(Picture& p, int x, int y, uint32_t c) { p[static_cast<size_t>(y) * kWidth + x] = c; }
uint32_t at(const Picture& p, int x, int y) { return p[static_cast<size_t>(y) * kWidth + x]; }

// Mode 7 over an opaque pixel: floor((t s + (255 - t) d) / 255) per channel.
uint32_t source_alpha(uint32_t s, uint32_t d, uint32_t t) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t sc = s >> shift & 0xFF, dc = d >> shift & 0xFF;
    out |= (t * sc + (255 - t) * dc) / 255 << shift;
  }
  return out;
}

// The last frame as the sprites' fields put it.
Picture expected_picture() {
  Picture p(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) put(p, x, y, background(x, y));
  const auto rect = [&](int left, int top, int w, int h, uint32_t c) {
    for (int y = top; y < top + h; ++y)
      for (int x = left; x < left + w; ++x) put(p, x, y, c);
  };
  // In list order. The scaled sprite: hot spot (0, 0) at (5, 5), 4 x 4 twice as big.
  rect(5, 5, 8, 8, 0x00C0C0);
  // The turned one: 8 x 4 about its centre at (25, 12) becomes 4 x 8.
  rect(23, 8, 4, 8, 0xC0C000);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) put(p, 13 + x, 30 + y, 0x80u | (40u * x) << 16 | (60u * y) << 8);
  // The parent at (43, 10), its child 5 right and 2 down of the parent's hot spot, drawn after it.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) put(p, 43 + x, 10 + y, (0x80u + 16 * x) << 16 | (16u * y) << 8 | 0x10);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) put(p, 48 + x, 12 + y, (16u * x) << 16 | 0xFF00 | 32u * y);
  // Alpha 0x80 with descriptor alpha 255: t = 128.
  for (int y = 36; y < 40; ++y)
    for (int x = 36; x < 40; ++x) put(p, x, y, source_alpha(0xFF0000, background(x, y), 128));
  return p;
}

TEST(SpriteTitle, FramesOfMovingSpritesShowTheirLastPlacesOverTheBackground) {
  test::TempDir dir;
  dir.write("title/zelt.cfg",
            "[General]\nMultiInstance=1\n[Screen]\nWidth=64\nHeight=48\nDepth=32\nSmoothing=0\n");
  dir.write("title/zelt/main.c",
            test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") + kTitle);
  const test::RunResult r = test::run_zelt(
      "--headless --timeout 20 --screenshot " + (dir / "shot.bmp") + " " + (dir / "title"),
      "XDG_CONFIG_HOME=" + (dir / "home"));
  ASSERT_EQ(r.code, 0) << r.output;
  const Picture got = test::read_screenshot(dir.read("shot.bmp"), kWidth, kHeight);
  ASSERT_FALSE(got.empty()) << "no 64 x 48 screenshot\n" << r.output;
  const Picture expected = expected_picture();
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (at(got, x, y) != at(expected, x, y) && ++wrong <= 12)
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << at(got, x, y) << " instead of "
                      << at(expected, x, y);
  EXPECT_EQ(wrong, 0) << r.output;
}

}  // namespace
}  // namespace zelt
