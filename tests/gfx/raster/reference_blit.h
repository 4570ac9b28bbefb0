// A plain, slow reference of the blit engine for tests: every destination
// pixel is worked out on its own, the geometry first (which source pixel, or
// which four to interpolate), then the pixel read by its format, the blend
// mode's arithmetic, and the write by the destination's format. One function
// per mode, per pixel format and per sampling family; no kernel tables.
//
// It works on copies of planes (Image), so the engine and the reference can
// run on the same input and be compared byte for byte, padding included.
// The lookup tables are recomputed here from their formulas.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"

namespace zelt::gfx::reference {

// A plane's pixels and colour table, laid out as in the plane (bottom-up rows
// of pitch bytes), with its clip rectangle.
struct Image {
  int32_t width = 0, height = 0, bits = 0, pitch = 0;
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> table;  // 0x00RRGGBB (the top byte is ignored when read)
  Rect clip;

  uint8_t* at(int32_t x, int32_t y);
  const uint8_t* at(int32_t x, int32_t y) const;
  bool contains(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

Image image_of(const Plane& plane);
// Writes the image's pixels back into the plane (same geometry).
void store(const Image& image, Plane& plane);

// The global state a blit reads: the color_mapping switch, the current
// palette (key and paint colour values) and the inverse colour map.
struct Environment {
  bool color_mapping = false;
  Palette palette{};
  std::vector<uint8_t> inverse_map = std::vector<uint8_t>(32768);

  static Environment current();
};

// The operations, with the engine's arguments; mask may be null. blit_copy
// takes the source rectangle (null: the whole source) and the mask that
// plane_mask would give; it models [System] MMX = 0 (the fast routines of
// modes 3..6 and of mode 7 with a mask never go to the blitter object).
int32_t blit_scaled(Image& destination, const Rect& destination_rect, const Image& source, const Rect& source_rect,
                    const Image* mask, const BlitMode& mode, const Environment& environment);
int32_t blit_rotated(Image& destination, const Rect& destination_rect, const Image& source,
                     const Rect& source_rect, const Image* mask, const BlitMode& mode, int32_t angle,
                     const Environment& environment);
int32_t blit_rotated_smooth(Image& destination, const Rect& destination_rect, const Image& source,
                            const Rect& source_rect, const Image* mask, const BlitMode& mode, int32_t angle,
                            const Environment& environment);
int32_t blit_copy(Image& destination, int32_t x, int32_t y, const Image& source, const Rect* source_rect,
                  const Image* mask, const BlitMode& mode, const Environment& environment);

// The lookup tables, recomputed from their formulas.
struct Tables {
  uint8_t e5[32];
  uint8_t mul[256][256], overlay[256][256], soft_light[256][256], hard_light[256][256];
  uint8_t dodge[256][256], burn[256][256], t9[256][256];
  uint8_t clamp[768];
};
const Tables& tables();

// mix(d, r, k) = d + floor((r − d) × k / 256).
int mix(int d, int r, int k);

// Whether the plain table of a mode (0..27, after the rewrites) has a routine
// for the pair of bit counts; the masked tables (7, 10, 11, 12) cover every pair.
bool plain_cell(int mode, int source_bits, int destination_bits);

// One blit on planes in slots, run by the engine or by this reference (which
// works on copies and writes the destination back). The mask is
// plane_mask(source), as the built-ins pass it.
enum class Side { reference, engine };
enum class Family { copy, scaled, rotated, smooth };
inline constexpr Family kFamilies[] = {Family::copy, Family::scaled, Family::rotated, Family::smooth};
const char* family_name(Family family);

struct Call {
  Family family = Family::scaled;
  Rect destination_rect;             // copy: left and top are x and y
  std::optional<Rect> source_rect;   // none: the whole source plane
  BlitMode mode;
  int32_t angle = 0;
};
int32_t run(Side side, const Call& call, uint32_t destination, uint32_t source);

}  // namespace zelt::gfx::reference
