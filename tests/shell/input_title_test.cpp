// Titles that read the keyboard, mouse, game pads, typed text and the
// script clock, driven by input-events files, headless and in a real window
// (under Xvfb). Each title writes the values it read to out.txt, one a line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "gfx/present/presentation.h"
#include "platform/display.h"
#include "platform/window.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

bool have_display() {
  static const bool yes = [] {
    std::string why;
    return platform::display_available(&why);
  }();
  return yes;
}

// What every title starts with: out() writes a line; until(ms) waits for
// the script clock (counter 255, set at the start); poll_limit() says when
// a wait for an event has taken too long.
constexpr const char* kPrelude = R"(
int out_fp;
char out_buf[64];
void out(int v) { sprintf(out_buf, "%d\n", v); fputs(out_buf, out_fp); }
void until(int ms) { while (getcount(255) < ms) sleep(5); }
int poll_limit() { return getcount(255) > 8000; }
int body();
int main() {
  setcount(255, 0);
  out_fp = fopen("out.txt", "w");
  body();
  fclose(out_fp);
  exit();
}
)";

// Param: headless.
class InputTitle : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!GetParam() && !have_display()) GTEST_SKIP() << "no display (run under xvfb-run)";
  }
  // Runs the title with these events; the lines it wrote.
  std::vector<std::string> run(const std::string& config, int global_focus, const std::string& body,
                               const std::string& events) {
    dir.write("title/zelt.cfg", "[General]\nMultiInstance=1\n" + config);
    // Tests share one X display without a window manager: the window
    // system's focus is not the test's, so it starts given.
    dir.write("title/configure.cfg", "[Option]\nGlobalFocus=" + std::to_string(global_focus) + "\n");
    dir.write("title/zelt/main.c", test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") +
                                       kPrelude + body);
    dir.write("events.txt", "0 focus gained\n" + events);
    const test::RunResult r =
        test::run_zelt((GetParam() ? "--headless " : "") + std::string("--timeout 30 --input ") +
                           (dir / "events.txt") + " " + (dir / "title"),
                       "XDG_CONFIG_HOME=" + (dir / "home"));
    EXPECT_EQ(r.code, 0) << r.output;
    std::vector<std::string> lines;
    std::istringstream in(dir.read("title/out.txt"));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // text mode writes CR LF
      lines.push_back(line);
    }
    return lines;
  }
  static std::vector<std::string> lines(std::initializer_list<int> values) {
    std::vector<std::string> v;
    for (const int x : values) v.push_back(std::to_string(x));
    return v;
  }
  test::TempDir dir;
};

std::string backend_name(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Headless" : "Sdl"; }
INSTANTIATE_TEST_SUITE_P(Backends, InputTitle, ::testing::Values(false, true), backend_name);

// Keys down and up in both code sets, with a Japanese key and the modifiers.
TEST_P(InputTitle, KeysInBothCodeSets) {
  const std::string events =
      "100 key down Left Shift\n100 key down \xE5\xA4\x89\xE6\x8F\x9B\n100 key down Right Ctrl\n100 key down z\n"
      "400 key up z\n";
  // The indices: Left Shift, 変換, Right Ctrl, Z (and the Win32 generic Shift).
  const auto body = [](int shift, int henkan, int ctrl, int z, int generic) {
    return "char keys[256];\n"
           "int body() {\n"
           "  int ok;\n"
           "  while (!((ok = getkey(keys)) && (keys[" + std::to_string(z) + "] & 0x80)) && !poll_limit()) sleep(5);\n"
           "  out(ok); out(keys[" + std::to_string(shift) + "] & 255); out(keys[" + std::to_string(henkan) +
           "] & 255);\n  out(keys[" + std::to_string(ctrl) + "] & 255); out(keys[" + std::to_string(generic) +
           "] & 255);\n"
           "  while (getkey(keys) && (keys[" + std::to_string(z) + "] & 0x80) && !poll_limit()) sleep(5);\n"
           "  out(keys[" + std::to_string(z) + "] & 255);\n"
           "}\n";
  };
  EXPECT_EQ(run("[System]\nDirectInput=1\n", 1, body(0x2A, 0x79, 0x9D, 0x2C, 0x00), events),
            lines({1, 0x80, 0x80, 0x80, 0, 0}));
  // Win32: bit 0 toggles with each press; 0x10 is either Shift.
  EXPECT_EQ(run("[System]\nDirectInput=0\n", 1, body(0xA0, 0x1C, 0xA3, 'Z', 0x10), events),
            lines({1, 0x81, 0x81, 0x81, 0x80, 0x01}));
}

// Typed text arrives in code page 932, lead byte first, bytes >= 0x80
// negative; key_init empties the ring.
TEST_P(InputTitle, TypedTextThroughKeyGet) {
  const std::vector<std::string> got =
      run("", 1,
          "int body() {\n"
          "  int c;\n"
          "  until(400); key_init(); out(key_get());\n"
          "  while (!(c = key_get()) && !poll_limit()) sleep(5);\n"
          "  out(c); until(getcount(255) + 200);\n"
          "  while (c = key_get()) out(c);\n"
          "  out(key_get());\n"
          "}\n",
          "100 text xyz\n600 text a\xE3\x81\x82\xE6\xBC\xA2\n");  // aあ漢
  EXPECT_EQ(got, lines({0, 'a', -126, -96, -118, -65, 0}));
}

// The pointer through a letter-boxed full-screen picture: a click on the
// bar gives coordinates outside the screen plane.
TEST_P(InputTitle, PointerThroughALetterBox) {
  const platform::WindowSize screen = GetParam() ? platform::kHeadlessScreen : platform::screen_size();
  const gfx::Placement p = gfx::placement_for(true, true, screen.w, screen.h, screen.w, screen.h, 320, 120);
  ASSERT_GT(p.y, 4) << "the screen is not letter-boxed";
  const int cx = p.x + p.w / 2, cy = p.y + p.h / 2;
  const std::string events = "500 move " + std::to_string(cx) + " " + std::to_string(cy) + "\n500 wheel 1\n" +
                             "800 move 3 " + std::to_string(p.y / 2) + "\n800 wheel 1\n";
  const std::vector<std::string> got =
      run("[Screen]\nWidth=320\nHeight=120\nFullScreen=1\n", 1,
          "int rec[4];\n"
          "int body() {\n"
          "  getpoint(0);\n"
          "  while (getpoint(rec) && !rec[2] && !poll_limit()) sleep(5);\n"
          "  out(rec[0]); out(rec[1]); out(rec[2]);\n"
          "  while (getpoint(rec) && !rec[2] && !poll_limit()) sleep(5);\n"
          "  out(rec[0]); out(rec[1]);\n"
          "}\n",
          events);
  const auto map = [](int c, int offset, int size, int full) { return (c - offset) * full / size; };
  EXPECT_EQ(got, lines({map(cx, p.x, p.w, 320), map(cy, p.y, p.h, 120), 120, map(3, p.x, p.w, 320),
                        map(p.y / 2, p.y, p.h, 120)}));
  EXPECT_LT(map(p.y / 2, p.y, p.h, 120), 0);
}

// Two threads each see every click once; a click released between two
// calls sets the press bit without the held bit.
TEST_P(InputTitle, PressesDoubleClicksAndWheelPerThread) {
  const std::vector<std::string> got =
      run("", 1,
          "int a[4]; int b[4]; int c[4]; int d[4]; int done;\n"
          "void worker(int arg) {\n"
          "  getpoint(0); until(1200); getpoint(c); getpoint(d); done = 1;\n"
          "}\n"
          "int body() {\n"
          "  thd_begin(worker, 0, 0, 0);\n"
          "  getpoint(0); until(1200); getpoint(a); getpoint(b);\n"
          "  while (!done) sleep(5);\n"
          "  out(a[3]); out(a[2]); out(b[3]); out(b[2]); out(c[3]); out(c[2]); out(d[3]); out(d[2]);\n"
          "}\n",
          "300 button down left\n320 button up left\n400 button down right double\n420 button up right\n"
          "500 wheel -2\n");
  const int flags = (1 << 16) | (1 << 17) | (1 << 25);
  EXPECT_EQ(got, lines({flags, -240, 0, 0, flags, -240, 0, 0}));
}

// cur_clip keeps the pointer inside; cur_setpos moves it (read back at once).
TEST_P(InputTitle, CursorClipAndWarp) {
  const std::vector<std::string> got =
      run("[Screen]\nWidth=640\nHeight=480\n", 1,
          "int rec[4]; int rc[4];\n"
          "int body() {\n"
          "  rc[0] = 100; rc[1] = 100; rc[2] = 200; rc[3] = 150;\n"
          "  out(cur_clip(rc)); out(cur_set(2)); out(cur_set(0)); out(cur_set(1));\n"
          "  getpoint(0);\n"
          "  while (getpoint(rec) && !rec[2] && !poll_limit()) sleep(5);\n"
          "  out(rec[0]); out(rec[1]);\n"
          "  out(cur_clip(0)); out(cur_setpos(20, 30)); getpoint(rec); out(rec[0]); out(rec[1]);\n"
          "  while (getpoint(rec) && !rec[2] && !poll_limit()) sleep(5);\n"
          "  out(rec[0]); out(rec[1]);\n"
          "}\n",
          "500 move 600 400\n500 wheel 1\n1500 move 610 410\n1500 wheel 1\n");
  EXPECT_EQ(got, lines({1, 0, 1, 1, 199, 149, 1, 1, 20, 30, 610, 410}));
}

// A virtual game pad: the dead zone, full deflection, a button, and the pad
// unplugged while the script reads it; both back-ends agree. The steps are
// far apart, so that a slow start under load still reads the first one.
TEST_P(InputTitle, GamePadAxesDeadZoneAndUnplug) {
  const std::string body =
      "int rec[3];\n"
      "int body() {\n"
      "  int ok;\n"
      "  while (!((ok = getjoy(0, rec)) && rec[2]) && !poll_limit()) sleep(5);\n"
      "  out(ok); out(rec[0]); out(rec[1]); out(rec[2]);\n"
      "  while (getjoy(0, rec) && !rec[1] && !poll_limit()) sleep(5);\n"
      "  out(rec[1]);\n"
      "  while (getjoy(0, rec) && !poll_limit()) sleep(5);\n"
      "  out(getjoy(0, rec)); out(rec[0] | rec[1] | rec[2]);\n"
      "  out(getjoy(4, rec)); out(getjoy(-1, rec));\n"
      "}\n";
  const std::string events =
      "100 pad 0 axis x -32768\n100 pad 0 axis y 10000\n100 pad 0 button b down\n"
      "2000 pad 0 axis y 32767\n5000 pad 0 unplug\n";
  for (const char* backend : {"1", "0"})
    EXPECT_EQ(run(std::string("[System]\nDirectInput=") + backend + "\n", 1, body, events),
              lines({1, -1000, 0, 2, 1000, 0, 0, 0, 0}))
        << "DirectInput=" << backend;
}

// Without the focus the devices read empty; the clock stands still while
// the focus is away (GlobalFocus=0 pauses the scripts too).
TEST_P(InputTitle, NoFocusEmptyReadingsAndAStillClock) {
  std::vector<std::string> got =
      run("", 1,
          "char keys[256]; int rec[4]; int m[4];\n"
          "int body() {\n"
          "  int i; int sum;\n"
          "  while (getpoint(rec) && rec[0] != -1 && !poll_limit()) sleep(5);\n"
          "  for (i = 0; i < 256; i++) keys[i] = 85;\n"
          "  m[0] = 7;\n"
          "  out(getkey(keys)); sum = 0; for (i = 0; i < 256; i++) sum = sum + keys[i]; out(sum);\n"
          "  out(getmouse(m)); out(m[0]); out(rec[1]);\n"
          "}\n",
          "100 key down a\n200 focus lost\n");
  EXPECT_EQ(got, lines({0, 0, 0, 0, -1}));
  got = run("", 0,
            "int t[4];\n"  // eight 16-bit fields, two a cell
            "int wall() { gettime(t);\n"
            "  return (((t[2] & 65535) * 60 + (t[2] >> 16 & 65535)) * 60 + (t[3] & 65535)) * 1000 + (t[3] >> 16 & 65535); }\n"
            "int body() {\n"
            "  int w; int start;\n"
            "  setcount(5, 1000); start = getcount(255); w = wall();\n"
            "  until(1000);\n"
            "  out(getcount(5)); out(wall() - w); out(start);\n"
            "}\n",
            "200 focus lost\n1000 focus gained\n");
  ASSERT_EQ(got.size(), 3u);
  const int count = std::stoi(got[0]), wall = std::stoi(got[1]), start = std::stoi(got[2]);
  // until() waits on counter 255, which had run `start` milliseconds when
  // counter 5 was set (a slow start-up); counter 5 then reads 2000 - start,
  // its whole milliseconds possibly one short.
  EXPECT_GE(count + start, 1999);
  EXPECT_LT(count, 2300);
  EXPECT_GE(wall - (count - 1000), 700) << "the clock went on while the focus was away";
}

// 32 threads reading every device at once, wild addresses among them, while
// the user types, moves and a pad comes and goes: no crash, no deadlock.
TEST_P(InputTitle, ThirtyTwoThreadsPollingAtOnce) {
  const std::vector<std::string> got =
      run("[System]\nDirectInput=1\n", 1,
          "int ok[32];\n"
          "void poll(int n) {\n"
          "  char keys[256]; int rec[4]; int bad;\n"
          "  bad = 0;\n"
          "  while (getcount(255) < 900) {\n"
          "    getkey(keys); getpoint(rec); getmouse(rec); getjoy(n & 3, rec); key_get();\n"
          "    bad = bad + getkey(16) + getmouse(-4) + getjoy(0, 1) + gettime(-16) + cur_clip(8);\n"
          "    getpoint(12); setcount(n, n); getcount(n + 250);\n"
          "  }\n"
          "  ok[n] = bad == 0;\n"
          "}\n"
          "int body() {\n"
          "  int i; int n;\n"
          "  for (i = 1; i < 32; i++) thd_begin(poll, i, 0, 4096);\n"
          "  poll(0);\n"
          "  until(1500); n = 0; for (i = 0; i < 32; i++) n = n + ok[i]; out(n);\n"
          "}\n",
          "50 key down a\n100 move 5 5\n150 pad 0 axis x 20000\n200 text abc\n300 button down left\n"
          "350 pad 0 unplug\n400 key up a\n450 pad 1 button a down\n");
  EXPECT_EQ(got, lines({32}));
}

}  // namespace
}  // namespace zelt
