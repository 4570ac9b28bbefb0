// The mouse pointer as scripts see it: its position in screen-plane pixels
// through the presentation's destination rectangle, the per-thread press,
// double-click and wheel snapshots of getpoint, and the cursor requests
// (shape, confinement, position) that script threads hand to the main
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace zelt::input {

// Where the screen plane (width x height pixels) lies in the frame's client
// area: the destination rectangle of the scaled presentation, or the
// unscaled view at its offset.
struct PointerMap {
  int32_t left = 0, top = 0, width = 1, height = 1;
  int32_t screen_w = 1, screen_h = 1;
};
// Main thread, whenever the destination changes.
void pointer_set_map(const PointerMap& map);
PointerMap pointer_map();

// A client position in screen-plane pixels (not clamped) and back.
int32_t client_to_screen(int64_t c, int32_t offset, int32_t size, int32_t screen);
int32_t screen_to_client(int64_t s, int32_t offset, int32_t size, int32_t screen);

// Main thread: the pointer moved to (x, y) of the client area.
void pointer_moved(int x, int y);

struct PointRecord {
  int32_t x = -1, y = -1, wheel = 0, flags = 0;
};
inline constexpr int kSnapshotSlots = 33;  // the 32 script threads and callers outside them
// getpoint for the caller in thread slot `slot` (-1 outside a thread):
// position, wheel and flags against the slot's previous call, whose
// snapshot it then replaces (also without the focus, which gives x = y =
// -1, wheel 0 and flags 0).
PointRecord pointer_read(int slot, bool focused);

// Cursor built-ins (script threads): the requests go to the main thread.
// cur_set: 0 hides the cursor, 1 shows the standard arrow; false for
// anything else.
bool cursor_request_shape(int32_t shape);
// cur_clip: confines the pointer to a screen-plane rectangle (left, top,
// right, bottom); null or one outside the screen plane releases it.
void cursor_request_clip(const int32_t* rect);
// cur_setpos: moves the pointer to a screen-plane position (getpoint reads
// it at once).
void cursor_request_position(int32_t x, int32_t y);

// Main thread: what was asked since the last call.
struct ClientRect {
  int32_t x = 0, y = 0, w = 0, h = 0;  // w = 0: released
};
struct CursorRequests {
  std::optional<bool> visible;
  std::optional<ClientRect> clip;
  std::optional<std::pair<int32_t, int32_t>> position;  // client coordinates
};
CursorRequests cursor_take_requests();
bool cursor_visible();  // the current cursor: the arrow (true) or none

// Start-up: the pointer at (0, 0), snapshots and requests cleared.
void pointer_reset();
// The runtime start: the standard arrow, released, snapshots cleared.
void pointer_runtime_start();

}  // namespace zelt::input
