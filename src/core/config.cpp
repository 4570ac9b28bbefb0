#include "core/config.h"

#include <iterator>

#include "core/cp932.h"
#include "core/messages.h"

namespace zelt {
namespace {

constexpr bool screen_side(int32_t v) { return v >= 1 && v <= kMaxScreenSide; }
constexpr bool screen_depth(int32_t v) { return v == 8 || v == 16 || v == 24 || v == 32; }
constexpr bool stack_size(int32_t v) { return v >= kMinStackSize && v <= kMaxStackSize; }
constexpr bool program_size(int32_t v) { return v >= 0 && v <= kMaxProgramSize; }
constexpr bool heap_size(int32_t v) { return v >= 0 && v <= kMaxHeapSize; }

#define INT_KEY(section, key, field, def) {section, key, &Config::field, nullptr, 0, def, nullptr}
#define SIZE_KEY(section, key, field, def, valid) {section, key, &Config::field, nullptr, 0, def, nullptr, valid}
#define STR_KEY(section, key, field, size) {section, key, nullptr, &Config::field, size, 0, ""}

constexpr ConfigKey kKeys[] = {
    STR_KEY("General", "Product", Product, 260),
    INT_KEY("General", "Inheritance", Inheritance, 1),
    INT_KEY("General", "DebugMode", DebugMode, 0),
    INT_KEY("General", "Error", Error, 1),
    INT_KEY("General", "MultiInstance", MultiInstance, 0),
    STR_KEY("Window", "Title", Title, 256),
    INT_KEY("Window", "Resize", Resize, 0),
    INT_KEY("Window", "RestoreBounds", RestoreBounds, 0),
    INT_KEY("Window", "WindowLeft", WindowLeft, 0),
    INT_KEY("Window", "WindowTop", WindowTop, 0),
    INT_KEY("Window", "WindowWidth", WindowWidth, 0),
    INT_KEY("Window", "WindowHeight", WindowHeight, 0),
    SIZE_KEY("Screen", "Width", Width, 1024, screen_side),
    SIZE_KEY("Screen", "Height", Height, 576, screen_side),
    SIZE_KEY("Screen", "Depth", Depth, 24, screen_depth),
    INT_KEY("Screen", "FullScreen", FullScreen, 0),
    INT_KEY("Screen", "FixedAspectRatio", FixedAspectRatio, 1),
    INT_KEY("Screen", "Smoothing", Smoothing, 1),
    INT_KEY("System", "MMX", MMX, 1),
    INT_KEY("System", "MultiThreading", MultiThreading, 1),
    INT_KEY("System", "Direct3D", Direct3D, 1),
    INT_KEY("System", "DirectSound", DirectSound, 1),
    INT_KEY("System", "DirectMusic", DirectMusic, 0),
    INT_KEY("System", "DirectInput", DirectInput, 0),
    INT_KEY("System", "Net", Net, 0),
    INT_KEY("Drive", "CD", CD, 0),
    STR_KEY("Drive", "CD-ROM", CdRom, 256),
    STR_KEY("Drive", "CD-DIR", CdDir, 256),
    INT_KEY("Option", "GlobalFocus", GlobalFocus, 0),
    INT_KEY("Option", "GlobalSound", GlobalSound, 0),
    INT_KEY("Option", "Confirmation", Confirmation, 1),
    STR_KEY("Script", "Load", Load, 260),
    SIZE_KEY("Script", "ProgramSize", ProgramSize, 0, program_size),
    SIZE_KEY("Script", "StackSize", StackSize, 262144, stack_size),
    SIZE_KEY("Script", "HeapSize", HeapSize, 4194304, heap_size),
};
static_assert(std::size(kKeys) == 35);

#undef INT_KEY
#undef SIZE_KEY
#undef STR_KEY

Config defaults() {
  Config c;
  for (const ConfigKey& k : kKeys) {
    if (k.int_value) c.*k.int_value = k.int_default;
    else c.*k.str_value = k.str_default;
  }
  return c;
}

// Defaults hold from the very start, so messages before the first file is
// read are filtered as the defaults say.
Config g_config = defaults();

}  // namespace

std::span<const ConfigKey> config_keys() { return kKeys; }
Config& config() { return g_config; }

void config_defaults() { g_config = defaults(); }

void config_check() {
  for (const ConfigKey& k : kKeys) {
    if (!k.valid) continue;
    int32_t& value = g_config.*k.int_value;
    if (k.valid(value)) continue;
    report_message(kLevelDevice, msg_text(Msg::ConfigOutOfRange), k.section, k.key, value, k.int_default);
    value = k.int_default;
  }
}

std::string config_cd_dir() {
  std::string dir = g_config.CdDir;
  const bool ends_in_separator =
      !dir.empty() && (dir.back() == '/' || cp932::rfind_char(dir, '\\') == dir.size() - 1);
  if (!dir.empty() && !ends_in_separator) dir += '\\';
  return dir;
}

}  // namespace zelt
