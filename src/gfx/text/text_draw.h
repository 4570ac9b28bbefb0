// Drawing text into planes: sharp 1-bit text written in palette colours, or
// smooth text rendered at eight times the size and reduced block by block to
// a coverage value that is blended, written as alpha or stored as a mask.
#pragma once

#include <cstdint>
#include <string_view>

namespace zelt::gfx {

// Bits of the text colour word besides the text index (bits 0-7) and the
// background index (bits 8-15).
inline constexpr uint32_t kTextOpaque = 1u << 30;  // fill the text's box with the background first
inline constexpr uint32_t kTextAlpha = 1u << 31;   // smooth text: write coverage as alpha

// Offsets of the bounding box of text of extent (cx, cy) turned by angle
// (tenths of a degree, counter-clockwise) from its reference point.
struct TextBox {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TextBox&) const = default;
};
TextBox text_box(int32_t cx, int32_t cy, int32_t angle);

// Coverage of one 8 x 8 block of 1-bit pixels: the sum over its eight row
// bytes of N (N' for the last row), 0..255.
inline constexpr uint8_t kCoverageRowFull = 32, kCoverageLastRowFull = 31;
int32_t block_coverage(const uint8_t* rows[8], int32_t column);

// gtext: draws text (code page 932) with font slot `slot` at (x, y), the
// top-left corner of the text's bounding box. os_platform decides the
// upside-down rendering of large smooth text (only where it is not 2).
// 1, or 0 for a missing plane, a slot above 31, a font that cannot be made
// or smooth text that misses the clip rectangle.
int32_t gtext(uint32_t handle, int32_t x, int32_t y, uint32_t colour, std::string_view text, uint32_t slot,
              int32_t os_platform);

// Releases the smooth-text scratch picture (it is made again on demand).
void text_scratch_release();
// Bytes the scratch picture holds now (for tests).
size_t text_scratch_bytes();

}  // namespace zelt::gfx
