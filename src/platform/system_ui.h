// Desktop queries and dialogs for the system built-ins: the desktop's mode,
// a message box with chosen buttons, the frame window's caption, and
// starting detached programs.
#pragma once

#include <string>
#include <vector>

namespace zelt::platform {

struct DesktopMode {
  int w = 0, h = 0, depth = 0;  // depth: bits per pixel as the platform reports them
};
// The primary display's desktop mode; false when no display is available.
bool desktop_mode(DesktopMode& mode);

enum class DialogIcon { None, Error, Question, Warning, Information };
struct DialogButton {
  int id;                  // returned when the button is chosen
  std::string label_utf8;
};
// A modal box owned by the frame window (when it exists). Returns the id of
// the chosen button, escape_id when the box is closed without a choice, and
// -1 when no box could be shown.
int show_dialog(const std::string& caption_utf8, const std::string& text_utf8, DialogIcon icon,
                const std::vector<DialogButton>& buttons, size_t default_index, int escape_id);

// Sets the frame window's caption; false when there is no frame window.
bool set_frame_caption(const std::string& caption_utf8);

// Starts argv[0] (searched on PATH when it holds no "/") with argv as a
// detached child whose end is collected in the background. False when it
// could not be started.
bool spawn_detached(const std::vector<std::string>& argv);

}  // namespace zelt::platform
