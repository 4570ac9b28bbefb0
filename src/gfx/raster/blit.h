// The blit engine: copies a rectangle of one plane into another, scaled,
// mirrored or rotated, combining source and destination pixels by one of the
// 36 blend modes. Three sampling families: scaled (axis-aligned, nearest
// pixel, 32.32 steps), rotated (affine, nearest pixel, 16.16) and
// rotated-smooth (bilinear). Every operation returns 1 when something was
// processed (also when the mode has no routine for the format pair) and 0
// when nothing was, leaving the destination untouched.
#pragma once

#include <cstdint>

#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"

namespace zelt::gfx {

// The system variable color_mapping: 8-bit to 8-bit blits blend palette
// colours (non-zero) or raw index bytes (0).
int32_t color_mapping();
void set_color_mapping(int32_t value);

// False when the environment variable ZELT_NO_SIMD is set (to anything but
// "0"): every kernel and fast routine then runs its plain code, so tests can
// compare both paths. Read once.
bool simd_enabled();

// Internal operations. Rectangles may be reversed (right < left or
// bottom < top): see the mirroring rules. mask: the source's mask plane, or
// null.
int32_t blit_copy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect,
                  const BlitMode& mode);
int32_t blit_scaled(Plane* destination, const Rect& destination_rect, Plane* source, const Rect& source_rect,
                    Plane* mask, const BlitMode& mode);
int32_t blit_rotated(Plane* destination, const Rect& destination_rect, Plane* source, const Rect& source_rect,
                     Plane* mask, const BlitMode& mode, int32_t angle);
int32_t blit_rotated_smooth(Plane* destination, const Rect& destination_rect, Plane* source,
                            const Rect& source_rect, Plane* mask, const BlitMode& mode, int32_t angle);

// Built-in operations: null rectangles mean whole planes, a null mode mode 0
// with every other field 0.
int32_t gcopy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect,
              const BlitMode* mode);
int32_t gblit(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
              const BlitMode* mode, int32_t angle);
int32_t gblita(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               const BlitMode* mode, int32_t angle);

}  // namespace zelt::gfx
