// Pieces of the blit engine shared by its entry points: the entry checks
// and mode rewrites, the per-blit blend constants, 64-bit rectangles and
// the per-call scratch tables.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"
#include "gfx/raster/kernels.h"

namespace zelt::gfx {

// Products of 64-bit coordinates and 32.32 or 16.16 steps.
__extension__ typedef __int128 Int128;

// Rectangles of the geometry in 64 bits: sums and differences of 32-bit
// coordinates never overflow.
struct Box {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  int64_t width() const { return right - left; }
  int64_t height() const { return bottom - top; }
};

inline Box box_of(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }
inline Box intersect(const Box& a, const Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}
// A plane's bounds, and its clip rectangle kept inside them.
inline Box bounds_of(const Plane& p) { return {0, 0, p.width, p.height}; }
inline Box clip_of(const Plane& p) { return intersect(box_of(p.clip), bounds_of(p)); }

// A blend descriptor that passed the entry checks, rewritten: mode 0..27 to
// run, and the lookup table of modes 26..35.
struct CheckedMode {
  BlitMode desc;
  int mode = 0;
  const BlendLut* lut = nullptr;
};

// The entry checks shared by every blit: planes present with 8, 16, 24 or
// 32 bits, a mode up to 35, an alpha byte for the alpha modes, a channel
// mask for mode 22; then the rewrites (3 and 4 at alpha 255, 10 without a
// tint, 26..35 to 26 or 27 with their table). Nothing means the blit
// returns 0.
std::optional<CheckedMode> check_entry(const Plane* destination, const Plane* source, const BlitMode& mode);

bool blit_format(const Plane* plane);
// The mask a blit uses: the mask plane read one byte per pixel, or null
// when there is none or it has fewer than 8 bits per pixel (its rows would
// be shorter than its width in bytes).
const Plane* usable_mask(const Plane* mask);
// Whether (x, y) is a pixel of the plane.
inline bool has_pixel(const Plane& p, int64_t x, int64_t y) {
  return x >= 0 && y >= 0 && x < p.width && y < p.height;
}
// Whether the masked table applies to the mode.
bool masked_mode(int mode);

// Pixel (0, 0) of a plane (the first byte of its top row), or null when the
// plane's memory is not there or the plane is empty.
uint8_t* pixel_origin(const Plane& plane);

// A colour value as a pixel of a format of that many bytes: an index (the
// nearest entry of the current palette for an RGB value), a 15-bit pixel, or
// the RGB.
uint32_t colour_pixel(uint32_t colour, int bytes);

// Fills the blend constants of one blit: weights, the key and paint colours
// converted to the formats they meet, mode 22's channels, mode 12's ramp,
// the colour tables. raw8: an 8-bit to 8-bit blit on raw index bytes.
void prepare_context(BlendContext& context, const CheckedMode& mode, const Plane& source,
                     const Plane& destination, bool raw8);

// One axis of a scaled blit after clipping: count destination pixels from
// coordinate first (leftwards or upwards when mirrored), the first sampling
// the source at pos and each next one step further (32.32).
struct ScaledAxis {
  int64_t first = 0;
  int32_t count = 0;
  uint64_t pos = 0, step = 0;
};

// Clips one axis of a scaled blit: destination [d0, d1) against the clip
// [dmin, dmax), source [s0, s1) against the limits [smin, smax), both
// normalised and non-empty. False when nothing is left.
bool clip_scaled_axis(int64_t d0, int64_t d1, int64_t s0, int64_t s1, int64_t dmin, int64_t dmax,
                      int64_t smin, int64_t smax, bool mirrored, ScaledAxis& out);

// The engine behind blit_scaled and gcopy's general path, on 64-bit
// rectangles (either may be reversed).
int32_t scaled_blit(Plane* destination, const Box& destination_rect, Plane* source, const Box& source_rect,
                    Plane* mask, const BlitMode& mode);

// A per-call table: on the stack up to N entries, on the heap beyond.
template <class T, size_t N = 2048>
class ScratchTable {
 public:
  explicit ScratchTable(size_t size) {
    if (size > N) {
      heap_ = std::make_unique_for_overwrite<T[]>(size);
      data_ = heap_.get();
    }
  }
  ScratchTable(const ScratchTable&) = delete;
  ScratchTable& operator=(const ScratchTable&) = delete;
  T* data() { return data_; }
  T& operator[](size_t i) { return data_[i]; }

 private:
  T inline_[N];
  std::unique_ptr<T[]> heap_;
  T* data_ = inline_;
};

}  // namespace zelt::gfx
