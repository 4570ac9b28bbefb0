// What a user sees: a title draws a known picture and calls update; the
// real window is read from outside the program (xwd on an X server of its
// own with a window manager, as on a desktop) at its first size, after a
// resize, and in full screen; and a headless run of the same title writes
// the same --screenshot bytes as the windowed one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

constexpr int kWidth = 320, kHeight = 240;

// The picture: red with a blue right half and a green square.
uint32_t expected_pixel(int x, int y) {
  if (x >= 100 && x < 140 && y >= 80 && y < 120) return 0x00FF00;
  return x < 160 ? 0xFF0000 : 0x0000FF;
}

constexpr const char* kTitle =
    "int r[4];\n"
    "int main() {\n"
    "  gclear(0, 0, 0xFF0000);\n"
    "  r[0] = 160; r[1] = 0; r[2] = 320; r[3] = 240; gclear(0, r, 0x0000FF);\n"
    "  update(0);\n"
    "  r[0] = 100; r[1] = 80; r[2] = 140; r[3] = 120; gclear(0, r, 0x00FF00);\n"
    "  update(r);\n"
    "  pack_save(\"ready.zlt\", \"ok\", 2);\n"
    "  while (1) sleep(10);\n"
    "}\n";

struct Picture {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0x00RRGGBB
  uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

uint32_t be32(const std::string& d, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(d[at]) << 24 | static_cast<uint8_t>(d[at + 1]) << 16 |
                               static_cast<uint8_t>(d[at + 2]) << 8 | static_cast<uint8_t>(d[at + 3]));
}

// A ZPixmap xwd dump of 24-bit colour with 8-bit masks; empty when it is not one.
Picture read_xwd(const std::string& d) {
  Picture p;
  if (d.size() < 100) return p;
  const uint32_t header = be32(d, 0), format = be32(d, 8), w = be32(d, 16), h = be32(d, 20), order = be32(d, 28);
  const uint32_t bpp = be32(d, 44), line = be32(d, 48), red = be32(d, 56), green = be32(d, 60);
  const uint32_t blue = be32(d, 64), colours = be32(d, 76);
  if (format != 2 || (bpp != 24 && bpp != 32) || red != 0xFF0000 || green != 0xFF00 || blue != 0xFF || w == 0)
    return p;
  // Some servers report 24 bits per pixel for rows of 32-bit pixels: the
  // row length tells.
  const uint32_t step = line / w;
  if (step < 3) return p;
  const size_t data = header + static_cast<size_t>(colours) * 12;
  if (d.size() < data + static_cast<size_t>(line) * h) return p;
  p.w = static_cast<int>(w);
  p.h = static_cast<int>(h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const size_t at = data + static_cast<size_t>(y) * line + static_cast<size_t>(x) * step;
      const uint32_t v = order == 0 ? (static_cast<uint8_t>(d[at]) | static_cast<uint8_t>(d[at + 1]) << 8 |
                                       static_cast<uint8_t>(d[at + 2]) << 16)
                                    : be32(d, at) >> (step == 4 ? 0 : 8);
      p.px.push_back(v & 0xFFFFFF);
    }
  return p;
}

// Compares the picture drawn scaled into (ox, oy, w, h) of a screen read.
// Linear filtering mixes neighbours only where the picture changes: a
// pixel whose source neighbourhood (one source pixel each way, since the
// filter reaches one texel) is of one colour must be exactly that colour;
// elsewhere each channel must lie between the neighbourhood's extremes.
// Returns the number of pixels that break the rule.
int scaled_mismatches(const Picture& shot, int ox, int oy, int w, int h) {
  int bad = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int sx = x * kWidth / w, sy = y * kHeight / h;
      uint32_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = std::clamp(sx + dx, 0, kWidth - 1), ny = std::clamp(sy + dy, 0, kHeight - 1);
          const uint32_t v = expected_pixel(nx, ny);
          for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], v >> (8 * c) & 255);
            hi[c] = std::max(hi[c], v >> (8 * c) & 255);
          }
        }
      const uint32_t got = shot.at(ox + x, oy + y);
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = got >> (8 * c) & 255;
        if (v < lo[c] || v > hi[c]) {
          ++bad;
          break;
        }
      }
    }
  return bad;
}

bool have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

class PresentWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xvfb-run", "openbox", "xwd", "xwininfo", "xdotool"})
      if (!have(tool)) GTEST_SKIP() << tool << " is not installed";
    dir.write("title/zelt.cfg", "[General]\nMultiInstance=1\n[Window]\nTitle=present test\nResize=1\n[Screen]\nWidth=320\nHeight=240\n");
    dir.write("title/zelt/main.c",
              test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") + kTitle);
  }
  test::TempDir dir;
};

TEST_F(PresentWindow, TheWindowShowsTheViewPageAtEverySize) {
  const std::string d = dir.path();
  dir.write("scenario.sh",
            "set -u\n"
            "cd '" + d + "'\n"
            "openbox >/dev/null 2>&1 & wm=$!\n"
            "sleep 1\n"
            "XDG_CONFIG_HOME='" + d + "/home' " + ZELT_BINARY +
            " --timeout 30 --screenshot windowed.bmp title > zelt.log 2>&1 & z=$!\n"
            "for i in $(seq 200); do [ -f title/ready.zlt ] && break; sleep 0.05; done\n"
            "sleep 1\n"
            "wid=$(xdotool search --name '^present test$' | head -1)\n"
            "echo \"window $wid\" >> scenario.log\n"
            "xwd -id \"$wid\" -silent > window.xwd\n"
            "xdotool windowsize --sync \"$wid\" 640 480; sleep 1\n"
            "xwd -id \"$wid\" -silent > resized.xwd\n"
            // Alt+Enter, once more if the window is not full screen after 10 s
            // (a slow sanitizer build under load).
            "full=no\n"
            "for attempt in 1 2; do\n"
            "  xdotool windowactivate --sync \"$wid\"; sleep 0.3\n"
            "  xdotool keydown alt; sleep 0.1; xdotool key Return; sleep 0.1; xdotool keyup alt\n"
            "  for i in $(seq 200); do xwininfo -id \"$wid\" | grep -q 'Width: 1280' && full=yes && break; sleep 0.05; done\n"
            "  [ $full = yes ] && break\n"
            "done\n"
            "echo \"full screen: $full\" >> scenario.log\n"
            "sleep 2\n"
            "xwd -root -silent > fullscreen.xwd\n"
            "kill -TERM $z; wait $z; echo \"exit $?\" >> scenario.log\n"
            "kill $wm\n");
  const std::string command = "xvfb-run -a -s '-screen 0 1280x1024x24' bash " + d + "/scenario.sh";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string log = dir.read("scenario.log") + dir.read("zelt.log");

  // First size: the client area is the screen, pixel for pixel.
  const Picture window = read_xwd(dir.read("window.xwd"));
  ASSERT_EQ(window.w, kWidth) << log;
  ASSERT_EQ(window.h, kHeight) << log;
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) wrong += window.at(x, y) != expected_pixel(x, y);
  EXPECT_EQ(wrong, 0);

  // Resized to twice the size: scaled with linear filtering.
  const Picture resized = read_xwd(dir.read("resized.xwd"));
  ASSERT_EQ(resized.w, 640) << log;
  ASSERT_EQ(resized.h, 480) << log;
  EXPECT_EQ(scaled_mismatches(resized, 0, 0, 640, 480), 0);

  // Full screen on 1280 x 1024: the 4:3 picture letter-boxed to 1280 x 960
  // at y = 32, black bars above and below.
  ASSERT_NE(log.find("full screen: yes"), std::string::npos) << log;
  const Picture full = read_xwd(dir.read("fullscreen.xwd"));
  ASSERT_EQ(full.w, 1280) << log;
  ASSERT_EQ(full.h, 1024) << log;
  int bars = 0;
  for (int y = 0; y < 1024; ++y)
    if (y < 32 || y >= 992)
      for (int x = 0; x < 1280; ++x) bars += full.at(x, y) != 0;
  EXPECT_EQ(bars, 0) << "the bars are black";
  EXPECT_EQ(scaled_mismatches(full, 0, 32, 1280, 960), 0);

  // The windowed screenshot is the screen texture: the same bytes as a
  // headless run writes.
  const test::RunResult headless = test::run_zelt("--headless --timeout 3 --screenshot " + (dir / "headless.bmp") + " " +
                                                  (dir / "title"), "XDG_CONFIG_HOME=" + (dir / "home"));
  ASSERT_EQ(headless.code, 0) << headless.output;
  const std::string shot = dir.read("headless.bmp");
  EXPECT_EQ(shot.size(), 54u + kWidth * kHeight * 3);
  EXPECT_EQ(dir.read("windowed.bmp"), shot) << log;
}

// Scripts update in a loop while the user resizes the window and switches
// full screen on and off: no fault, no deadlock, and once the loop ends
// the window shows the last update.
TEST_F(PresentWindow, ResizesAndFullScreenWhileUpdating) {
  const std::string d = dir.path();
  dir.write("title/zelt/main.c",
            test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") +
                "int r[4];\n"
                "int main() { int i;\n"
                "  for (i = 0; i < 300; i++) { gclear(0, 0, i * 0x010203); update(0); sleep(5); }\n"
                "  gclear(0, 0, 0xFF0000);\n"
                "  r[0] = 160; r[1] = 0; r[2] = 320; r[3] = 240; gclear(0, r, 0x0000FF);\n"
                "  r[0] = 100; r[1] = 80; r[2] = 140; r[3] = 120; gclear(0, r, 0x00FF00);\n"
                "  update(0);\n"
                "  pack_save(\"ready.zlt\", \"ok\", 2);\n"
                "  while (1) sleep(10);\n"
                "}\n");
  dir.write("scenario.sh",
            "set -u\n"
            "cd '" + d + "'\n"
            "openbox >/dev/null 2>&1 & wm=$!\n"
            "sleep 1\n"
            "XDG_CONFIG_HOME='" + d + "/home' " + ZELT_BINARY + " --timeout 60 title > zelt.log 2>&1 & z=$!\n"
            "for i in $(seq 100); do wid=$(xdotool search --name '^present test$' | head -1); [ -n \"$wid\" ] && break; sleep 0.05; done\n"
            "for k in 1 2 3 4; do\n"
            "  xdotool windowsize \"$wid\" 400 300; sleep 0.2\n"
            "  xdotool windowactivate \"$wid\"; xdotool keydown alt; xdotool key Return; xdotool keyup alt; sleep 0.2\n"
            "  xdotool keydown alt; xdotool key Return; xdotool keyup alt; sleep 0.2\n"
            "  xdotool windowsize \"$wid\" 640 480; sleep 0.2\n"
            "done\n"
            "for i in $(seq 400); do [ -f title/ready.zlt ] && break; sleep 0.05; done\n"
            "sleep 1\n"
            "xwd -id \"$wid\" -silent > last.xwd\n"
            "kill -TERM $z; wait $z\n"
            "kill $wm\n");
  const std::string command = "xvfb-run -a -s '-screen 0 1280x1024x24' bash " + d + "/scenario.sh";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string log = dir.read("zelt.log");
  EXPECT_TRUE(std::filesystem::exists(dir / "title/ready.zlt")) << log;
  const Picture last = read_xwd(dir.read("last.xwd"));
  ASSERT_GT(last.w, 0) << log;
  EXPECT_EQ(scaled_mismatches(last, 0, 0, last.w, last.h), 0) << last.w << " x " << last.h;
}

}  // namespace
}  // namespace zelt
