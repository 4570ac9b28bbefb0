#include "platform/shortcuts.h"

#include <cctype>

namespace zelt::platform {

Shortcut shortcut_of(const std::string& key, bool down, bool alt, bool repeat, bool in_debug_window) {
  if (key == "F8") return down && !repeat ? Shortcut::ToggleDebug : Shortcut::None;
  if (key == "Return" || key == "Keypad Enter")
    return !down && alt ? Shortcut::ToggleFullscreen : Shortcut::None;
  if (in_debug_window && down && alt && key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0])))
    return Shortcut::DebugAccessKey;
  return Shortcut::None;
}

}  // namespace zelt::platform
