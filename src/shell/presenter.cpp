#include "shell/presenter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "core/app.h"
#include "core/config.h"
#include "core/messages.h"
#include "files/bmp_file.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/present/presentation.h"
#include "input/pointer.h"
#include "platform/display.h"
#include "shell/frame.h"

namespace zelt {
namespace {

std::unique_ptr<platform::ScreenRenderer> g_renderer;  // main thread
std::atomic<bool> g_wake_pending{false};                // a frame was handed over and the main thread told

// Script threads hand frames over faster than a window shows them: the
// main thread is woken once per batch.
void wake_for_frame() {
  if (!g_wake_pending.exchange(true)) platform::window_wake();
}

// A palette change shows on an 8-bit view page: on the unscaled path the
// window repaints from the page at once; the accelerated path shows it
// with the next update, which converts through the new palette.
void palette_changed(bool repaint) {
  if (!repaint || gfx::present_path() != gfx::PresentPath::unscaled) return;
  gfx::present_upload(gfx::plane_get(gfx::view_page()), nullptr);
  gfx::present_flip();
}

void open_common(gfx::PresentPath path) {
  const Config& c = config();
  gfx::present_open(c.Width, c.Height, path);
  gfx::set_present_waker(wake_for_frame);
  gfx::set_palette_change_handler(palette_changed);
}

// Where the picture lies in the client area, for the pointer: the
// destination rectangle of the scaled path, the centred view of the other.
void update_pointer_map() {
  const Config& c = config();
  platform::Window* window = frame_window();
  const platform::WindowSize client = window ? window->client_size() : platform::WindowSize{c.Width, c.Height};
  input::PointerMap m;
  m.screen_w = c.Width;
  m.screen_h = c.Height;
  if (gfx::present_path() == gfx::PresentPath::unscaled) {
    m.left = std::max(0, (client.w - c.Width) / 2);
    m.top = std::max(0, (client.h - c.Height) / 2);
    m.width = c.Width;
    m.height = c.Height;
  } else {
    const gfx::Placement p = gfx::placement_for(app().fullscreen, c.FixedAspectRatio != 0, client.w, client.h,
                                                client.w, client.h, c.Width, c.Height);
    m.left = p.x;
    m.top = p.y;
    m.width = p.w;
    m.height = p.h;
  }
  input::pointer_set_map(m);
}

bool present_start() {
  open_common(gfx::PresentPath::accelerated);
  update_pointer_map();
  platform::Window* window = frame_window();
  if (platform::headless() || !window) return true;  // the texture alone
  const Config& c = config();
  platform::RendererFailure failure = platform::RendererFailure::none;
  g_renderer = window->create_renderer(c.Width, c.Height, &failure);
  if (g_renderer) return true;
  // The path stays absent for the whole run: the window stays black.
  report(kLevelDevice, failure == platform::RendererFailure::texture ? Msg::D3DTexture : Msg::D3DDevice);
  gfx::present_close();
  return false;
}

bool gdi_start() {
  open_common(gfx::PresentPath::unscaled);
  update_pointer_map();
  return true;
}

void present_stop() {
  gfx::set_palette_change_handler(nullptr);
  gfx::set_present_waker(nullptr);
  g_renderer.reset();
  gfx::present_close();
}

// The picture in the frame: scaled into the destination rectangle, or 1:1
// (centred when full screen gives a larger client area).
void draw(bool redraw) {
  platform::Window* window = frame_window();
  if (!window || platform::headless()) return;
  bool changed = false;
  if (gfx::present_path() == gfx::PresentPath::unscaled) {
    const platform::WindowSize client = window->client_size();
    gfx::present_take(
        [&](const uint32_t* texels, int32_t w, int32_t h, const gfx::Rect&) {
          window->present_pixels(texels, w, h, std::max(0, (client.w - w) / 2), std::max(0, (client.h - h) / 2));
        },
        redraw);
    return;
  }
  if (!g_renderer) {
    if (redraw) window->paint_black();
    return;
  }
  gfx::present_take([&](const uint32_t* texels, int32_t w, int32_t, const gfx::Rect& r) {
    changed = true;
    g_renderer->update(r.left, r.top, r.right - r.left, r.bottom - r.top,
                       texels + static_cast<size_t>(r.top) * w + r.left, w);
  });
  if (!changed && !redraw) return;
  // In full screen the picture is fitted into the client area the window
  // actually got: the desktop, unless the window manager kept the window
  // smaller (its size limits, say).
  const Config& c = config();
  const platform::WindowSize client = window->client_size();
  const gfx::Placement p = gfx::placement_for(app().fullscreen, c.FixedAspectRatio != 0, client.w, client.h,
                                              client.w, client.h, c.Width, c.Height);
  g_renderer->draw(p.x, p.y, p.w, p.h);
}

}  // namespace

const Subsystem kPresentSubsystem{.name = "present",
                                  .wanted = [] { return config().Direct3D != 0; },
                                  .start = present_start,
                                  .stop = present_stop};
const Subsystem kGdiSubsystem{.name = "gdi",
                              .wanted = [] { return config().Direct3D == 0; },
                              .start = gdi_start,
                              .stop = present_stop};

void presenter_show(bool redraw) {
  g_wake_pending.store(false);
  draw(redraw);
}

void presenter_resized() {
  update_pointer_map();
  if (gfx::present_path() == gfx::PresentPath::accelerated && gfx::present_is_open())
    gfx::present_request_full_upload();
  draw(true);
}

void presenter_render_reset() {
  if (!g_renderer) return;
  gfx::present_request_full_upload();
  if (!g_renderer->restore()) return;
  gfx::present_take(
      [](const uint32_t* texels, int32_t w, int32_t h, const gfx::Rect&) { g_renderer->update(0, 0, w, h, texels, w); },
      true);
  draw(true);
}

bool presenter_screenshot(const std::string& path, std::string* error) {
  int32_t w = 0, h = 0;
  const std::vector<uint32_t> texels = gfx::present_texture(&w, &h);
  if (w <= 0 || h <= 0) {
    *error = "there is no screen picture (the presentation did not start)";
    return false;
  }
  if (!files::write_bmp24(path, texels.data(), w, h)) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

platform::WindowSize fullscreen_mode(const std::vector<platform::WindowSize>& modes, int width, int height) {
  platform::WindowSize held{};
  for (const platform::WindowSize& m : modes) {
    if (m.h < height || m.w < width) continue;
    if ((held.h == 0 || m.h < held.h) && (held.w == 0 || m.w < held.w)) held = m;
  }
  return held;
}

}  // namespace zelt
