// The frame's event handling against a fake window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app.h"
#include "core/close_request.h"
#include "core/config.h"
#include "core/script_messages.h"
#include "input/input_state.h"
#include "input/script_clock.h"
#include "shell/frame.h"
#include "zelt_plugin.h"

namespace zelt {
namespace {

struct FakeWindow : platform::Window {
  platform::WindowSize size{1024, 576};
  std::vector<platform::WindowSize> resizes;
  std::vector<std::string> questions;
  bool full = false, fail_fullscreen = false, visible = false, captured = false;
  int fullscreen_calls = 0;

  platform::WindowSize client_size() override { return size; }
  void set_client_size(int w, int h) override { resizes.push_back({w, h}); }
  void position(int* x, int* y) override { *x = *y = 0; }
  void set_size_limits(platform::WindowSize, platform::WindowSize) override {}
  bool set_fullscreen(bool on, bool, int, int) override {
    ++fullscreen_calls;
    if (fail_fullscreen) return false;
    full = on;
    return true;
  }
  void raise() override {}
  void capture_mouse(bool on) override { captured = on; }
  void ask_ok_cancel(const std::string& caption, const std::string& text) override {
    questions.push_back(caption + "|" + text);
  }
  void paint_black() override {}
  void present_pixels(const uint32_t*, int, int, int, int) override {}
  std::unique_ptr<platform::ScreenRenderer> create_renderer(int, int, platform::RendererFailure* failure) override {
    *failure = platform::RendererFailure::renderer;
    return nullptr;
  }
  bool read_pixels(std::vector<uint32_t>&, platform::WindowSize&) override { return false; }
  void show(bool v) override { visible = v; }
  bool shown() override { return visible; }
  void show_cursor(bool) override {}
  void confine_mouse(int, int, int, int) override {}
  void warp_mouse(int, int) override {}
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    config_defaults();
    app().fullscreen = false;
    frame_shared().active = 1;
    frame_shared().focus = 1;
    clear_close_request();
    input::input_state_reset();
    input::script_clock_reset();
  }
  void TearDown() override { app().fullscreen = false; }

  FakeWindow window, debug;
  FrameLogic frame{window, &debug, {1024, 576}};
};

TEST_F(Frame, ResizeIsCorrectedOnceAndTheAnswerIsTaken) {
  frame.on_resized(1280, 576);  // the user dragged the right edge
  ASSERT_EQ(window.resizes.size(), 1u);
  EXPECT_EQ(window.resizes[0].w, 1280);
  EXPECT_EQ(window.resizes[0].h, 720);
  frame.on_resized(1280, 720);  // the window system's answer: no second correction
  EXPECT_EQ(window.resizes.size(), 1u);
  EXPECT_EQ(config().WindowWidth, 1280);
  EXPECT_EQ(config().WindowHeight, 720);
}

TEST_F(Frame, ASizeTheWindowSystemForcesBackIsNotFoughtOver) {
  frame.on_resized(1280, 576);
  frame.on_resized(1280, 576);  // correction refused: the same size again
  frame.on_resized(1280, 576);
  EXPECT_EQ(window.resizes.size(), 1u);
  EXPECT_EQ(frame.client(), (FrameSize{1280, 576}));
}

TEST_F(Frame, FullScreenKeepsTheWindowBoundsAndSwitchesOnlyOnChange) {
  config().WindowLeft = 5;
  config().WindowWidth = 1024;
  EXPECT_TRUE(frame.set_fullscreen(true));
  EXPECT_TRUE(app().fullscreen);
  frame.on_resized(1920, 1000);  // not the plane's ratio: no correction in full screen
  frame.on_moved(0, 0);
  EXPECT_TRUE(window.resizes.empty());
  EXPECT_EQ(config().WindowWidth, 1024);
  EXPECT_EQ(config().WindowLeft, 5);
  EXPECT_TRUE(frame.set_fullscreen(true));  // already: nothing to do
  EXPECT_EQ(window.fullscreen_calls, 1);
  frame.on_toggle_fullscreen();  // Alt+Enter
  EXPECT_FALSE(app().fullscreen);
  frame.on_maximize_request();
  EXPECT_TRUE(app().fullscreen);
  frame.on_toggle_fullscreen();
  window.fail_fullscreen = true;
  EXPECT_FALSE(frame.set_fullscreen(true));
  EXPECT_FALSE(app().fullscreen);  // a failed switch leaves the recorded state
}

TEST_F(Frame, CloseAsksOnceAndCancelKeepsRunning) {
  config().Confirmation = 1;
  frame.on_close_request();
  frame.on_close_request();  // a second close while the question is open
  ASSERT_EQ(window.questions.size(), 1u);
  EXPECT_EQ(window.questions[0], "終了確認|終了しますか？");
  EXPECT_EQ(frame_shared().focus.load(), 0);
  frame.on_question_answered(false);
  EXPECT_FALSE(frame.closed());
  EXPECT_EQ(frame_shared().focus.load(), 1);
  frame.on_close_request();
  frame.on_question_answered(true);
  EXPECT_TRUE(frame.closed());
}

TEST_F(Frame, WithoutConfirmationAndOnExitNoQuestion) {
  config().Confirmation = 0;
  frame.on_close_request();
  EXPECT_TRUE(frame.closed());
  EXPECT_TRUE(window.questions.empty());

  FakeWindow w2;
  FrameLogic f2(w2, nullptr, {1024, 576});
  config().Confirmation = 1;
  post_close_request();  // exit or a fault
  f2.on_wake();
  EXPECT_TRUE(f2.closed());
  EXPECT_TRUE(w2.questions.empty());
}

TEST_F(Frame, ExitWhileTheQuestionIsOpenClosesEvenOnCancel) {
  config().Confirmation = 1;
  frame.on_close_request();
  post_close_request();
  frame.on_wake();
  EXPECT_FALSE(frame.closed());
  frame.on_question_answered(false);
  EXPECT_TRUE(frame.closed());
}

TEST_F(Frame, FocusPausesOnlyOnRealChangesUnlessGlobalFocus) {
  frame.on_focus(false);
  EXPECT_EQ(frame_shared().active.load(), 0);
  EXPECT_EQ(frame_shared().focus.load(), 0);
  EXPECT_EQ(input::script_clock_pause_depth(), 1);
  frame.on_focus(false);  // no change: no second pause
  EXPECT_EQ(input::script_clock_pause_depth(), 1);
  const uint32_t frozen = input::script_clock_now();
  EXPECT_EQ(input::script_clock_now(), frozen);
  frame.on_focus(true);
  EXPECT_EQ(input::script_clock_pause_depth(), 0);
  EXPECT_EQ(frame_shared().active.load(), 1);

  config().GlobalFocus = 1;
  frame.on_focus(false);
  EXPECT_EQ(input::script_clock_pause_depth(), 0);
  EXPECT_EQ(frame_shared().active.load(), 1);
  EXPECT_EQ(frame_shared().focus.load(), 0);  // the focus flag always follows
  frame.on_focus(true);
}

TEST_F(Frame, MouseButtonsWheelAndCapture) {
  using platform::MouseButton;
  const input::InputState& s = input::input_state();
  frame.on_button(MouseButton::Left, true, false);
  frame.on_button(MouseButton::Right, true, false);
  EXPECT_EQ(s.buttons.load(), 3u);
  EXPECT_TRUE(window.captured);
  frame.on_button(MouseButton::Left, false, false);
  EXPECT_TRUE(window.captured);  // the right button is still held
  frame.on_button(MouseButton::Right, false, false);
  EXPECT_FALSE(window.captured);
  frame.on_button(MouseButton::Middle, true, true);  // a double click
  frame.on_button(MouseButton::Middle, false, false);
  EXPECT_EQ(s.presses[input::kMiddle].load(), 1);
  EXPECT_EQ(s.double_clicks[input::kMiddle].load(), 1);
  EXPECT_EQ(s.presses[input::kLeft].load(), 1);
  frame.on_wheel(120);
  frame.on_wheel(-240);
  EXPECT_EQ(s.wheel.load(), -120);
}

TEST_F(Frame, TextReachesTheRingAsCodePage932) {
  frame.on_text("aあ");
  uint8_t b[3];
  for (uint8_t& x : b) ASSERT_TRUE(input::input_char_take(&x));
  EXPECT_EQ(b[0], 'a');
  EXPECT_EQ(b[1], 0x82);
  EXPECT_EQ(b[2], 0xA0);
  EXPECT_FALSE(input::input_char_take(&b[0]));
}

TEST_F(Frame, F8TogglesTheDebugWindowOnlyWhenItExists) {
  frame.on_toggle_debug();
  EXPECT_TRUE(debug.visible);
  frame.on_toggle_debug();
  EXPECT_FALSE(debug.visible);
  FrameLogic no_debug(window, nullptr, {1024, 576});
  no_debug.on_toggle_debug();  // nothing happens
}

TEST(FrameMessages, RuntimeInfoFillsTheRecordOrNothing) {
  frame_messages_register();
  script_messages_install();
  EXPECT_EQ(zelt_runtime_info(nullptr), 0);
  ZeltRuntimeInfo info{};
  info.width = -1;
  EXPECT_EQ(zelt_runtime_info(&info), 0);
  EXPECT_NE(info.width, -1);
  EXPECT_NE(info.stop_flag, nullptr);
  EXPECT_NE(info.active, nullptr);
  EXPECT_EQ(*info.active, 1);
  script_messages_uninstall();
}

}  // namespace
}  // namespace zelt
