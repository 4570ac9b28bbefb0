#include "input/input_events.h"

#include "platform/key_codes.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zelt::input {
namespace {

using Kind = platform::UserEvent::Kind;

// Splits off the next word (up to a space or tab); `rest` keeps what follows
// with leading blanks removed.
std::string_view next_word(std::string_view& rest) {
  const size_t end = rest.find_first_of(" \t");
  std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  const size_t start = rest.find_first_not_of(" \t");
  rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
  return word;
}

bool to_int(std::string_view s, long long lo, long long hi, long long* v) {
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, *v);
  return ec == std::errc() && p == end && !s.empty() && *v >= lo && *v <= hi;
}

// Well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    const auto c1 = static_cast<uint8_t>(s[i + 1]);
    const uint8_t lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const uint8_t hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (c1 < lo || c1 > hi) return false;
    for (size_t k = 2; k < n; ++k)
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

bool either(std::string_view word, std::string_view yes, std::string_view no, bool* value) {
  if (word == yes) *value = true;
  else if (word == no) *value = false;
  else return false;
  return true;
}

// The game controller's axes and buttons by name, numbered as SDL numbers
// them.
constexpr std::string_view kPadAxes[] = {"x", "y", "rightx", "righty", "lefttrigger", "righttrigger"};
constexpr std::string_view kPadButtons[] = {"a",         "b",          "x",           "y",           "back",
                                            "guide",     "start",      "leftstick",   "rightstick",  "leftshoulder",
                                            "rightshoulder", "up",     "down",        "left",        "right"};

template <size_t N>
int pad_name(const std::string_view (&names)[N], std::string_view word) {
  for (size_t i = 0; i < N; ++i)
    if (names[i] == word) return static_cast<int>(i);
  return -1;
}

// Parses everything after the time; returns "" or why the line is wrong.
std::string parse_event(std::string_view rest, platform::UserEvent* e) {
  const std::string_view what = next_word(rest);
  if (what == "key") {
    bool down;
    if (!either(next_word(rest), "down", "up", &down)) return "expected 'key down' or 'key up'";
    e->kind = down ? Kind::KeyDown : Kind::KeyUp;
    // Modifiers first; the key name may contain spaces ("Keypad Enter").
    for (;;) {
      const size_t plus = rest.find('+');
      if (plus == std::string_view::npos || plus + 1 == rest.size()) break;
      const std::string_view mod = rest.substr(0, plus);
      if (mod == "Alt") e->alt = true;
      else if (mod == "Ctrl") e->ctrl = true;
      else if (mod == "Shift") e->shift = true;
      else break;
      rest.remove_prefix(plus + 1);
    }
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
    if (rest.empty()) return "a key name is missing";
    e->key = platform::key_name(std::string(rest));
    e->scancode = platform::key_scancode(std::string(rest));
    if (e->key.empty() || e->scancode < 0) return "unknown key '" + std::string(rest) + "'";
    return "";
  }
  if (what == "move") {
    long long x, y;
    if (!to_int(next_word(rest), -32768, 32767, &x) || !to_int(next_word(rest), -32768, 32767, &y))
      return "expected 'move X Y'";
    e->kind = Kind::Move;
    e->x = static_cast<int>(x);
    e->y = static_cast<int>(y);
  } else if (what == "button") {
    bool down;
    if (!either(next_word(rest), "down", "up", &down)) return "expected 'button down' or 'button up'";
    e->kind = down ? Kind::ButtonDown : Kind::ButtonUp;
    const std::string_view b = next_word(rest);
    if (b == "left") e->button = platform::MouseButton::Left;
    else if (b == "right") e->button = platform::MouseButton::Right;
    else if (b == "middle") e->button = platform::MouseButton::Middle;
    else return "expected a button: left, right or middle";
    if (down && rest == "double") {
      e->double_click = true;
      rest = {};
    }
  } else if (what == "wheel") {
    long long n;
    if (!to_int(next_word(rest), -1000, 1000, &n)) return "expected 'wheel N' with N from -1000 to 1000";
    e->kind = Kind::Wheel;
    e->notches = static_cast<int>(n);
  } else if (what == "text") {
    if (rest.empty()) return "the text is missing";
    if (!valid_utf8(rest)) return "the text is not UTF-8";
    e->kind = Kind::Text;
    e->text = std::string(rest);
    return "";
  } else if (what == "focus") {
    if (!either(next_word(rest), "gained", "lost", &e->yes)) return "expected 'focus lost' or 'focus gained'";
    e->kind = Kind::Focus;
  } else if (what == "pad") {
    long long n;
    if (!to_int(next_word(rest), 0, 3, &n)) return "expected 'pad N' with N from 0 to 3";
    e->pad = static_cast<int>(n);
    const std::string_view action = next_word(rest);
    if (action == "plug") {
      e->kind = Kind::PadPlug;
    } else if (action == "unplug") {
      e->kind = Kind::PadUnplug;
    } else if (action == "axis") {
      const int axis = pad_name(kPadAxes, next_word(rest));
      long long v;
      if (axis < 0) return "expected an axis: x, y, rightx, righty, lefttrigger, righttrigger";
      if (!to_int(next_word(rest), -32768, 32767, &v)) return "expected an axis value from -32768 to 32767";
      e->kind = Kind::PadAxis;
      e->index = axis;
      e->value = static_cast<int>(v);
    } else if (action == "button") {
      const int button = pad_name(kPadButtons, next_word(rest));
      if (button < 0) return "unknown pad button";
      if (!either(next_word(rest), "down", "up", &e->yes)) return "expected 'down' or 'up' after the button";
      e->kind = Kind::PadButton;
      e->index = button;
    } else {
      return "expected 'pad N plug|unplug|axis|button'";
    }
  } else if (what == "close") {
    e->kind = Kind::Close;
  } else if (what == "answer") {
    if (!either(next_word(rest), "ok", "cancel", &e->yes)) return "expected 'answer ok' or 'answer cancel'";
    e->kind = Kind::Answer;
  } else {
    return "unknown event '" + std::string(what) + "'";
  }
  if (!rest.empty()) return "unexpected '" + std::string(rest) + "'";
  return "";
}

}  // namespace

bool parse_input_events(std::string_view text, std::vector<TimedEvent>* events, std::string* error) {
  events->clear();
  uint32_t last = 0;
  size_t line_no = 0;
  while (!text.empty()) {
    ++line_no;
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    line.remove_prefix(first);
    const auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(line_no) + ": " + why;
      events->clear();
      return false;
    };
    long long at;
    if (!to_int(next_word(line), 0, UINT32_MAX, &at)) return fail("expected a time in milliseconds");
    if (at < last) return fail("the time goes back (" + std::to_string(at) + " after " + std::to_string(last) + ")");
    TimedEvent t;
    t.at_ms = last = static_cast<uint32_t>(at);
    if (const std::string why = parse_event(line, &t.event); !why.empty()) return fail(why);
    events->push_back(std::move(t));
  }
  return true;
}

bool load_input_events(const std::string& path, std::vector<TimedEvent>* events, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *error = path + ": not a readable file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (!in.is_open() || in.bad()) {
    *error = path + ": cannot be read";
    return false;
  }
  if (!parse_input_events(text, events, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

void InputEventPlayer::inject_due(Clock::time_point now) {
  for (; next_ < events_.size() && next_due() <= now; ++next_) platform::window_inject(events_[next_].event);
}

InputEventPlayer::Clock::time_point InputEventPlayer::next_due() const {
  if (next_ >= events_.size()) return Clock::time_point::max();
  return t0_ + std::chrono::milliseconds(events_[next_].at_ms);
}

}  // namespace zelt::input
