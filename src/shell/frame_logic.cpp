#include "shell/frame_logic.h"

#include <algorithm>

namespace zelt {
namespace {

// The screen plane's ratio, or false when it has no sensible one.
bool aspect(const Config& c, float* r) {
  if (!c.FixedAspectRatio || c.Width <= 0 || c.Height <= 0) return false;
  *r = static_cast<float>(c.Width) / static_cast<float>(c.Height);
  return true;
}

// A saved position unless the window would lie wholly before the screen or
// start at or beyond its far edge.
bool on_screen(int pos, int window_extent, int screen_extent) {
  return pos + window_extent > 0 && pos < screen_extent;
}

}  // namespace

FramePlacement frame_placement(Config& c, FrameSize screen, FrameSize border) {
  FramePlacement p;
  const bool saved = c.WindowWidth != 0 && c.WindowHeight != 0;
  if (saved && c.RestoreBounds && c.Resize && c.Direct3D) {
    c.WindowWidth = std::clamp(c.WindowWidth, c.Width / 2, std::max(c.Width / 2, screen.w));
    c.WindowHeight = std::clamp(c.WindowHeight, c.Height / 2, std::max(c.Height / 2, screen.h));
  } else {
    c.WindowWidth = c.Width;
    c.WindowHeight = c.Height;
  }
  p.client_w = c.WindowWidth;
  p.client_h = c.WindowHeight;

  const int ww = p.client_w + border.w, wh = p.client_h + border.h;
  const int cx = (screen.w - ww) / 2, cy = (screen.h - wh) / 2;
  if (c.RestoreBounds && saved) {
    if (!on_screen(c.WindowLeft, ww, screen.w)) c.WindowLeft = cx;
    if (!on_screen(c.WindowTop, wh, screen.h)) c.WindowTop = cy;
  } else {
    c.WindowLeft = cx;
    c.WindowTop = cy;
  }
  p.x = c.WindowLeft;
  p.y = c.WindowTop;
  return p;
}

FrameSize frame_aspect_correct(const Config& c, FrameSize o, FrameSize n) {
  float r;
  if (!aspect(c, &r)) return n;
  const auto by_width = [&] { n.h = static_cast<int>(static_cast<float>(n.w) / r + 0.5f); };
  const auto by_height = [&] { n.w = static_cast<int>(static_cast<float>(n.h) * r + 0.5f); };
  if (n.w != o.w && n.h == o.h) {
    by_width();
  } else if (n.h != o.h && n.w == o.w) {
    by_height();
  } else {
    const float sx = static_cast<float>(n.w) / static_cast<float>(c.Width);
    const float sy = static_cast<float>(n.h) / static_cast<float>(c.Height);
    if (sy >= sx) by_height();
    else by_width();
  }
  return n;
}

FrameLimits frame_tracking_limits(const Config& c, FrameSize screen, FrameSize border) {
  FrameLimits l;
  l.min = {border.w + c.Width / 2, border.h + c.Height / 2};
  l.max = screen;
  float r;
  if (!aspect(c, &r)) return l;
  const int aw = screen.w - border.w, ah = screen.h - border.h;
  if (aw <= 0 || ah <= 0) return l;
  const float a = static_cast<float>(aw) / static_cast<float>(ah);
  if (r < a) l.max = {border.w + static_cast<int>(static_cast<float>(ah) * r + 0.5f), screen.h};
  else if (r > a) l.max = {screen.w, border.h + static_cast<int>(static_cast<float>(aw) / r + 0.5f)};
  return l;
}

}  // namespace zelt
