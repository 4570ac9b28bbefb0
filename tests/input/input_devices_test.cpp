// The two back-ends' readings fed by the frame's events, the joystick axis
// rules, the pointer's mapping and per-thread snapshots, the cursor
// requests and the counters.
#include "input/input_devices.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>

#include "core/config.h"
#include "core/subsystem.h"
#include "input/input_state.h"
#include "input/pointer.h"
#include "input/script_clock.h"
#include "platform/display.h"
#include "platform/key_codes.h"

namespace zelt::input {
namespace {

int scancode(const char* name) { return platform::key_scancode(name); }

class InputDevices : public ::testing::Test {
 protected:
  void start(bool directinput) {
    config_defaults();
    config().DirectInput = directinput;
    platform::set_headless(true);
    input_state_reset();
    ASSERT_TRUE(kInputSubsystem.start());
  }
  void TearDown() override {
    kInputSubsystem.stop();
    platform::set_headless(false);
  }
};

TEST_F(InputDevices, KeyboardInBothCodeSets) {
  for (const bool dinput : {true, false}) {
    start(dinput);
    input_key(scancode("Right Shift"), true);
    input_key(scancode("Henkan"), true);
    input_key(scancode("A"), true);
    input_key(scancode("A"), false);
    input_mouse_button(0, true);
    std::array<uint8_t, 256> keys;
    ASSERT_TRUE(read_keyboard(keys));
    if (dinput) {
      // Held keys only, bit 7.
      std::array<uint8_t, 256> want{};
      want[0x36] = want[0x79] = 0x80;
      EXPECT_EQ(keys, want);
    } else {
      EXPECT_EQ(keys[0xA1], 0x81);  // Right Shift, toggled once
      EXPECT_EQ(keys[0x10], 0x80);  // either Shift
      EXPECT_EQ(keys[0xA0], 0x00);
      EXPECT_EQ(keys[0x1C], 0x81);  // 変換
      EXPECT_EQ(keys['A'], 0x01);   // up, toggled by its press
      EXPECT_EQ(keys[0x01], 0x80);  // the left mouse button
    }
    // Without the focus nothing is held and the keyboard cannot be read.
    input_unacquire();
    EXPECT_FALSE(read_keyboard(keys));
    input_acquire();
    ASSERT_TRUE(read_keyboard(keys));
    EXPECT_EQ(keys[dinput ? 0x36 : 0xA1] & 0x80, 0);
    kInputSubsystem.stop();
  }
}

TEST_F(InputDevices, MouseMovementSinceTheLastReading) {
  start(true);
  input_mouse_moved(10, 10, 4, -3);
  input_mouse_moved(12, 5, 2, -5);
  input_mouse_wheel(-240);
  input_mouse_button(3, true);
  std::array<int32_t, 4> rec;
  ASSERT_TRUE(read_mouse(rec));
  EXPECT_EQ(rec, (std::array<int32_t, 4>{6, -8, -240, 8}));
  ASSERT_TRUE(read_mouse(rec));
  EXPECT_EQ(rec, (std::array<int32_t, 4>{0, 0, 0, 8}));
  kInputSubsystem.stop();
  // Win32: buttons only, three of them.
  start(false);
  input_mouse_moved(10, 10, 4, -3);
  input_mouse_button(1, true);
  input_mouse_button(3, true);
  ASSERT_TRUE(read_mouse(rec));
  EXPECT_EQ(rec, (std::array<int32_t, 4>{0, 0, 0, 2}));
}

TEST(JoystickAxes, DirectInputRangeAndDeadZone) {
  const struct {
    int32_t raw, want;
  } cases[] = {{0, 0}, {16383, 0}, {-16383, 0}, {16384, 0}, {16400, 1}, {24575, 500},
               {32767, 1000}, {-32767, -1000}, {-32768, -1000}, {-24575, -500}};
  for (const auto& c : cases) EXPECT_EQ(dinput_axis(c.raw), c.want) << c.raw;
}

TEST(JoystickAxes, Win32HalfRangesAndCentres) {
  const struct {
    uint32_t p, min, max;
    int32_t want;
  } cases[] = {
      {32767, 0, 65535, 0},     {0, 0, 65535, -1000},    {65535, 0, 65535, 1000},
      {16384, 0, 65535, 0},     {16383, 0, 65535, 0},    {15384, 0, 65535, -61},
      {49150, 0, 65535, 0},     {49151, 0, 65535, 0},    {50150, 0, 65535, 61},
      {101, 100, 101, 0},       {99, 100, 101, -1000},   {102, 100, 101, 1000},  // half range below 2
      {0, 0, 0xFFFFFFFF, -1000}, {0xFFFFFFFF, 0, 0xFFFFFFFF, 1000},  // no 32-bit overflow
  };
  for (const auto& c : cases) EXPECT_EQ(win32_axis(c.p, c.min, c.max), c.want) << c.p << " in " << c.min << ".." << c.max;
}

TEST_F(InputDevices, JoysticksOutsideTheSlotsOrAbsentFail) {
  start(true);
  std::array<int32_t, 3> rec{7, 7, 7};
  for (const int32_t j : {-1, 0, 3, 4, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(read_joystick(j, rec)) << j;
    EXPECT_EQ(rec, (std::array<int32_t, 3>{})) << j;
  }
}

// A letter-boxed 640 x 480 screen in a 1920 x 1080 client: 1440 x 1080 at 240.
void letterbox() { pointer_set_map({.left = 240, .top = 0, .width = 1440, .height = 1080, .screen_w = 640, .screen_h = 480}); }

TEST(Pointer, MapsThroughTheDestinationRectangle) {
  letterbox();
  pointer_reset();
  const struct {
    int cx, cy;
    int32_t x, y;
  } cases[] = {{240, 0, 0, 0}, {960, 540, 320, 240}, {1679, 1079, 639, 479}, {100, 500, -62, 222}, {1800, 10, 693, 4}};
  for (const auto& c : cases) {
    pointer_moved(c.cx, c.cy);
    const PointRecord r = pointer_read(0, true);
    EXPECT_EQ(r.x, c.x) << c.cx;
    EXPECT_EQ(r.y, c.y) << c.cy;
  }
  EXPECT_EQ(screen_to_client(320, 240, 1440, 640), 960);
  EXPECT_EQ(screen_to_client(INT32_MIN, 240, 1440, 640), INT32_MIN);  // clamped, no overflow
}

TEST(Pointer, PressesDoubleClicksAndWheelPerThread) {
  letterbox();
  input_state_reset();
  pointer_reset();
  pointer_read(0, true);
  pointer_read(5, true);
  // A click and a release between two calls; a double click of the right.
  input_button_down(kLeft, false);
  input_button_up(kLeft);
  input_button_down(kRight, true);
  input_wheel(240);
  for (const int slot : {0, 5}) {
    const PointRecord r = pointer_read(slot, true);
    EXPECT_EQ(static_cast<uint32_t>(r.flags), (1u << 1) | (1u << 16) | (1u << 17) | (1u << 25)) << slot;
    EXPECT_EQ(r.wheel, 240) << slot;
    const PointRecord again = pointer_read(slot, true);
    EXPECT_EQ(again.flags, 2) << slot;  // only the held right button
    EXPECT_EQ(again.wheel, 0) << slot;
  }
  // Without the focus: the empty record, but the snapshot moves on.
  input_wheel(-120);
  const PointRecord away = pointer_read(7, false);
  EXPECT_EQ(away.x, -1);
  EXPECT_EQ(away.y, -1);
  EXPECT_EQ(away.wheel, 0);
  EXPECT_EQ(away.flags, 0);
  EXPECT_EQ(pointer_read(7, true).wheel, 0);
  EXPECT_EQ(pointer_read(-1, true).wheel, 120);  // outside any thread: its own snapshot
}

TEST(Cursor, ShapesAndRequests) {
  letterbox();
  pointer_reset();
  ASSERT_TRUE(cursor_request_shape(0));
  EXPECT_FALSE(cursor_request_shape(2));
  EXPECT_FALSE(cursor_request_shape(-1));
  EXPECT_FALSE(cursor_visible());
  CursorRequests r = cursor_take_requests();
  EXPECT_EQ(r.visible, false);
  EXPECT_FALSE(r.clip || r.position);
  cursor_request_position(320, 240);
  r = cursor_take_requests();
  ASSERT_TRUE(r.position);
  EXPECT_EQ(*r.position, std::make_pair(960, 540));
  EXPECT_EQ(pointer_read(0, true).x, 320);  // read back at once
}

TEST(Cursor, ClipRectanglesIntersectTheScreenPlane) {
  letterbox();
  const struct {
    int32_t rect[4];
    ClientRect want;
  } cases[] = {
      {{0, 0, 640, 480}, {240, 0, 1440, 1080}},
      {{10, 20, 110, 220}, {262, 45, 225, 450}},
      {{-100, -100, 10, 10}, {240, 0, 22, 22}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {240, 0, 1440, 1080}},
      {{700, 0, 800, 100}, {}},                     // outside: released
      {{100, 100, 100, 200}, {}},                   // empty
      {{200, 200, 100, 100}, {}},                   // reversed
      {{INT32_MAX - 1, 0, INT32_MAX, 10}, {}},
  };
  for (const auto& c : cases) {
    cursor_request_clip(c.rect);
    const CursorRequests r = cursor_take_requests();
    ASSERT_TRUE(r.clip);
    EXPECT_EQ(r.clip->x, c.want.x) << c.rect[0];
    EXPECT_EQ(r.clip->y, c.want.y) << c.rect[1];
    EXPECT_EQ(r.clip->w, c.want.w) << c.rect[2];
    EXPECT_EQ(r.clip->h, c.want.h) << c.rect[3];
  }
  cursor_request_clip(nullptr);
  EXPECT_EQ(cursor_take_requests().clip->w, 0);
}

TEST(Counters, ReadTheClockAgainstTheirBase) {
  script_clock_reset();
  counters_reset();
  for (const int32_t n : {-1, 256, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(counter_set(n, 5)) << n;
    EXPECT_EQ(counter_get(n), 0) << n;
  }
  ASSERT_TRUE(counter_set(255, -7));
  ASSERT_TRUE(counter_set(0, INT32_MAX));
  script_clock_pause_begin();  // stands still: exact values
  EXPECT_EQ(counter_get(255), -7);
  EXPECT_EQ(counter_get(0), INT32_MAX);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(counter_get(255), -7);
  script_clock_pause_end();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_GE(counter_get(255), 20);
  EXPECT_LT(counter_get(0), 0);  // wraps as 32-bit arithmetic does
}

TEST(LocalTime, EightFieldsInRange) {
  uint16_t t[8];
  local_time(t);
  EXPECT_GE(t[0], 2024);
  EXPECT_TRUE(t[1] >= 1 && t[1] <= 12);
  EXPECT_LE(t[2], 6);
  EXPECT_TRUE(t[3] >= 1 && t[3] <= 31);
  EXPECT_LE(t[4], 23);
  EXPECT_LE(t[5], 59);
  EXPECT_LE(t[6], 59);
  EXPECT_LE(t[7], 999);
}

}  // namespace
}  // namespace zelt::input
