// The frame with both window backends: a real SDL window (under Xvfb;
// skipped when no display is available) and the headless one, driven by
// the same injected user actions with the same results.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "core/app.h"
#include "core/config.h"
#include "core/debug_output.h"
#include "core/script_messages.h"
#include "input/input_state.h"
#include "input/script_clock.h"
#include "platform/display.h"
#include "platform/shortcuts.h"
#include "platform/window.h"
#include "shell/debug_window.h"
#include "shell/frame.h"
#include "support/fifo_reader.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using platform::UserEvent;
using Kind = UserEvent::Kind;

bool have_display() {
  static const bool yes = [] {
    std::string why;
    return platform::display_available(&why);
  }();
  return yes;
}

std::string backend_name(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Headless" : "Sdl"; }

// Pumps the frame's events until `done` holds; false after 5 s (a failure,
// never a wait that the test relies on).
bool pump_until(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    platform::window_pump(*frame_logic(), 20);
  }
  return true;
}

bool client_is(int w, int h) {
  const platform::WindowSize s = frame_window()->client_size();
  return s.w == w && s.h == h;
}

void close_frame() {
  FrameRunOptions run;
  run.until = std::chrono::steady_clock::now();  // ends at once
  frame_run(run);
}

UserEvent event(Kind kind) {
  UserEvent e;
  e.kind = kind;
  return e;
}

UserEvent key(Kind kind, const std::string& name, bool alt = false) {
  UserEvent e = event(kind);
  e.key = platform::key_name(name);
  e.alt = alt;
  return e;
}

UserEvent flag(Kind kind, bool yes) {
  UserEvent e = event(kind);
  e.yes = yes;
  return e;
}

// Param: headless.
class Window : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!GetParam() && !have_display()) GTEST_SKIP() << "no display (run under xvfb-run)";
    platform::set_headless(GetParam());
    platform::window_questions_from_input();
    config_defaults();
    app().fullscreen = false;
  }
  void TearDown() override {
    if (frame_logic()) close_frame();
    platform::set_headless(false);
  }
};

INSTANTIATE_TEST_SUITE_P(Backends, Window, ::testing::Values(false, true), backend_name);

TEST_P(Window, OpensAtTheSavedSizeAndPosition) {
  Config& c = config();
  c.Resize = c.RestoreBounds = c.Direct3D = 1;
  c.WindowLeft = 40;
  c.WindowTop = 30;
  c.WindowWidth = 800;
  c.WindowHeight = 450;
  ASSERT_TRUE(frame_create());
  EXPECT_TRUE(pump_until([] { return client_is(800, 450); }));
  int x = 0, y = 0;
  frame_window()->position(&x, &y);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 30);
}

TEST_P(Window, AResizeIsCorrectedToTheAspectRatio) {
  Config& c = config();
  c.Resize = c.Direct3D = 1;
  ASSERT_TRUE(frame_create());
  ASSERT_TRUE(pump_until([] { return client_is(1024, 576); }));
  frame_window()->set_client_size(1200, 576);  // as if the user dragged the right edge
  EXPECT_TRUE(pump_until([] { return client_is(1200, 675) && config().WindowHeight == 675; }));
  EXPECT_EQ(config().WindowWidth, 1200);
}

TEST_P(Window, FullScreenOnAndBackToTheSameWindow) {
  for (int d3d : {1, 0}) {
    config_defaults();
    config().Direct3D = d3d;
    ASSERT_TRUE(frame_create());
    ASSERT_TRUE(pump_until([] { return client_is(1024, 576); }));
    EXPECT_TRUE(frame_set_fullscreen(true)) << d3d;
    EXPECT_TRUE(app().fullscreen);
    const platform::WindowSize screen = platform::screen_size();
    if (d3d) {
      EXPECT_TRUE(pump_until([&] { return client_is(screen.w, screen.h); }));
    }
    EXPECT_TRUE(frame_set_fullscreen(false)) << d3d;
    EXPECT_FALSE(app().fullscreen);
    EXPECT_TRUE(pump_until([] { return client_is(1024, 576); })) << d3d;
    EXPECT_EQ(config().WindowWidth, 1024);
    close_frame();
  }
}

TEST_P(Window, AltEnterSwitchesFullScreenOnKeyUp) {
  config().Direct3D = 1;
  ASSERT_TRUE(frame_create());
  platform::window_inject(key(Kind::KeyDown, "return", true));
  platform::window_inject(key(Kind::KeyUp, "Return", false));  // Enter without Alt: nothing
  platform::window_pump(*frame_logic(), 0);
  EXPECT_FALSE(app().fullscreen);
  platform::window_inject(key(Kind::KeyUp, "Return", true));
  EXPECT_TRUE(pump_until([] { return app().fullscreen; }));
}

TEST_P(Window, FullScreenByMessageFromAScriptThread) {
  ASSERT_TRUE(frame_create());
  script_messages_install();
  std::atomic<int32_t> result{-1};
  std::thread sender([&] { result = script_message_send(ScriptMsg::setsystem_fullscreen, 1, 0); });
  EXPECT_TRUE(pump_until([&] { return result.load() != -1; }));
  sender.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_TRUE(app().fullscreen);
  script_messages_uninstall();
}

TEST_P(Window, UserInputReachesTheInputState) {
  ASSERT_TRUE(frame_create());
  const input::InputState& s = input::input_state();
  UserEvent text = event(Kind::Text);
  text.text = "a\xE3\x81\x82\xE6\xBC\xA2\xE5\xAD\x97";  // aあ漢字
  platform::window_inject(text);
  UserEvent down = event(Kind::ButtonDown);
  down.button = platform::MouseButton::Right;
  down.double_click = true;
  platform::window_inject(down);
  UserEvent wheel = event(Kind::Wheel);
  wheel.notches = -2;
  platform::window_inject(wheel);
  ASSERT_TRUE(pump_until([&] { return s.ring_write.load() == 7 && s.wheel.load() != 0; }));
  std::string bytes;
  for (uint8_t b; input::input_char_take(&b);) bytes += static_cast<char>(b);
  EXPECT_EQ(bytes, "a\x82\xA0\x8A\xBF\x8E\x9A");  // code page 932
  EXPECT_EQ(s.wheel.load(), -240);
  EXPECT_EQ(s.buttons.load(), 1u << input::kRight);
  EXPECT_EQ(s.double_clicks[input::kRight].load(), 1);
  UserEvent up = event(Kind::ButtonUp);
  up.button = platform::MouseButton::Right;
  platform::window_inject(up);
  EXPECT_TRUE(pump_until([&] { return s.buttons.load() == 0; }));
}

TEST_P(Window, FocusLossPausesTheScriptClockUnlessGlobalFocus) {
  for (int global : {0, 1}) {
    config().GlobalFocus = global;
    ASSERT_TRUE(frame_create());
    platform::window_inject(flag(Kind::Focus, false));
    ASSERT_TRUE(pump_until([] { return frame_shared().focus.load() == 0; })) << global;
    EXPECT_EQ(frame_shared().active.load(), global);
    EXPECT_EQ(input::script_clock_pause_depth(), 1 - global);
    platform::window_inject(flag(Kind::Focus, true));
    ASSERT_TRUE(pump_until([] { return frame_shared().focus.load() == 1; })) << global;
    EXPECT_EQ(frame_shared().active.load(), 1);
    EXPECT_EQ(input::script_clock_pause_depth(), 0);
    close_frame();
  }
}

TEST_P(Window, TheCloseQuestionAnsweredBothWays) {
  config().Confirmation = 1;
  ASSERT_TRUE(frame_create());
  FrameLogic& f = *frame_logic();
  platform::window_inject(event(Kind::Close));
  ASSERT_TRUE(pump_until([&] { return f.closing(); }));
  platform::window_inject(event(Kind::Close));  // ignored while the question is open
  platform::window_inject(flag(Kind::Answer, false));
  ASSERT_TRUE(pump_until([&] { return !f.closing(); }));
  EXPECT_FALSE(f.closed());
  platform::window_inject(flag(Kind::Answer, true));  // no question open: nothing
  platform::window_pump(f, 0);
  EXPECT_FALSE(f.closed());
  platform::window_inject(event(Kind::Close));
  platform::window_inject(flag(Kind::Answer, true));
  EXPECT_TRUE(pump_until([&] { return f.closed(); }));
}

// Pixels of the debug window's list area that are not the list's white.
int inked_pixels(platform::Window& w) {
  std::vector<uint32_t> px;
  platform::WindowSize size;
  if (!w.read_pixels(px, size) || size.w < DebugLayout::kWidth) return -1;
  int inked = 0;
  const DebugLayout::Box l = DebugLayout::kList;
  for (int y = l.y; y < l.y + l.h; ++y)
    for (int x = l.x; x < l.x + l.w; ++x) inked += px[static_cast<size_t>(y) * size.w + x] != 0xFFFFFF;
  return inked;
}

TEST_P(Window, F8AndTheAccessKeysWorkTheDebugWindow) {
  if (GetParam()) GTEST_SKIP() << "headless runs write debug lines to stderr";
  config().DebugMode = 1;
  debug_output_start(true, false);
  ASSERT_TRUE(frame_create());
  for (int i = 0; i < 100; ++i)
    EXPECT_TRUE(debug_output_append("\x83\x65\x83\x58\x83\x67 " + std::string(i, 'w')));  // テスト
  platform::Window* debug = frame_debug_window();
  ASSERT_NE(debug, nullptr);
  EXPECT_FALSE(debug->shown());
  platform::window_inject(key(Kind::KeyDown, "F8"));
  ASSERT_TRUE(pump_until([&] { return debug->shown(); }));
  frame_logic()->on_wake();
  EXPECT_GT(inked_pixels(*debug), 100);  // the lines are drawn
  frame_logic()->on_debug_wheel(3, 2);
  frame_logic()->on_debug_access_key('C');  // Alt+C: "クリア"
  EXPECT_EQ(inked_pixels(*debug), 0);
  frame_logic()->on_debug_access_key('X');  // Alt+X: "閉じる" only hides it
  EXPECT_FALSE(debug->shown());
  platform::window_inject(key(Kind::KeyDown, "F8"));
  ASSERT_TRUE(pump_until([&] { return debug->shown(); }));
  frame_logic()->on_debug_click(DebugLayout::kClose.x + 1, DebugLayout::kClose.y + 1);
  EXPECT_FALSE(debug->shown());
  debug_output_start(false, false);
}

TEST(Shortcuts, KeysOfTheProgramItself) {
  using platform::Shortcut;
  struct Case {
    const char* key;
    bool down, alt, repeat, in_debug;
    Shortcut expect;
  };
  const Case cases[] = {
      {"F8", true, false, false, false, Shortcut::ToggleDebug},
      {"F8", true, false, true, true, Shortcut::None},  // auto-repeat
      {"F8", false, false, false, false, Shortcut::None},
      {"Return", false, true, false, false, Shortcut::ToggleFullscreen},
      {"Keypad Enter", false, true, false, true, Shortcut::ToggleFullscreen},
      {"Return", true, true, false, false, Shortcut::None},
      {"Return", false, false, false, false, Shortcut::None},
      {"C", true, true, false, true, Shortcut::DebugAccessKey},
      {"C", true, true, false, false, Shortcut::None},  // Alt+C in the frame is the title's
      {"C", true, false, false, true, Shortcut::None},
      {"F1", true, true, false, true, Shortcut::None},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::shortcut_of(c.key, c.down, c.alt, c.repeat, c.in_debug), c.expect)
        << c.key << " down=" << c.down << " alt=" << c.alt << " debug=" << c.in_debug;
}

// The whole program (MultiInstance: tests run side by side). Param: headless.
class WindowedRun : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!GetParam() && !have_display()) GTEST_SKIP() << "no display (run under xvfb-run)";
  }
  void write_title(const std::string& config, const std::string& body) {
    dir.write("title/zelt.cfg", "[General]\nMultiInstance=1\n" + config);
    // Tests share one X display without a window manager: the focus moves
    // between their windows and never comes back, which would pause them.
    dir.write("title/configure.cfg", "[Option]\nGlobalFocus=1\n");
    dir.write("title/zelt/main.c",
              test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") + body);
  }
  test::RunResult run(const std::string& args) {
    return test::run_zelt((GetParam() ? "--headless " : "") + args + " " + (dir / "title"),
                          "XDG_CONFIG_HOME=" + (dir / "home"));
  }
  test::TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Backends, WindowedRun, ::testing::Values(false, true), backend_name);

constexpr const char* kRunsOn = "int main() { while (1) sleep(10); }\n";

TEST_P(WindowedRun, ExitClosesWithoutTheQuestion) {
  write_title("[Option]\nConfirmation=1\n", "int main() { exit(); }\n");
  const test::RunResult r = run("--timeout 30");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output.find("time is up"), std::string::npos) << r.output;
}

TEST_P(WindowedRun, FullScreenAtStartIsWrittenBack) {
  write_title("[Screen]\nFullScreen=1\n[Option]\nConfirmation=1\n", "int main() { exit(); }\n");
  const test::RunResult r = run("--timeout 30");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(dir.read("title/configure.cfg").find("FullScreen=1"), std::string::npos);
}

TEST_P(WindowedRun, InputEventsCloseThroughTheQuestion) {
  struct Case {
    const char* events;
    bool time_up;  // still running when the timeout ends it
  };
  const Case cases[] = {
      {"0 close\n50 answer cancel\n100 close\n150 answer ok\n", false},
      {"# the user thinks better of it\n0 close\n50 answer cancel\n", true},
      {"0 close\n", true},  // a question nobody answers
  };
  for (const Case& c : cases) {
    write_title("[Option]\nConfirmation=1\n", kRunsOn);
    dir.write("events.txt", c.events);
    const test::RunResult r = run("--timeout " + std::string(c.time_up ? "1" : "30") + " --input " + (dir / "events.txt"));
    EXPECT_EQ(r.code, 0) << c.events << r.output;
    EXPECT_EQ(r.output.find("time is up") != std::string::npos, c.time_up) << c.events << r.output;
  }
}

TEST_P(WindowedRun, ABadEventsFileStopsBeforeStarting) {
  write_title("", kRunsOn);
  dir.write("events.txt", "0 close\n5 jump\n");
  test::RunResult r = run("--input " + (dir / "events.txt"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("events.txt: line 2: unknown event 'jump'"), std::string::npos) << r.output;
  r = run("--input " + (dir / "missing.txt"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("missing.txt"), std::string::npos) << r.output;
  EXPECT_EQ(dir.read("title/configure.cfg"), "[Option]\nGlobalFocus=1\n");  // nothing started, nothing written back
}

TEST_P(WindowedRun, TheScreenshotIsWhatTheWindowShows) {
  write_title("[Screen]\nWidth=320\nHeight=240\n", "int main() { exit(); }\n");
  const test::RunResult r = run("--timeout 30 --screenshot " + (dir / "shot.bmp"));
  ASSERT_EQ(r.code, 0) << r.output;
  const std::string bmp = dir.read("shot.bmp");
  ASSERT_EQ(bmp.size(), 54u + 320 * 240 * 3);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  const auto u16 = [&](size_t at) { return static_cast<uint8_t>(bmp[at]) + 256 * static_cast<uint8_t>(bmp[at + 1]); };
  EXPECT_EQ(u16(18), 320);  // width
  EXPECT_EQ(u16(22), 240);  // height
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(bmp.find_first_not_of('\0', 54), std::string::npos);  // black until titles draw
  const test::RunResult bad = run("--timeout 30 --screenshot " + (dir / "no/such/folder/shot.bmp"));
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.output.find("--screenshot"), std::string::npos) << bad.output;
}

TEST_P(WindowedRun, TheScreenshotGoesIntoAFifoWithoutReplacingIt) {
  write_title("[Screen]\nWidth=320\nHeight=240\n", "int main() { exit(); }\n");
  const std::string fifo = dir / "shot.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test::FifoReader reader(fifo);
  const test::RunResult r = run("--timeout 30 --screenshot " + fifo);
  EXPECT_EQ(r.code, 0) << r.output;
  const std::string bmp = reader.take();
  EXPECT_EQ(bmp.size(), 54u + 320 * 240 * 3);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_P(WindowedRun, NativeCodeReadsTheRuntimeInfo) {
  dir.write("title/plug.c",
            "#include \"zelt_plugin.h\"\n"
            "int size(void) {\n"
            "  ZeltRuntimeInfo i;\n"
            "  if (zelt_runtime_info(&i) != 0 || *i.stop_flag || (*i.active & ~1)) return -1;\n"
            "  return i.width * 1000 + i.height;\n"
            "}\n");
  const std::string cc = "cc -shared -fPIC -o " + (dir / "title/libplug.so") + " " + (dir / "title/plug.c") +
                         " -I" + std::string(ZELT_SOURCE_DIR) + "/include";
  ASSERT_EQ(std::system(cc.c_str()), 0) << cc;
  write_title("[Screen]\nWidth=640\nHeight=480\n",
              "int main() { int lib; lib = dll_load(\"plug\");\n"
              "  if (dll_call(dll_proc(lib, \"size\")) == 640480) pack_save(\"ok.zlt\", \"ok\", 2);\n"
              "  exit(); }\n");
  const test::RunResult r = run("--timeout 30");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(std::filesystem::exists(dir / "title/ok.zlt")) << r.output;
}

}  // namespace
}  // namespace zelt
