#include "input/pointer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

#include "core/close_request.h"
#include "input/input_state.h"
#include "platform/window.h"

namespace zelt::input {
namespace {

std::mutex g_map_mutex;
PointerMap g_map;  // under g_map_mutex

std::atomic<int32_t> g_x{0}, g_y{0};  // client coordinates

struct Snapshot {
  int32_t presses[kButtons] = {};
  int32_t double_clicks[kButtons] = {};
  int32_t wheel = 0;
};
std::array<Snapshot, kSnapshotSlots> g_snapshots;  // under the built-in lock

std::mutex g_request_mutex;
CursorRequests g_requests;  // under g_request_mutex
std::atomic<bool> g_visible{true};

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

void post(const std::function<void(CursorRequests&)>& change) {
  {
    std::lock_guard lock(g_request_mutex);
    change(g_requests);
  }
  wake_main_loop();
}

}  // namespace

void pointer_set_map(const PointerMap& map) {
  std::lock_guard lock(g_map_mutex);
  g_map = map;
  g_map.width = std::max(1, g_map.width);
  g_map.height = std::max(1, g_map.height);
  g_map.screen_w = std::max(1, g_map.screen_w);
  g_map.screen_h = std::max(1, g_map.screen_h);
}

PointerMap pointer_map() {
  std::lock_guard lock(g_map_mutex);
  return g_map;
}

int32_t client_to_screen(int64_t c, int32_t offset, int32_t size, int32_t screen) {
  return clamp32((c - offset) * screen / std::max(1, size));
}

int32_t screen_to_client(int64_t s, int32_t offset, int32_t size, int32_t screen) {
  return clamp32(s * size / std::max(1, screen) + offset);
}

void pointer_moved(int x, int y) {
  g_x.store(x);
  g_y.store(y);
}

PointRecord pointer_read(int slot, bool focused) {
  const InputState& s = input_state();
  Snapshot now;
  for (int b = 0; b < kButtons; ++b) {
    now.presses[b] = s.presses[b].load();
    now.double_clicks[b] = s.double_clicks[b].load();
  }
  now.wheel = s.wheel.load();
  Snapshot& before = g_snapshots[slot >= 0 && slot < kSnapshotSlots - 1 ? slot : kSnapshotSlots - 1];
  PointRecord r;
  if (focused) {
    const PointerMap m = pointer_map();
    r.x = client_to_screen(g_x.load(), m.left, m.width, m.screen_w);
    r.y = client_to_screen(g_y.load(), m.top, m.height, m.screen_h);
    r.wheel = static_cast<int32_t>(static_cast<uint32_t>(now.wheel) - static_cast<uint32_t>(before.wheel));
    uint32_t flags = s.buttons.load() & 7;
    for (int b = 0; b < kButtons; ++b) {
      if (now.presses[b] != before.presses[b]) flags |= 1u << (16 + b);
      if (now.double_clicks[b] != before.double_clicks[b]) flags |= 1u << (24 + b);
    }
    r.flags = static_cast<int32_t>(flags);
  }
  before = now;
  return r;
}

bool cursor_request_shape(int32_t shape) {
  if (shape != 0 && shape != 1) return false;
  g_visible.store(shape == 1);
  post([shape](CursorRequests& r) { r.visible = shape == 1; });
  return true;
}

void cursor_request_clip(const int32_t* rect) {
  const PointerMap m = pointer_map();
  ClientRect clip;
  if (rect) {
    // The part inside the screen plane, its edges mapped as positions are.
    const int64_t l = std::max<int64_t>(rect[0], 0), t = std::max<int64_t>(rect[1], 0);
    const int64_t r = std::min<int64_t>(rect[2], m.screen_w), b = std::min<int64_t>(rect[3], m.screen_h);
    if (l < r && t < b) {
      clip.x = screen_to_client(l, m.left, m.width, m.screen_w);
      clip.y = screen_to_client(t, m.top, m.height, m.screen_h);
      clip.w = std::max(1, screen_to_client(r, m.left, m.width, m.screen_w) - clip.x);
      clip.h = std::max(1, screen_to_client(b, m.top, m.height, m.screen_h) - clip.y);
    }
  }
  post([clip](CursorRequests& r) { r.clip = clip; });
}

void cursor_request_position(int32_t x, int32_t y) {
  const PointerMap m = pointer_map();
  const int32_t cx = screen_to_client(x, m.left, m.width, m.screen_w);
  const int32_t cy = screen_to_client(y, m.top, m.height, m.screen_h);
  pointer_moved(cx, cy);
  post([cx, cy](CursorRequests& r) { r.position = std::make_pair(cx, cy); });
}

CursorRequests cursor_take_requests() {
  std::lock_guard lock(g_request_mutex);
  return std::exchange(g_requests, CursorRequests{});
}

bool cursor_visible() { return g_visible.load(); }

void pointer_reset() {
  pointer_moved(0, 0);
  g_snapshots.fill(Snapshot{});
  std::lock_guard lock(g_request_mutex);
  g_requests = {};
}

void pointer_runtime_start() {
  platform::cursor_set_arrow();
  g_snapshots.fill(Snapshot{});
  g_visible.store(true);
  std::lock_guard lock(g_request_mutex);
  g_requests.visible = true;
  g_requests.clip = ClientRect{};
}

}  // namespace zelt::input
