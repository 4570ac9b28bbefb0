// The frame window's size rules in plain numbers: where the window opens,
// how a resize keeps the screen's aspect ratio and how far the user may
// resize it. Sizes are client sizes plus the border (bw, bh) that the
// window system adds around the client area.
#pragma once

#include "core/config.h"

namespace zelt {

struct FrameSize {
  int w = 0, h = 0;
  bool operator==(const FrameSize&) const = default;
};

// Client size and window position at creation. Writes the corrected or
// chosen values back into WindowLeft/Top/Width/Height as they are decided.
struct FramePlacement {
  int client_w = 0, client_h = 0;
  int x = 0, y = 0;  // window position
};
FramePlacement frame_placement(Config& c, FrameSize screen, FrameSize border);

// The client size after the user resized from old_size to new_size: with
// FixedAspectRatio, the dimension that changed (or that grew relatively
// more) decides the other one. Without it, new_size unchanged.
FrameSize frame_aspect_correct(const Config& c, FrameSize old_size, FrameSize new_size);

// Minimum and maximum window sizes (border included). Without
// FixedAspectRatio the maximum is the screen.
struct FrameLimits {
  FrameSize min, max;
};
FrameLimits frame_tracking_limits(const Config& c, FrameSize screen, FrameSize border);

}  // namespace zelt
