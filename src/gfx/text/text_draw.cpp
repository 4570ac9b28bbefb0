#include "gfx/text/text_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blend_tables.h"
#include "gfx/raster/pixel_formats.h"
#include "gfx/raster/primitives.h"
#include "gfx/text/font_slots.h"

namespace zelt::gfx {
namespace {

// Coverage of one row byte of a block: 4 per set pixel. A full block sums to
// 7 × 32 + 31 = 255 because its last row counts 31 instead of 32.
struct CoverageTables {
  uint8_t n[256];
  uint8_t n_last[256];
  constexpr CoverageTables() : n(), n_last() {
    for (int b = 0; b < 256; ++b) {
      n[b] = static_cast<uint8_t>(4 * std::popcount(static_cast<unsigned>(b)));
      n_last[b] = n[b];
    }
    n_last[255] = kCoverageLastRowFull;
  }
};
constexpr CoverageTables kCoverage;

// The 1-bit picture text is rendered into, in bands of rows so that huge
// text or planes never need more than this many bytes. Grown to the largest
// band seen, never shrunk (until the fonts shut down).
constexpr size_t kScratchBudget = size_t{1} << 20;
std::vector<uint8_t> g_scratch;

uint8_t* scratch(size_t bytes) {
  if (g_scratch.size() < bytes) {
    g_scratch.clear();
    g_scratch.shrink_to_fit();
    g_scratch.resize(bytes);
  }
  std::fill_n(g_scratch.data(), bytes, uint8_t{0});
  return g_scratch.data();
}

// A rectangle in 64-bit coordinates, so that text far outside any plane
// cannot overflow.
struct Area {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

Area intersect(const Area& a, const Rect& r) {
  return {std::max<int64_t>(a.left, r.left), std::max<int64_t>(a.top, r.top),
          std::min<int64_t>(a.right, r.right), std::min<int64_t>(a.bottom, r.bottom)};
}

// Renders the text with its reference point at (ref_x, ref_y) into the 1-bit
// pixels of `area`, band by band (each a multiple of row_unit rows), and
// hands each band to paint(bits, stride, first_row, rows) with rows relative
// to area.top.
template <class Paint>
void render_bands(platform::Font& font, std::string_view text, int64_t ref_x, int64_t ref_y, const Area& area,
                  int32_t row_unit, Paint paint) {
  const int64_t width = area.right - area.left;
  const int64_t height = area.bottom - area.top;
  const int32_t stride = static_cast<int32_t>((width + 7) / 8);
  const int64_t fit = std::max<int64_t>(row_unit, static_cast<int64_t>(kScratchBudget / stride) / row_unit * row_unit);
  for (int64_t row = 0; row < height; row += fit) {
    const int32_t rows = static_cast<int32_t>(std::min(fit, height - row));
    uint8_t* bits = scratch(size_t(stride) * rows);
    const int64_t x = ref_x - area.left, y = ref_y - (area.top + row);
    // A reference point beyond int range is farther from the band than any
    // text can reach.
    if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX)
      font.draw({bits, static_cast<int>(width), rows, stride}, static_cast<int>(x), static_cast<int>(y), text);
    paint(bits, stride, static_cast<int32_t>(row), rows);
  }
}

inline bool bit_at(const uint8_t* row, int64_t x) { return row[x >> 3] & (0x80 >> (x & 7)); }

struct Sines {
  double s, c;
  explicit Sines(int32_t angle)
      : s(std::sin(angle * 3.1415926536 / 1800)), c(std::cos(angle * 3.1415926536 / 1800)) {}
};

int32_t truncate(double v) { return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0)); }

// Pixel values of the two colours of the text colour word in the plane's format.
uint32_t pixel_value(const Plane& plane, uint32_t index) {
  const uint32_t rgb = current_palette()[index & 255];
  switch (plane.bit_count) {
    case 8: return index & 255;
    case 16: return rgb15(palette_colour(rgb));
    default: return rgb;
  }
}

void put_pixel(const Plane& plane, uint8_t* p, uint32_t value) {
  switch (plane.bit_count) {
    case 8: p[0] = static_cast<uint8_t>(value); break;
    case 16: store16(p, value); break;
    case 24: p[0] = value & 255, p[1] = value >> 8 & 255, p[2] = value >> 16 & 255; break;
    case 32: store32(p, value); break;
  }
}

bool drawable(const Plane& plane) {
  return plane.bit_count == 8 || plane.bit_count == 16 || plane.bit_count == 24 || plane.bit_count == 32;
}

int32_t normal_angle(int32_t angle) { return static_cast<int32_t>((int64_t{angle} % 3600 + 3600) % 3600); }

// Sharp text: the glyph pixels in the text colour, over the background
// colour in the text's (turned) cell when the box is to be filled. Only the
// plane's bounds limit it.
void draw_sharp(Plane& plane, platform::Font& font, std::string_view text, int64_t x, int64_t y,
                const TextBox& box, int32_t angle, int32_t cell_cx, int32_t cy, uint32_t colour) {
  const int64_t ref_x = x - box.left, ref_y = y - box.top;
  // Glyphs may reach a little beyond the box (overshoots, slanted strokes).
  const int64_t margin = cy / 2 + 2;
  const Area area = intersect({x - margin, y - margin, x + (int64_t{box.right} - box.left) + margin,
                               y + (int64_t{box.bottom} - box.top) + margin},
                              Rect{0, 0, plane.width, plane.height});
  if (area.empty()) return;
  const uint32_t ink = pixel_value(plane, colour & 255);
  const uint32_t background = pixel_value(plane, colour >> 8 & 255);
  const bool opaque = colour & kTextOpaque;
  const int bytes = plane.bit_count / 8;
  const Sines sc(angle);
  render_bands(font, text, ref_x, ref_y, area, 1, [&](const uint8_t* bits, int32_t stride, int32_t first, int32_t rows) {
    for (int32_t r = 0; r < rows; ++r) {
      const int64_t py = area.top + first + r;
      uint8_t* line = plane_pixel_address(&plane, static_cast<int32_t>(area.left), static_cast<int32_t>(py));
      const uint8_t* row = bits + size_t(stride) * r;
      const int64_t width = area.right - area.left;
      for (int64_t i = 0; i < width; ++i) {
        if (!opaque && (i & 7) == 0 && row[i >> 3] == 0) {
          i += 7;
          continue;
        }
        uint8_t* p = line + i * bytes;
        if (bit_at(row, i)) {
          put_pixel(plane, p, ink);
        } else if (opaque) {
          // The pixel's centre in the text's own axes: inside the cell?
          const double dx = double(area.left + i) + 0.5 - double(ref_x), dy = double(py) + 0.5 - double(ref_y);
          const double u = dx * sc.c - dy * sc.s, v = dx * sc.s + dy * sc.c;
          if (u >= 0 && u < cell_cx && v >= 0 && v < cy) put_pixel(plane, p, background);
        }
      }
    }
  });
}

// Smooth text: each destination pixel takes the coverage of its 8 × 8 block
// of the eight-times rendering. upside_down: the text was rendered turned by
// half a turn, so blocks are read from the far corner back.
int32_t draw_smooth(Plane& plane, platform::Font& font, std::string_view text, int64_t x, int64_t y,
                    const TextBox& box, uint32_t colour, bool upside_down) {
  const int64_t area_w = ((int64_t{box.right} - box.left + 7) & ~int64_t{7}) + 8;
  const int64_t area_h = int64_t{box.bottom} - box.top + 8;
  const int64_t full_w = area_w / 8 - 1, full_h = area_h / 8 - 1;
  const Area dest = intersect({x, y, x + full_w, y + full_h}, plane.clip);
  if (dest.empty()) return 0;
  if (colour & kTextOpaque)
    raw_fill(&plane, static_cast<int32_t>(dest.left), static_cast<int32_t>(dest.top),
             static_cast<int32_t>(dest.right - dest.left), static_cast<int32_t>(dest.bottom - dest.top),
             pixel_value(plane, colour >> 8 & 255));
  // The blocks that dest reads, in block units of the whole area.
  const int64_t dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  const Area blocks = upside_down
      ? Area{full_w - (dest.right - x), full_h - (dest.bottom - y), full_w - (dest.left - x), full_h - (dest.top - y)}
      : Area{dest.left - x, dest.top - y, dest.right - x, dest.bottom - y};
  const Area pixels{blocks.left * 8, blocks.top * 8, blocks.right * 8, blocks.bottom * 8};

  const uint32_t rgb = current_palette()[colour & 255];
  const Px ink = palette_colour(rgb);
  const bool as_alpha = colour & kTextAlpha;
  const BlendLut& mul = blend_tables().mul;
  const uint8_t e5_ink[3] = {static_cast<uint8_t>(ink.c[0] >> 3), static_cast<uint8_t>(ink.c[1] >> 3),
                             static_cast<uint8_t>(ink.c[2] >> 3)};
  const int bytes = plane.bit_count / 8;

  auto write = [&](uint8_t* p, int32_t k) {
    if (plane.bit_count == 8) {
      p[0] = static_cast<uint8_t>(k);
    } else if (as_alpha) {
      switch (plane.bit_count) {
        case 32: store32(p, static_cast<uint32_t>(k) << 24 | rgb); break;
        case 24: store16(p, rgb15(ink)), p[2] = static_cast<uint8_t>(k); break;
        case 16: p[0] = static_cast<uint8_t>(colour & 255), p[1] = static_cast<uint8_t>(k); break;
      }
    } else if (plane.bit_count == 16) {
      const uint32_t d = load16(p);
      uint32_t out = rgb15(ink);
      if (k < 255) {
        out = 0;
        for (int c = 0; c < 3; ++c) {
          const uint32_t d5 = d >> (5 * c) & 31;
          out |= static_cast<uint32_t>(mul[255 - k][d5] + mul[k][e5_ink[c]]) << (5 * c);
        }
      }
      store16(p, out);
    } else {
      for (int c = 0; c < 3; ++c)
        p[c] = k >= 255 ? static_cast<uint8_t>(ink.c[c]) : static_cast<uint8_t>(mul[255 - k][p[c]] + mul[k][ink.c[c]]);
    }
  };

  const int64_t ref_x = -int64_t{box.left}, ref_y = -int64_t{box.top};
  render_bands(font, text, ref_x, ref_y, pixels, 8, [&](const uint8_t* bits, int32_t stride, int32_t first, int32_t rows) {
    for (int32_t br = 0; br < rows / 8; ++br) {
      const int64_t block_row = first / 8 + br;  // relative to blocks.top
      const int64_t py = upside_down ? dest.top + (dh - 1 - block_row) : dest.top + block_row;
      const uint8_t* block_rows[8];
      for (int r = 0; r < 8; ++r) block_rows[r] = bits + size_t(stride) * (br * 8 + r);
      uint8_t* line = plane_pixel_address(&plane, static_cast<int32_t>(dest.left), static_cast<int32_t>(py));
      for (int64_t i = 0; i < dw; ++i) {
        const int32_t k = block_coverage(block_rows, static_cast<int32_t>(i));
        if (k == 0) continue;
        write(line + (upside_down ? dw - 1 - i : i) * bytes, k);
      }
    }
  });
  return 1;
}

}  // namespace

TextBox text_box(int32_t cx, int32_t cy, int32_t angle) {
  if (angle == 0) return {0, 0, cx, cy};
  if (angle == 2700) return {-cy, 0, 0, cx};
  const Sines sc(angle);
  const double s = sc.s, c = sc.c;
  if (angle > 0 && angle < 900) return {0, truncate(-cx * s), truncate(cy * s + cx * c), truncate(cy * c)};
  if (angle >= 900 && angle < 1800) return {truncate(cx * c), truncate(cy * c - cx * s), truncate(cy * s), 0};
  if (angle >= 1800 && angle < 2700) return {truncate(cy * s + cx * c), truncate(cy * c), 0, truncate(-cx * s)};
  return {truncate(cy * s), 0, truncate(cx * c), truncate(cy * c - cx * s)};
}

int32_t block_coverage(const uint8_t* rows[8], int32_t column) {
  int32_t k = 0;
  for (int r = 0; r < 7; ++r) k += kCoverage.n[rows[r][column]];
  return k + kCoverage.n_last[rows[7][column]];
}

int32_t gtext(uint32_t handle, int32_t x, int32_t y, uint32_t colour, std::string_view text, uint32_t slot,
              int32_t os_platform) {
  Plane* plane = plane_get(handle);
  if (!plane || slot >= kFontSlots) return 0;
  FontDescription& d = font_description(slot);
  const bool smooth = d.flags & kFontSmooth;
  // Older systems drew large smooth text upside down and turned it back.
  const int32_t saved_angle = d.angle;
  const bool upside_down = os_platform != 2 && smooth && d.angle == 0 && d.height > 20;
  if (upside_down) d.angle = 1800;
  platform::Font* font = font_made(slot);
  const int32_t angle = normal_angle(d.angle);
  const bool italic = d.flags & kFontItalic;
  d.angle = saved_angle;
  if (!font) return 0;

  const platform::TextExtent extent = font->extent(text);
  const int32_t cy = extent.cy;
  const int32_t cx = italic ? static_cast<int32_t>(std::min<int64_t>(int64_t{extent.cx} + cy / 4 + 1, INT32_MAX))
                            : extent.cx;
  const TextBox box = text_box(cx, cy, angle);
  // Planes of 1 and 4 bits per pixel take no text.
  if (!drawable(*plane) || !plane_pixels(*plane).data()) return 1;
  if (!smooth) {
    draw_sharp(*plane, *font, text, x, y, box, angle, extent.cx, cy, colour);
    return 1;
  }
  return draw_smooth(*plane, *font, text, x, y, box, colour, upside_down);
}

void text_scratch_release() {
  g_scratch.clear();
  g_scratch.shrink_to_fit();
}

size_t text_scratch_bytes() { return g_scratch.size(); }

}  // namespace zelt::gfx
