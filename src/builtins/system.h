// System variables, message boxes and starting programs: the engine behind
// the system built-ins, in plain C++ types (code page 932 texts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::sys {

// The system variables in their fixed order; -1 for an unknown name.
enum class Var : int32_t {
  fullscreen, width, height, depth, cpu_clock, cpu_vender, cpu_feature_eax, cpu_feature_ebx,
  cpu_feature_ecx, cpu_feature_edx, os_platform, os_major, os_minor, os_build, global_focus,
  global_sound, color_mapping, smoothing, sp_count,
};
inline constexpr int kVarCount = 19;
int32_t var_index(std::string_view name);  // compared without regard to case
int32_t get(Var v);
int32_t set(Var v, int32_t value);

// The operating-system version a title sees: the NT line (platform 2),
// version 6.2 build 9200, which current Windows reports to programs that do
// not declare a newer one.
inline constexpr int32_t kOsPlatform = 2, kOsMajor = 6, kOsMinor = 2, kOsBuild = 9200;

// Message box of the platform's MB_* type; the platform's ID* result.
int32_t message_box(uint32_t type, std::string_view caption, std::string_view text);

// A command line split as the platform's runtime splits it: blanks separate
// arguments, double quotes group, backslashes before a quote escape it.
std::vector<std::string> split_command_line(std::string_view line);
bool exec(std::string_view command_line);
bool shell(std::string_view operation, std::string_view file, std::string_view parameters);
void wallpaper(std::string_view path, int32_t style);

// Calls counted per one-second period of the millisecond clock.
int32_t fps(uint32_t now_ms);

}  // namespace zelt::sys
