// Entry checks of every blit and the constants one blit's kernels share.
#include <algorithm>
#include <span>

#include "gfx/planes/palette.h"
#include "gfx/raster/blend_tables.h"
#include "gfx/raster/blit_engine.h"

namespace zelt::gfx {
namespace {

// A pixel value read back as a colour of that format (8-bit through the
// given colour table).
Px pixel_colour(uint32_t value, int bytes, const uint32_t* palette) {
  if (bytes == 1) return palette_colour(palette[value & 255]);
  if (bytes == 2) return colour_of_rgb15(value, blend_tables().e5);
  return palette_colour(value);
}

// The plane's colour table as 256 entries, zero past its end (16-bit
// planes in alpha format may have a short table or none).
void copy_palette(uint32_t (&out)[256], const Plane& plane) {
  const std::span<const uint32_t> table = plane_colour_table(plane);
  const size_t n = std::min<size_t>(table.size(), 256);
  std::copy_n(table.data(), n, out);
  std::fill(out + n, out + 256, 0u);
}

}  // namespace

uint32_t colour_pixel(uint32_t colour, int bytes) {
  if (bytes == 1) return colour_value_index(colour);
  const uint32_t rgb = colour_value_rgb(colour);
  if (bytes == 2) return (rgb >> 19 & 31) << 10 | (rgb >> 11 & 31) << 5 | (rgb >> 3 & 31);
  return rgb;
}

bool blit_format(const Plane* plane) {
  if (!plane) return false;
  const int32_t bits = plane->bit_count;
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

const Plane* usable_mask(const Plane* mask) { return mask && mask->bit_count >= 8 ? mask : nullptr; }

bool masked_mode(int mode) { return mode == 7 || mode == 10 || mode == 11 || mode == 12; }

uint8_t* pixel_origin(const Plane& plane) {
  if (plane.width <= 0 || plane.height <= 0) return nullptr;
  const std::span<uint8_t> pixels = plane_pixels(plane);
  if (!pixels.data()) return nullptr;
  return pixels.data() + static_cast<size_t>(plane.height - 1) * static_cast<size_t>(plane.pitch);
}

std::optional<CheckedMode> check_entry(const Plane* destination, const Plane* source, const BlitMode& mode) {
  if (!destination || !source || mode.mode >= kBlendModes) return std::nullopt;
  if (!blit_format(destination) || !blit_format(source)) return std::nullopt;
  if (kBlendModeInfo[mode.mode].uses_alpha && mode.alpha == 0) return std::nullopt;
  CheckedMode m{mode, mode.mode, nullptr};
  switch (m.mode) {
    case 3:
      if (mode.alpha == 255) m.mode = 0;
      break;
    case 4:
      if (mode.alpha == 255) m.mode = 1;
      break;
    case 10:
      if (mode.param == 0) m.mode = 7;
      break;
    case 22:
      if ((mode.channel_mask & 15) == 0) return std::nullopt;
      break;
    default:
      if (m.mode >= 26) {
        m.lut = &mode_lut(m.mode);
        m.mode = 26 + (m.mode & 1);
      }
      break;
  }
  return m;
}

void prepare_context(BlendContext& c, const CheckedMode& m, const Plane& source, const Plane& destination,
                     bool raw8) {
  const int src_bytes = source.bit_count / 8, dst_bytes = destination.bit_count / 8;
  const BlitMode& d = m.desc;
  c.w = static_cast<int32_t>(weight(d.alpha));
  c.wb = static_cast<int32_t>(weight(d.param));
  c.alpha = d.alpha;
  c.window = d.alpha + d.param;
  c.lut = m.lut;
  c.tables = &blend_tables();
  c.inverse_map = inverse_colour_map();
  if (src_bytes <= 2) copy_palette(c.src_palette, source);
  if (dst_bytes <= 2) copy_palette(c.dst_palette, destination);

  switch (m.mode) {
    case 1:
    case 4:
    case 6:
      c.src_key = colour_pixel(d.key, src_bytes);
      c.src_key_colour = pixel_colour(c.src_key, src_bytes, c.src_palette);
      break;
    case 2:
      c.dst_key = colour_pixel(d.key, dst_bytes);
      break;
    default:
      break;
  }
  switch (m.mode) {
    case 5:
    case 6:
    case 10:
    case 24:
    case 25: {
      const uint32_t value = colour_pixel(d.paint, dst_bytes);
      c.paint =
          raw8 ? Px{{static_cast<int32_t>(value), 0, 0, 0}} : pixel_colour(value, dst_bytes, c.dst_palette);
      break;
    }
    case 12:
      // L[i] = 255 below a, 0 from a + b on, a falling line between.
      for (int i = 0; i < 256; ++i) {
        const int a = d.alpha, b = d.param;
        int level = 0;
        if (i < a)
          level = 255;
        else if (i < a + b)
          level = std::clamp(255 - 255 * (i - a) / b, 0, 255);
        c.ramp[i] = static_cast<uint8_t>(level);
      }
      break;
    case 22:
      for (int i = 0; i < 4; ++i) c.select[i] = (d.channel_mask >> i & 1) ? 0xFF : 0;
      break;
    default:
      break;
  }
}

}  // namespace zelt::gfx
