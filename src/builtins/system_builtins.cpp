// Built-in adapters of the system variables, message boxes, the caption,
// starting programs, the wallpaper and the frame-rate counter.
#include <chrono>

#include "builtins/handlers.h"
#include "builtins/system.h"
#include "core/cp932.h"
#include "platform/display.h"
#include "platform/system_ui.h"

namespace zelt {
namespace {

constexpr uint32_t kMaxText = 1u << 16;
constexpr uint32_t kMaxCommand = 1u << 15;

// The string of cell k, or "" for a null address; false for a wild one.
bool optional_str(const BuiltinArgs& a, uint32_t k, std::string_view& out, uint32_t max_len) {
  if (a.addr(k) == 0) {
    out = {};
    return true;
  }
  return a.str(k, out, max_len);
}

}  // namespace

uint32_t bi_getsystem(const BuiltinArgs& a) {
  std::string_view name;
  if (!a.str(0, name, 64)) return 0;
  const int32_t index = sys::var_index(name);
  if (index < 0) return 0;
  if (static_cast<sys::Var>(index) == sys::Var::cpu_clock) {
    BuiltinLockReleased unlocked;  // a second's sleep must not stop every other script thread
    return int_result(sys::get(sys::Var::cpu_clock));
  }
  return int_result(sys::get(static_cast<sys::Var>(index)));
}

uint32_t bi_setsystem(const BuiltinArgs& a) {
  std::string_view name;
  if (!a.str(0, name, 64)) return 0;
  const int32_t index = sys::var_index(name);
  return index < 0 ? 0 : int_result(sys::set(static_cast<sys::Var>(index), a.i32(1)));
}

uint32_t bi_mbox(const BuiltinArgs& a) {
  std::string_view caption, text;
  if (!optional_str(a, 1, caption, kMaxText) || !optional_str(a, 2, text, kMaxText)) return 0;
  return int_result(sys::message_box(a.u32(0), caption, text));
}

uint32_t bi_caption(const BuiltinArgs& a) {
  std::string_view text;
  if (!optional_str(a, 0, text, kMaxText)) return 0;
  if (platform::headless()) return 1;  // no window: nothing to set, nothing failed
  return platform::set_frame_caption(cp932::to_utf8(text)) ? 1 : 0;
}

uint32_t bi_exec(const BuiltinArgs& a) {
  std::string_view command;
  return a.str(0, command, kMaxCommand) && sys::exec(command) ? 1 : 0;
}

uint32_t bi_shell(const BuiltinArgs& a) {
  std::string_view operation, file, parameters;
  if (!optional_str(a, 0, operation, 64) || !a.str(1, file, kMaxCommand) ||
      !optional_str(a, 2, parameters, kMaxCommand)) {
    return 0;
  }
  return sys::shell(operation, file, parameters) ? 1 : 0;
}

uint32_t bi_wallpaper(const BuiltinArgs& a) {
  std::string_view path;
  if (a.str(0, path, kMaxCommand)) sys::wallpaper(path, a.i32(1));
  return 1;
}

uint32_t bi_fps(const BuiltinArgs&) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return int_result(sys::fps(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count())));
}

}  // namespace zelt
