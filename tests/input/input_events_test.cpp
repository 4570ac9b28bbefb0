// Input-events files: what each line means and how a wrong one is reported.
#include "input/input_events.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zelt::input {
namespace {

using Kind = platform::UserEvent::Kind;
using platform::MouseButton;

TEST(InputEvents, EachKindOfLine) {
  const std::string text =
      "# a comment\n"
      "\n"
      "0 key down Alt+return\r\n"
      "  5\tkey up Ctrl+Shift+keypad enter  \n"
      "10 move -3 700\n"
      "10 button down middle double\n"
      "11 button up right\n"
      "20 wheel -2\n"
      "30 text  こんにちは world \n"
      "40 focus lost\n"
      "41 focus gained\n"
      "50 close\n"
      "4294967295 answer cancel";
  std::vector<TimedEvent> ev;
  std::string error;
  ASSERT_TRUE(parse_input_events(text, &ev, &error)) << error;
  ASSERT_EQ(ev.size(), 11u);
  EXPECT_EQ(ev[0].event.kind, Kind::KeyDown);
  EXPECT_EQ(ev[0].event.key, "Return");  // spelled as the window layer reports it
  EXPECT_TRUE(ev[0].event.alt);
  EXPECT_EQ(ev[1].at_ms, 5u);
  EXPECT_EQ(ev[1].event.kind, Kind::KeyUp);
  EXPECT_EQ(ev[1].event.key, "Keypad Enter");
  EXPECT_TRUE(ev[1].event.ctrl && ev[1].event.shift && !ev[1].event.alt);
  EXPECT_EQ(ev[2].event.kind, Kind::Move);
  EXPECT_EQ(ev[2].event.x, -3);
  EXPECT_EQ(ev[2].event.y, 700);
  EXPECT_EQ(ev[3].event.button, MouseButton::Middle);
  EXPECT_TRUE(ev[3].event.double_click);
  EXPECT_EQ(ev[4].event.kind, Kind::ButtonUp);
  EXPECT_EQ(ev[4].event.button, MouseButton::Right);
  EXPECT_EQ(ev[5].event.notches, -2);
  EXPECT_EQ(ev[6].event.text, "こんにちは world ");  // the rest of the line as it stands
  EXPECT_FALSE(ev[7].event.yes);
  EXPECT_TRUE(ev[8].event.yes);
  EXPECT_EQ(ev[9].event.kind, Kind::Close);
  EXPECT_EQ(ev[10].event.kind, Kind::Answer);
  EXPECT_FALSE(ev[10].event.yes);
  EXPECT_EQ(ev[10].at_ms, 4294967295u);
}

TEST(InputEvents, GamePadAndJapaneseKeyLines) {
  const std::string text =
      "0 pad 3 axis righttrigger -32768\n"
      "1 pad 0 button leftshoulder down\n"
      "2 pad 1 unplug\n"
      "3 key down \xE5\xA4\x89\xE6\x8F\x9B\n"  // 変換
      "4 key up Left Shift\n";
  std::vector<TimedEvent> ev;
  std::string error;
  ASSERT_TRUE(parse_input_events(text, &ev, &error)) << error;
  ASSERT_EQ(ev.size(), 5u);
  EXPECT_EQ(ev[0].event.kind, Kind::PadAxis);
  EXPECT_EQ(ev[0].event.pad, 3);
  EXPECT_EQ(ev[0].event.index, 5);
  EXPECT_EQ(ev[0].event.value, -32768);
  EXPECT_EQ(ev[1].event.kind, Kind::PadButton);
  EXPECT_EQ(ev[1].event.index, 9);
  EXPECT_TRUE(ev[1].event.yes);
  EXPECT_EQ(ev[2].event.kind, Kind::PadUnplug);
  EXPECT_EQ(ev[2].event.pad, 1);
  EXPECT_EQ(ev[3].event.scancode, 138);  // SDL's International 4
  EXPECT_EQ(ev[4].event.scancode, 225);
}

TEST(InputEvents, WrongLinesNameTheLineAndTheFault) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"close", "line 1: expected a time in milliseconds"},
      {"-5 close", "line 1: expected a time in milliseconds"},
      {"4294967296 close", "line 1: expected a time in milliseconds"},
      {"10 close\n\n5 close", "line 3: the time goes back (5 after 10)"},
      {"0 jump", "line 1: unknown event 'jump'"},
      {"0 close now", "line 1: unexpected 'now'"},
      {"0 key press A", "line 1: expected 'key down' or 'key up'"},
      {"0 key down", "line 1: a key name is missing"},
      {"0 key down Alt+", "line 1: unknown key 'Alt+'"},
      {"0 key down NoSuchKey", "line 1: unknown key 'NoSuchKey'"},
      {"0 move 1", "line 1: expected 'move X Y'"},
      {"0 move 1 40000", "line 1: expected 'move X Y'"},
      {"0 button down thumb", "line 1: expected a button: left, right or middle"},
      {"0 button up left double", "line 1: unexpected 'double'"},
      {"0 wheel 1001", "line 1: expected 'wheel N' with N from -1000 to 1000"},
      {"0 wheel", "line 1: expected 'wheel N' with N from -1000 to 1000"},
      {"0 text", "line 1: the text is missing"},
      {"0 text \x82\xA0", "line 1: the text is not UTF-8"},        // code page 932 bytes
      {"0 text \xC0\xAF", "line 1: the text is not UTF-8"},        // overlong
      {"0 text \xED\xA0\x80", "line 1: the text is not UTF-8"},    // surrogate
      {"0 focus away", "line 1: expected 'focus lost' or 'focus gained'"},
      {"0 answer yes", "line 1: expected 'answer ok' or 'answer cancel'"},
      {"0 pad 4 plug", "line 1: expected 'pad N' with N from 0 to 3"},
      {"0 pad 0 shake", "line 1: expected 'pad N plug|unplug|axis|button'"},
      {"0 pad 0 axis z 5", "line 1: expected an axis: x, y, rightx, righty, lefttrigger, righttrigger"},
      {"0 pad 0 axis x 32768", "line 1: expected an axis value from -32768 to 32767"},
      {"0 pad 0 button q down", "line 1: unknown pad button"},
      {"0 pad 0 button a", "line 1: expected 'down' or 'up' after the button"},
      {"0 pad 0 unplug now", "line 1: unexpected 'now'"},
  };
  for (const auto& c : cases) {
    std::vector<TimedEvent> ev;
    std::string error;
    EXPECT_FALSE(parse_input_events(c.text, &ev, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_TRUE(ev.empty()) << c.text;
  }
}

TEST(InputEvents, FilesAreReadWhole) {
  test::TempDir dir;
  dir.write("ok.txt", "0 close\n");
  dir.write("empty.txt", "");
  std::vector<TimedEvent> ev;
  std::string error;
  EXPECT_TRUE(load_input_events(dir / "ok.txt", &ev, &error)) << error;
  EXPECT_EQ(ev.size(), 1u);
  EXPECT_TRUE(load_input_events(dir / "empty.txt", &ev, &error)) << error;
  EXPECT_TRUE(ev.empty());
  for (const std::string& bad : {dir / "missing.txt", dir.path()}) {
    EXPECT_FALSE(load_input_events(bad, &ev, &error));
    EXPECT_EQ(error.rfind(bad + ": ", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace zelt::input
