// The two global palettes (the working one that scripts edit and the
// current one that palette-index colour values and 256-colour output use),
// the nearest-colour search, the inverse colour map of 8-bit destinations,
// the 15-bit pixel table and the packed HSV conversions. Entries are
// 0x00RRGGBB, the colour-table layout.
//
// Built-ins change these under the built-in lock; blit workers read them
// during a blit, when nothing changes them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zelt::gfx {

inline constexpr uint32_t kPaletteEntries = 256;
inline constexpr uint32_t kColourIndexFlag = 0x01000000;  // colour value names a palette index

using Palette = std::array<uint32_t, kPaletteEntries>;

Palette& working_palette();
const Palette& current_palette();
// Both palettes become the 3-3-2 cube of 8-bit planes.
void palettes_reset();

// The index of the entry of palette nearest to (r, g, b) by the weighted
// distance (30², 59², 11² on 6-bit channels); the lowest among equals.
uint8_t nearest_index(const Palette& palette, uint8_t r, uint8_t g, uint8_t b);

// Colour values of drawing built-ins: bit 24 set names a current-palette
// index in the low byte, otherwise the value is 0x00RRGGBB.
uint32_t colour_value_rgb(uint32_t value);
uint8_t colour_value_index(uint32_t value);

// The inverse colour map: 32768 palette indices at (r >> 3) << 10 |
// (g >> 3) << 5 | (b >> 3); all zero until pal_map builds it.
const uint8_t* inverse_colour_map();
void pal_map(const Palette& palette);
// What the last pal_map did: cells taken from its queue in all, and the most
// takes of one cell (for benchmarks and tests).
struct PalMapStats {
  uint32_t takes = 0;
  uint32_t most_takes_of_a_cell = 0;
};
PalMapStats pal_map_stats();
// The 32768-entry table from a 15-bit pixel (bit 15 ignored) to 0x00RRGGBB,
// each 5-bit field expanded as i × 255 / 31: how blits and the presentation
// read 16-bit pixels (getpixel replicates the top bits instead).
const uint32_t* rgb15_table();

uint32_t rgbtohsv(uint32_t rgb);
uint32_t hsvtorgb(uint32_t hsv);

// Built-in operations on the working palette.
int32_t pal_set(uint32_t index, uint32_t entry);
uint32_t pal_get(uint32_t index);
// How many entries pal_sets/pal_gets copy from first: 0 when first > 255 or
// count <= 0, else min(count, 256 - first).
int32_t palette_span_count(uint32_t first, int32_t count);
// Copies entries of plane h's colour table into the working palette; the
// number copied.
int32_t pal_load(uint32_t handle, uint32_t to, uint32_t from, int32_t count);
// Publishes the working palette as the current one and tells the
// presentation.
int32_t pal_change();

// What the presentation does when the current palette changed: repaint is
// true when the view page has 8 bits per pixel and must be shown again.
// Until a handler is installed the change is only counted.
using PaletteChangeHandler = void (*)(bool repaint);
void set_palette_change_handler(PaletteChangeHandler handler);
// Published changes and repaints asked for since start (for tests).
uint32_t palette_changes();
uint32_t palette_repaints();

}  // namespace zelt::gfx
