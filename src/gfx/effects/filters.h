// The image filters: operations on rectangles of planes, called by their
// built-ins with the scripts' arguments. Planes are slot handles (a missing
// plane gives 0); a null rectangle is the whole plane; colour keys are
// colour values, negative for none. smooth, blur and monotone spread their
// rows over worker threads ([System] MultiThreading); the others run on the
// calling thread. Results are the built-ins' results.
#pragma once

#include <cstdint>

#include "gfx/planes/plane.h"

namespace zelt::gfx {

// Quad coordinates beyond ±kQuadLimit are refused (freemap returns 0): the
// edges and spans of such a quad would be walked a pixel at a time for
// billions of pixels, nearly all outside any plane.
inline constexpr int32_t kQuadLimit = 1 << 16;

// Maps the source rectangle onto the quad x0 y0 … x3 y3 (the top-left,
// bottom-left, bottom-right and top-right corners in that order; null: the
// destination plane's corners) by walking its edges.
int32_t freemap(uint32_t destination, const int32_t* quad, uint32_t source, const Rect* source_rect, int32_t key);
// freemap onto the destination rectangle's corners turned by angle about its
// centre (2048 units per turn).
int32_t rotate(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               int32_t angle, int32_t key);
// Fills the destination rectangle with the source rectangle repeated, turned
// by angle and zoomed (16.16, 0 counts as 1:1) about the area's centre.
int32_t tiled(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
              int32_t angle, int32_t zoom);
// Bilinear scaling of the source rectangle onto the destination rectangle.
int32_t smooth(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               int32_t key);
// Moves the rectangle's content left by dx and up by dy, wrapping around.
int32_t scroll(uint32_t plane, const Rect* rect, int32_t dx, int32_t dy);
// Random brightening along each row.
int32_t noise(uint32_t plane, const Rect* rect, int32_t amount);
// Shifts each row by a random amount, filling with zero bytes.
int32_t slice(uint32_t plane, const Rect* rect, int32_t amount);
// Each pixel becomes the mean of its four neighbours.
int32_t gradation(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect);
// Blocks of bw × bh pixels filled with the mean of their corners.
int32_t mosaic(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect, int32_t bw,
               int32_t bh);
// Brightness mapped onto the ramp from colour c0 (black) to c1 (white).
int32_t monotone(uint32_t plane, const Rect* rect, uint32_t c0, uint32_t c1);
// Box blur of 2n + 1 samples along rows (amount > 0) or columns (amount < 0).
int32_t blur(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect,
             int32_t amount);
// One pass of rising flames: each pixel moves one row up, decayed.
int32_t fire(uint32_t plane, const Rect* rect);

}  // namespace zelt::gfx
