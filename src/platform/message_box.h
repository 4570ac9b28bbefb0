// Modal message boxes (UTF-8 texts). The platform owns the frame window, so
// boxes are owned by it once it exists and have no owner before.
#pragma once

#include <string>

#include "platform/display.h"

namespace zelt::platform {

// Shows an OK box with an error icon. Returns false when no box could be shown.
bool show_message_box(const std::string& caption_utf8, const std::string& text_utf8);

}  // namespace zelt::platform
