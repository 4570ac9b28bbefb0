#include "gfx/present/presentation.h"

#include <cstring>

#include "gfx/planes/palette.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

struct Screen {
  std::mutex lock;
  bool open = false;
  PresentPath path = PresentPath::accelerated;
  int32_t width = 0, height = 0;
  std::vector<uint32_t> texels;
  bool full_upload = false;
  Rect changed;  // uploaded since the main thread last took the picture
  void (*waker)() = nullptr;
};

Screen& screen() {
  static Screen s;
  return s;
}

// One row of n pixels into texels.
void convert_row(uint32_t* out, const uint8_t* in, int32_t n, int32_t bytes, const uint32_t* table) {
  switch (bytes) {
    case 4:
      std::memcpy(out, in, static_cast<size_t>(n) * 4);
      break;
    case 3:
      for (int32_t i = 0; i < n; ++i, in += 3)
        out[i] = (out[i] & 0xFF000000u) | static_cast<uint32_t>(in[0] | in[1] << 8 | in[2] << 16);
      break;
    case 2:
      for (int32_t i = 0; i < n; ++i, in += 2) out[i] = table[(in[0] | in[1] << 8) & 0x7FFF];
      break;
    case 1:
      for (int32_t i = 0; i < n; ++i) out[i] = table[in[i]];
      break;
    default:
      break;
  }
}

}  // namespace

Placement placement_for(bool fullscreen, bool fixed_aspect, int32_t client_w, int32_t client_h, int32_t full_w,
                        int32_t full_h, int32_t width, int32_t height) {
  if (!fullscreen || !fixed_aspect || full_w <= 0 || full_h <= 0 || width <= 0 || height <= 0)
    return {0, 0, client_w, client_h};
  const float screen_ratio = static_cast<float>(full_w) / static_cast<float>(full_h);
  const float picture_ratio = static_cast<float>(width) / static_cast<float>(height);
  Placement p{0, 0, full_w, full_h};
  if (picture_ratio < screen_ratio)
    p.w = static_cast<int32_t>(static_cast<float>(full_h) * picture_ratio + 0.5f);
  else if (picture_ratio > screen_ratio)
    p.h = static_cast<int32_t>(static_cast<float>(full_w) / picture_ratio + 0.5f);
  p.x = (full_w - p.w) / 2;
  p.y = (full_h - p.h) / 2;
  return p;
}

void present_open(int32_t width, int32_t height, PresentPath path) {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  s.open = width > 0 && height > 0;
  s.path = path;
  s.width = s.open ? width : 0;
  s.height = s.open ? height : 0;
  s.texels.assign(static_cast<size_t>(s.width) * static_cast<size_t>(s.height), 0);
  s.full_upload = false;
  s.changed = s.open ? Rect{0, 0, width, height} : Rect{};
}

void present_close() {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  s.open = false;
  s.width = s.height = 0;
  s.texels = {};
  s.changed = {};
}

bool present_is_open() {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  return s.open;
}

PresentPath present_path() {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  return s.path;
}

int32_t present_upload(const Plane* plane, const Rect* rect) {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  if (!s.open || !plane) return 0;
  Rect r{0, 0, plane->width, plane->height};
  if (!s.full_upload && rect) r = rect_intersection(r, *rect);
  if (r.empty()) return 0;
  r = rect_intersection(r, Rect{0, 0, s.width, s.height});
  if (r.empty()) return 0;
  if (!plane_pixel_address(plane, r.left, r.top)) return 0;

  const int32_t bytes = plane->bit_count % 8 == 0 ? plane->bit_count / 8 : 0;
  const uint32_t* table = bytes == 2 ? rgb15_table() : nullptr;
  uint32_t palette[kPaletteEntries];
  if (bytes == 1) {
    const Palette& current = current_palette();
    for (uint32_t i = 0; i < kPaletteEntries; ++i) palette[i] = current[i] & 0xFFFFFF;
    table = palette;
  }
  const int32_t n = r.right - r.left;
  for_rows(r.bottom - r.top, n, [&](int32_t i) {
    convert_row(s.texels.data() + static_cast<size_t>(r.top + i) * static_cast<size_t>(s.width) + r.left,
                plane_pixel_address(plane, r.left, r.top + i), n, bytes, table);
  });
  s.full_upload = false;
  s.changed = rect_union(s.changed, r);
  return 1;
}

void present_flip() {
  void (*waker)() = nullptr;
  {
    Screen& s = screen();
    std::lock_guard hold(s.lock);
    waker = s.waker;
  }
  if (waker) waker();
}

int32_t screen_refresh(const Rect* rect) {
  Screen& s = screen();
  const Plane* view = plane_get(view_page());
  bool whole;
  Rect r;
  {
    std::lock_guard hold(s.lock);
    whole = !rect || (s.path == PresentPath::accelerated && s.full_upload);
    if (!whole) {
      r = rect_intersection(*rect, Rect{0, 0, s.width, s.height});
      if (r.empty()) return 0;
    }
  }
  present_upload(view, whole ? nullptr : &r);
  present_flip();
  return 1;
}

void present_request_full_upload() {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  s.full_upload = true;
}

bool present_full_upload_pending() {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  return s.full_upload;
}

std::mutex& presentation_lock() { return screen().lock; }

void present_take(const std::function<void(const uint32_t*, int32_t, int32_t, const Rect&)>& take, bool whole) {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  if (!s.open || (s.changed.empty() && !whole)) return;
  take(s.texels.data(), s.width, s.height, whole ? Rect{0, 0, s.width, s.height} : s.changed);
  s.changed = {};
}

std::vector<uint32_t> present_texture(int32_t* width, int32_t* height) {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  *width = s.width;
  *height = s.height;
  return s.texels;
}

void set_present_waker(void (*waker)()) {
  Screen& s = screen();
  std::lock_guard hold(s.lock);
  s.waker = waker;
}

}  // namespace zelt::gfx
