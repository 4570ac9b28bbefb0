// The screen picture: one texture of the screen size ([Screen] Width ×
// Height, texels 0x00RRGGBB) that mirrors the view page. Script threads
// convert changed rectangles of the view page into it under the
// presentation lock (update) and hand the frame over; the main thread,
// which owns the window and its renderer, takes what changed and shows it.
// Headless runs keep the texture alone, so --screenshot sees the same
// picture either way.
//
// Two paths, chosen once by [System] Direct3D: the accelerated one (the
// texture drawn scaled into a destination rectangle, a full upload after
// every reset) and the unscaled one (the texture shown 1:1).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "gfx/planes/plane.h"

namespace zelt::gfx {

// Where the texture lands in the client area.
struct Placement {
  int32_t x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Placement&) const = default;
};

// The destination rectangle: the client area, or in full screen with a
// fixed aspect ratio the picture fitted into the full-screen size
// (pillar or letter box, ratios in single precision, centred).
Placement placement_for(bool fullscreen, bool fixed_aspect, int32_t client_w, int32_t client_h, int32_t full_w,
                        int32_t full_h, int32_t width, int32_t height);

enum class PresentPath { accelerated, unscaled };

// Makes the texture (all black) for a screen of width × height; the
// full-upload flag starts clear. present_close drops it.
void present_open(int32_t width, int32_t height, PresentPath path);
void present_close();
bool present_is_open();
PresentPath present_path();

// Converts the rectangle (null: all) of the plane into the texture: 32-bit
// pixels as they are, 24-bit into the texels' low three bytes, 16-bit
// through the 15-bit table, 8-bit through the current global palette;
// other bit counts copy nothing. While the full-upload flag is set the
// whole plane is copied, whatever the rectangle, and the flag is cleared.
// 1 when copied, 0 without a texture or plane or when the area is empty.
int32_t present_upload(const Plane* plane, const Rect* rect);
// Hands what was uploaded to the main thread (wakes it).
void present_flip();

// The update built-in: uploads the rectangle (null: the whole view page)
// and flips; 0 when the rectangle misses the screen (on the accelerated
// path not while a full upload is pending), else 1.
int32_t screen_refresh(const Rect* rect);

// After a reset of what shows the texture: the next upload copies the
// whole plane.
void present_request_full_upload();
bool present_full_upload_pending();

// The presentation lock: whoever reads the view page for the screen, or
// draws into the active page in a way an upload must not see half done,
// holds it.
std::mutex& presentation_lock();

// Main thread: calls take with the texture (pitch = width texels) and the
// area changed since the last call, under the presentation lock, then
// forgets the area. take is not called when nothing changed, unless whole
// asks for the whole texture (a repaint); then the area is the whole texture.
void present_take(const std::function<void(const uint32_t* texels, int32_t width, int32_t height,
                                           const Rect& changed)>& take,
                  bool whole = false);
// A copy of the whole texture (empty when there is none).
std::vector<uint32_t> present_texture(int32_t* width, int32_t* height);

// What present_flip calls to wake the main thread (null: nothing).
void set_present_waker(void (*waker)());

}  // namespace zelt::gfx
