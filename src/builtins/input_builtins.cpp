// Built-in adapters of the keyboard, mouse, joysticks, cursor, typed
// characters and the script clock. Devices are read only while the program
// has the focus: joysticks on the main thread (message 1215), the keyboard
// and mouse from the state the main thread keeps under its lock, which
// answers exactly as messages 1214 and 1216 do without the round trip. A
// record whose address cannot be written gets nothing and the call fails.
#include <array>
#include <cstring>

#include "builtins/handlers.h"
#include "core/script_messages.h"
#include "input/input_devices.h"
#include "input/input_state.h"
#include "input/pointer.h"
#include "input/script_clock.h"
#include "script/host/thread_table.h"

namespace zelt {
namespace {

bool focused() { return input::input_state().focus.load() != 0; }

// The device message's result; the record (n bytes in cell k) zeroed
// when it fails.
uint32_t device_reading(const BuiltinArgs& a, uint32_t k, uint32_t n, ScriptMsg msg, intptr_t w, intptr_t l) {
  const std::span<uint8_t> rec = a.span(k, n);
  if (!rec.data()) return 0;
  const int32_t result = focused() ? script_message_send(msg, w, l) : 0;
  if (result == 0) std::memset(rec.data(), 0, n);
  return int_result(result);
}

}  // namespace

// The record's result; the record (n bytes in cell k) zeroed when the
// reading fails.
template <size_t N, class T>
uint32_t state_reading(const BuiltinArgs& a, uint32_t k, bool (*read)(std::array<T, N>&)) {
  std::array<T, N> rec;
  const std::span<uint8_t> out = a.span(k, sizeof rec);
  if (!out.data()) return 0;
  const bool ok = focused() && read(rec);
  if (!ok) rec.fill(0);
  std::memcpy(out.data(), rec.data(), sizeof rec);
  return ok ? 1 : 0;
}

uint32_t bi_getkey(const BuiltinArgs& a) { return state_reading(a, 0, input::read_keyboard); }

uint32_t bi_getjoy(const BuiltinArgs& a) {
  return device_reading(a, 1, 12, ScriptMsg::getjoy, a.i32(0), a.addr(1));
}

uint32_t bi_getmouse(const BuiltinArgs& a) { return state_reading(a, 0, input::read_mouse); }

// Always 1; a record that cannot be written is left alone, the snapshot
// is still taken.
uint32_t bi_getpoint(const BuiltinArgs& a) {
  const ScriptContext* caller = builtin_current();
  const input::PointRecord r = input::pointer_read(caller ? host::caller_slot(*caller) : -1, focused());
  if (a.addr(0)) {
    const std::span<uint8_t> out = a.span(0, sizeof r);
    if (out.data()) std::memcpy(out.data(), &r, sizeof r);
  }
  return 1;
}

uint32_t bi_cur_set(const BuiltinArgs& a) { return input::cursor_request_shape(a.i32(0)) ? 1 : 0; }

// A rectangle address that cannot be read is refused (0) and changes nothing.
uint32_t bi_cur_clip(const BuiltinArgs& a) {
  if (a.addr(0) == 0) {
    input::cursor_request_clip(nullptr);
    return 1;
  }
  int32_t rect[4];
  const std::span<uint8_t> in = a.span(0, sizeof rect);
  if (!in.data()) return 0;
  std::memcpy(rect, in.data(), sizeof rect);
  input::cursor_request_clip(rect);
  return 1;
}

uint32_t bi_cur_setpos(const BuiltinArgs& a) {
  input::cursor_request_position(a.i32(0), a.i32(1));
  return 1;
}

uint32_t bi_getcount(const BuiltinArgs& a) { return int_result(input::counter_get(a.i32(0))); }

uint32_t bi_setcount(const BuiltinArgs& a) { return input::counter_set(a.i32(0), a.i32(1)) ? 1 : 0; }

uint32_t bi_gettime(const BuiltinArgs& a) {
  uint16_t fields[8];
  const std::span<uint8_t> out = a.span(0, sizeof fields);
  if (!out.data()) return 0;
  input::local_time(fields);
  std::memcpy(out.data(), fields, sizeof fields);
  return 1;
}

uint32_t bi_key_init(const BuiltinArgs&) {
  input::input_chars_clear();
  return 1;
}

uint32_t bi_key_get(const BuiltinArgs&) {
  uint8_t byte;
  if (!input::input_char_take(&byte)) return 0;
  return int_result(static_cast<int8_t>(byte));
}

}  // namespace zelt
