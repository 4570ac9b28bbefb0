// The presentation as titles use it, headless (the screen texture written
// by --screenshot): palette changes on an 8-bit view page, update with
// rectangles anywhere and unusable addresses, many threads updating at
// once; and the unscaled path's choice of a full-screen display mode.
#include "shell/presenter.h"

#include <gtest/gtest.h>

#include <string>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

TEST(FullScreenMode, SmallestThatHoldsTheScreenInTheSystemsOrder) {
  using platform::WindowSize;
  struct Case {
    std::vector<WindowSize> modes;
    WindowSize expected;
  };
  const Case cases[] = {
      {{{1024, 768}, {1280, 720}}, {1024, 768}},
      {{{1280, 720}, {1024, 768}}, {1280, 720}},  // not smaller in both directions: kept
      {{{1920, 1080}, {1280, 720}, {800, 600}, {1024, 600}}, {1024, 600}},
      {{{800, 600}, {1024, 500}}, {0, 0}},  // none holds 1024 x 576
      {{}, {0, 0}},
  };
  for (const Case& c : cases) {
    const WindowSize got = fullscreen_mode(c.modes, 1024, 576);
    EXPECT_EQ(got.w, c.expected.w);
    EXPECT_EQ(got.h, c.expected.h);
  }
}

class PresenterRun : public ::testing::Test {
 protected:
  // Runs the title headless and returns the screenshot's first pixel
  // (bottom row first in the file: the picture's bottom-left) as 0xRRGGBB.
  std::string run_title(const std::string& config, const std::string& body) {
    dir.write("title/zelt.cfg", "[General]\nMultiInstance=1\n[Screen]\nWidth=64\nHeight=48\n" + config);
    dir.write("title/zelt/main.c",
              test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") + body);
    const test::RunResult r = test::run_zelt("--headless --timeout 20 --screenshot " + (dir / "shot.bmp") + " " +
                                                 (dir / "title"),
                                             "XDG_CONFIG_HOME=" + (dir / "home"));
    EXPECT_EQ(r.code, 0) << r.output;
    output = r.output;
    return dir.read("shot.bmp");
  }
  static uint32_t first_pixel(const std::string& bmp) {
    if (bmp.size() < 57) return 0xFFFFFFFF;
    return static_cast<uint8_t>(bmp[56]) << 16 | static_cast<uint8_t>(bmp[55]) << 8 | static_cast<uint8_t>(bmp[54]);
  }
  test::TempDir dir;
  std::string output;
};

// An 8-bit view page shows the global palette: a change reaches the
// accelerated path with the next update, the unscaled one at once.
TEST_F(PresenterRun, PaletteChangesOnAnEightBitViewPage) {
  const std::string draw =
      "int main() { gclear(0, 0, 0x1000005); update(0); pal_set(5, 0x123456); pal_change(); %s exit(); }\n";
  // Entry 5 of the start-up palette, as the first update shows it.
  const uint32_t before = first_pixel(
      run_title("Depth=8\n", "int main() { gclear(0, 0, 0x1000005); update(0); exit(); }\n"));
  ASSERT_NE(before, 0x123456u);
  struct Case {
    const char* config;
    const char* after;
    uint32_t expected;
  };
  const Case cases[] = {
      {"Depth=8\n[System]\nDirect3D=1\n", "", before},
      {"Depth=8\n[System]\nDirect3D=1\n", "update(0);", 0x123456},
      {"Depth=8\n[System]\nDirect3D=0\n", "", 0x123456},
  };
  for (const Case& c : cases) {
    char body[256];
    std::snprintf(body, sizeof body, draw.c_str(), c.after);
    EXPECT_EQ(first_pixel(run_title(c.config, body)), c.expected) << c.config << c.after << output;
  }
}

// update with rectangles anywhere, unusable addresses and from many
// threads at once: no fault, and the last update is what shows.
TEST_F(PresenterRun, UpdateWithWildRectanglesAndManyThreads) {
  const std::string bmp = run_title(
      "",
      "int r[4]; int done;\n"
      "void spin(int n) { int i; int q[4]; for (i = 0; i < 200; i++) {\n"
      "  q[0] = i * 1000000 - 0x7FFFFFFF; q[1] = -i; q[2] = 0x7FFFFFFF - i; q[3] = i * 7; update(q); update(0); }\n"
      "  done = done + 1; }\n"
      "int main() { int i; int t[31];\n"
      "  gclear(0, 0, 0x00FF00);\n"
      "  r[0] = -0x80000000; r[1] = -0x80000000; r[2] = 0x7FFFFFFF; r[3] = 0x7FFFFFFF;\n"
      "  if (update(r) != 1 || update(16) != 0 || update(0xFFFFFFF8) != 0) exit();\n"
      "  r[0] = 64; r[1] = 0; r[2] = 100; r[3] = 10; if (update(r) != 0) exit();\n"
      "  for (i = 0; i < 31; i++) t[i] = thd_begin(spin, i, 0, 0);\n"
      "  for (i = 0; i < 31; i++) thd_end(t[i]);\n"
      "  gclear(0, 0, 0x0000FF); update(0); exit(); }\n");
  EXPECT_EQ(first_pixel(bmp), 0x0000FFu) << output;
}

}  // namespace
}  // namespace zelt
