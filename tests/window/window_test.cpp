// The frame with a real SDL window. Runs under Xvfb (scripts/test wraps the
// tests in xvfb-run); skipped when no display is available.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/display.h"
#include "platform/window.h"
#include "shell/app.h"
#include "shell/config.h"
#include "shell/debug_output.h"
#include "shell/debug_window.h"
#include "shell/frame.h"
#include "shell/script_messages.h"
#include "shell/startup.h"
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

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_display()) GTEST_SKIP() << "no display (run under xvfb-run)";
    config_defaults();
    app().fullscreen = false;
  }
  void TearDown() override {
    if (frame_logic()) frame_run(std::chrono::steady_clock::now());  // closes at once
  }
};

TEST_F(Window, OpensAtTheSavedSizeAndPosition) {
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

TEST_F(Window, AResizeIsCorrectedToTheAspectRatio) {
  Config& c = config();
  c.Resize = c.Direct3D = 1;
  ASSERT_TRUE(frame_create());
  ASSERT_TRUE(pump_until([] { return client_is(1024, 576); }));
  frame_window()->set_client_size(1200, 576);  // as if the user dragged the right edge
  EXPECT_TRUE(pump_until([] { return client_is(1200, 675) && config().WindowHeight == 675; }));
  EXPECT_EQ(config().WindowWidth, 1200);
}

TEST_F(Window, FullScreenOnAndBackToTheSameWindow) {
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
    frame_run(std::chrono::steady_clock::now());
  }
}

TEST_F(Window, FullScreenByMessageFromAScriptThread) {
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

TEST_F(Window, F8TogglesTheDebugWindowWhichDrawsItsLines) {
  config().DebugMode = 1;
  debug_output_start(true, false);
  ASSERT_TRUE(frame_create());
  for (int i = 0; i < 100; ++i)
    EXPECT_TRUE(debug_output_append("\x83\x65\x83\x58\x83\x67 " + std::string(i, 'w')));  // テスト
  ASSERT_NE(frame_debug_window(), nullptr);
  EXPECT_FALSE(frame_debug_window()->shown());
  frame_logic()->on_toggle_debug();
  EXPECT_TRUE(frame_debug_window()->shown());
  frame_logic()->on_debug_wheel(3, 2);
  frame_logic()->on_wake();
  frame_logic()->on_debug_click(DebugLayout::kClear.x + 1, DebugLayout::kClear.y + 1);
  EXPECT_TRUE(frame_debug_window()->shown());
  frame_logic()->on_debug_click(DebugLayout::kClose.x + 1, DebugLayout::kClose.y + 1);
  EXPECT_FALSE(frame_debug_window()->shown());  // "閉じる" only hides it
  frame_logic()->on_toggle_debug();
  frame_logic()->on_toggle_debug();
  EXPECT_FALSE(frame_debug_window()->shown());
  debug_output_start(false, false);
}

// The whole program in a window (MultiInstance: tests run side by side).
class WindowedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_display()) GTEST_SKIP() << "no display (run under xvfb-run)";
    std::filesystem::create_directories(dir / "zelt");
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
  void write_script(const std::string& body) {
    std::ifstream in(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h");
    write("zelt/main.c", std::string(std::istreambuf_iterator<char>(in), {}) + body);
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir / name);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  test::TempDir dir;
};

TEST_F(WindowedRun, ExitClosesWithoutTheQuestion) {
  write("zelt.cfg", "[General]\nMultiInstance=1\n[Option]\nConfirmation=1\n");
  write_script("int main() { exit(); }\n");
  const test::RunResult r = test::run_zelt(dir.path() + " --timeout 30");
  EXPECT_EQ(r.code, 0) << r.output;
}

TEST_F(WindowedRun, FullScreenAtStartIsWrittenBack) {
  write("zelt.cfg", "[General]\nMultiInstance=1\n[Screen]\nFullScreen=1\n[Option]\nConfirmation=1\n");
  write_script("int main() { exit(); }\n");
  const test::RunResult r = test::run_zelt(dir.path() + " --timeout 30");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(read("configure.cfg").find("FullScreen=1"), std::string::npos) << read("configure.cfg");
}

}  // namespace
}  // namespace zelt
