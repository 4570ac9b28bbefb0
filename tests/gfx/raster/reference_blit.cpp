#include "gfx/raster/reference_blit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "core/sine_table.h"
#include "gfx/raster/blit.h"

namespace zelt::gfx::reference {
namespace {

__extension__ typedef __int128 Wide;  // products of 32.32 steps and 32-bit cuts

// ---------------------------------------------------------------------------
// Lookup tables, from their formulas.

uint8_t overlay_entry(int x, int y) {
  if (y > 127) return static_cast<uint8_t>(255 + 2 * (255 - x) * (y - 255) / 255);
  return static_cast<uint8_t>(2 * x * y / 255);
}

uint8_t hard_light_entry(int x, int y) {
  if (x > 127) return static_cast<uint8_t>(255 + 2 * (255 - x) * (y - 255) / 255);
  return static_cast<uint8_t>(2 * x * y / 255);
}

uint8_t soft_light_entry(int x, int y) {
  const double o = y / 255.0, h = x / 255.0;
  double result;
  if (h < 0.5)
    result = o + (o - o * o) * (2 * h - 1);
  else if (o <= 32.0 / 255.0)
    result = o + (o - o * o) * (2 * h - 1) * (3 - 8 * o);
  else
    result = o + (std::sqrt(o) - o) * (2 * h - 1);
  return static_cast<uint8_t>(result * 255);
}

uint8_t dodge_entry(int x, int y) {
  if (x + y > 255) return 255;
  if (y == 0) return 0;
  return static_cast<uint8_t>(255 * y / (255 - x));
}

uint8_t burn_entry(int x, int y) {
  if (x + y < 255) return 0;
  if (x == 0) return 255;
  return static_cast<uint8_t>(255 - 255 * (255 - y) / x);
}

// 255 × (y / x) / (1 − y / 255 + y / x) with both sides multiplied by 255 x.
uint8_t t9_entry(int x, int y) {
  if (x == 0) return 255;
  return static_cast<uint8_t>(std::min(255, 65025 * y / (255 * x - x * y + 255 * y)));
}

std::unique_ptr<Tables> build_tables() {
  auto t = std::make_unique<Tables>();
  for (int i = 0; i < 32; ++i) t->e5[i] = static_cast<uint8_t>(i * 255 / 31);
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 256; ++y) {
      t->mul[x][y] = static_cast<uint8_t>((x * y + 128) / 255);
      t->overlay[x][y] = overlay_entry(x, y);
      t->hard_light[x][y] = hard_light_entry(x, y);
      t->soft_light[x][y] = soft_light_entry(x, y);
      t->dodge[x][y] = dodge_entry(x, y);
      t->burn[x][y] = burn_entry(x, y);
      t->t9[x][y] = t9_entry(x, y);
    }
  }
  for (int v = -256; v < 512; ++v) t->clamp[v + 256] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  return t;
}

int clamp_sum(int v) { return tables().clamp[v + 256]; }

// ---------------------------------------------------------------------------
// Pixels as the blend sees them.

struct Colour {
  int b = 0, g = 0, r = 0;
};

Colour colour_of(uint32_t rgb) {
  return {static_cast<int>(rgb & 255), static_cast<int>((rgb >> 8) & 255), static_cast<int>((rgb >> 16) & 255)};
}

// A source pixel: its colour, its alpha A (the pixel's last byte, or the
// mask byte), the fourth byte of a 32-bit pixel, and the bits compared with
// a key colour.
struct Source {
  Colour colour;
  int alpha = 0;
  int fourth = 0;
  uint32_t key_bits = 0;
  std::optional<uint32_t> pixel;  // the pixel's bytes; none for an interpolated sample
};

// A destination pixel as read before the blend.
struct Target {
  Colour colour;
  int alpha = 0;   // the alpha byte (last byte)
  int fourth = 0;  // u: the fourth byte of a 32-bit pixel
  uint32_t key_bits = 0;
};

// What the blend writes; parts not set stay as they are.
struct Output {
  std::optional<uint32_t> pixel;  // the whole pixel, byte for byte
  std::optional<Colour> colour;
  std::optional<int> fourth;      // the fourth byte of a 32-bit destination
  std::optional<int> alpha_byte;  // the last byte (mode 23)
};

// The per-blit constants.
struct Plan {
  const Environment* environment = nullptr;
  int mode = 0;  // after the rewrites; 28..35 run as 26 or 27
  const uint8_t (*lut)[256] = nullptr;
  bool masked = false;
  bool raw = false;                       // 8 → 8 without colour mapping: the index byte is the one channel
  bool source_alpha_format = false;       // colour part in the next smaller format, alpha in the last byte
  bool destination_alpha_format = false;
  bool four_bytes = false;                // 32 → 32 and the mode computes the fourth byte like the others
  bool fast_rounding = false;             // gcopy's fast routine of mode 3
  int source_bits = 0, destination_bits = 0;
  int a = 0, b = 0, w = 0, wb = 0;
  uint32_t key = 0;
  Colour paint;
  int channels = 0;  // mode 22's nibble
  int ramp[256] = {};
};

bool valid_bits(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

bool uses_alpha(int mode) { return mode == 3 || mode == 4 || (mode >= 7 && mode <= 21) || mode >= 24; }

uint32_t rgb_of(uint32_t value, const Environment& environment) {
  if (value & kColourIndexFlag) return environment.palette[value & 255] & 0xFFFFFF;
  return value & 0xFFFFFF;
}

uint8_t index_of(uint32_t value, const Environment& environment) {
  if (value & kColourIndexFlag) return static_cast<uint8_t>(value);
  return nearest_index(environment.palette, static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                       static_cast<uint8_t>(value));
}

uint32_t form15(const Colour& c) {
  return static_cast<uint32_t>((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
}

// A key colour as the pixels of a plane of that bit count hold it.
uint32_t key_in_format(uint32_t value, int bits, const Environment& environment) {
  switch (bits) {
    case 8: return index_of(value, environment);
    case 16: return form15(colour_of(rgb_of(value, environment)));
    default: return rgb_of(value, environment);
  }
}

// ---------------------------------------------------------------------------
// Reading pixels, one function per format.

Colour table_colour(const Image& image, uint32_t index) {
  // A 16-bit alpha-format plane may have a short or empty table: black.
  return index < image.table.size() ? colour_of(image.table[index]) : Colour{};
}

Colour colour15(uint32_t word) {
  const Tables& t = tables();
  return {t.e5[word & 31], t.e5[(word >> 5) & 31], t.e5[(word >> 10) & 31]};
}

Source read_source_8(const Plan& plan, const Image& image, const uint8_t* p) {
  Source s;
  s.colour = plan.raw ? Colour{p[0], p[0], p[0]} : table_colour(image, p[0]);
  s.alpha = p[0];
  s.key_bits = p[0];
  return s;
}

Source read_source_16(const Plan& plan, const Image& image, const uint8_t* p) {
  const uint32_t word = p[0] | p[1] << 8;
  Source s;
  s.colour = plan.source_alpha_format ? table_colour(image, p[0]) : colour15(word);
  s.alpha = p[1];
  s.key_bits = word & 0x7FFF;
  return s;
}

Source read_source_24(const Plan& plan, const uint8_t* p) {
  Source s;
  s.colour = plan.source_alpha_format ? colour15(p[0] | p[1] << 8) : Colour{p[0], p[1], p[2]};
  s.alpha = p[2];
  s.key_bits = p[0] | p[1] << 8 | p[2] << 16;
  return s;
}

Source read_source_32(const uint8_t* p) {
  Source s;
  s.colour = {p[0], p[1], p[2]};
  s.alpha = p[3];
  s.fourth = p[3];
  s.key_bits = p[0] | p[1] << 8 | p[2] << 16;
  return s;
}

Source read_source(const Plan& plan, const Image& source, const Image* mask, int32_t x, int32_t y) {
  if (!source.contains(x, y)) throw std::logic_error("reference read outside the source plane");
  const uint8_t* p = source.at(x, y);
  Source s;
  switch (source.bits) {
    case 8: s = read_source_8(plan, source, p); break;
    case 16: s = read_source_16(plan, source, p); break;
    case 24: s = read_source_24(plan, p); break;
    default: s = read_source_32(p); break;
  }
  s.pixel = 0;
  std::memcpy(&*s.pixel, p, static_cast<size_t>(source.bits / 8));
  if (plan.masked) {
    if (!mask->contains(x, y)) throw std::logic_error("reference read outside the mask plane");
    s.alpha = *mask->at(x, y);
  }
  return s;
}

Target read_target_8(const Plan& plan, const Image& image, const uint8_t* p) {
  Target d;
  d.colour = plan.raw ? Colour{p[0], p[0], p[0]} : table_colour(image, p[0]);
  d.alpha = p[0];
  d.key_bits = p[0];
  return d;
}

Target read_target_16(const Plan& plan, const Image& image, const uint8_t* p) {
  const uint32_t word = p[0] | p[1] << 8;
  Target d;
  d.colour = plan.destination_alpha_format ? table_colour(image, p[0]) : colour15(word);
  d.alpha = p[1];
  d.key_bits = word & 0x7FFF;
  return d;
}

Target read_target_24(const Plan& plan, const uint8_t* p) {
  Target d;
  d.colour = plan.destination_alpha_format ? colour15(p[0] | p[1] << 8) : Colour{p[0], p[1], p[2]};
  d.alpha = p[2];
  d.key_bits = p[0] | p[1] << 8 | p[2] << 16;
  return d;
}

Target read_target_32(const uint8_t* p) {
  Target d;
  d.colour = {p[0], p[1], p[2]};
  d.alpha = p[3];
  d.fourth = p[3];
  d.key_bits = p[0] | p[1] << 8 | p[2] << 16;
  return d;
}

Target read_target(const Plan& plan, const Image& destination, const uint8_t* p) {
  switch (destination.bits) {
    case 8: return read_target_8(plan, destination, p);
    case 16: return read_target_16(plan, destination, p);
    case 24: return read_target_24(plan, p);
    default: return read_target_32(p);
  }
}

// ---------------------------------------------------------------------------
// Writing pixels, one function per format.

int channel(int v) {
  if (v < 0 || v > 255) throw std::logic_error("reference channel out of range: " + std::to_string(v));
  return v;
}

Colour checked(const Colour& c) { return {channel(c.b), channel(c.g), channel(c.r)}; }

uint8_t inverse(const Plan& plan, const Colour& c) { return plan.environment->inverse_map[form15(c)]; }

void write_colour_8(const Plan& plan, uint8_t* p, const Colour& c) {
  p[0] = plan.raw ? static_cast<uint8_t>(c.b) : inverse(plan, c);
}

void write_colour_16(const Plan& plan, uint8_t* p, const Colour& c) {
  if (plan.destination_alpha_format) {
    p[0] = inverse(plan, c);  // the index part; byte 1 is the alpha byte
    return;
  }
  const uint32_t word = form15(c);
  p[0] = static_cast<uint8_t>(word);
  p[1] = static_cast<uint8_t>(word >> 8);
}

void write_colour_24(const Plan& plan, uint8_t* p, const Colour& c) {
  if (plan.destination_alpha_format) {
    const uint32_t word = form15(c);  // the 16-bit part; byte 2 is the alpha byte
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    return;
  }
  p[0] = static_cast<uint8_t>(c.b);
  p[1] = static_cast<uint8_t>(c.g);
  p[2] = static_cast<uint8_t>(c.r);
}

void write_colour_32(uint8_t* p, const Colour& c) {
  p[0] = static_cast<uint8_t>(c.b);
  p[1] = static_cast<uint8_t>(c.g);
  p[2] = static_cast<uint8_t>(c.r);
}

void write(const Plan& plan, const Image& destination, uint8_t* p, const Output& out) {
  if (out.pixel) std::memcpy(p, &*out.pixel, static_cast<size_t>(destination.bits / 8));
  if (out.colour) {
    const Colour c = checked(*out.colour);
    switch (destination.bits) {
      case 8: write_colour_8(plan, p, c); break;
      case 16: write_colour_16(plan, p, c); break;
      case 24: write_colour_24(plan, p, c); break;
      default: write_colour_32(p, c); break;
    }
  }
  if (out.fourth && destination.bits == 32) p[3] = static_cast<uint8_t>(channel(*out.fourth));
  if (out.alpha_byte) p[destination.bits / 8 - 1] = static_cast<uint8_t>(channel(*out.alpha_byte));
}

// ---------------------------------------------------------------------------
// The blend modes, one function each.

template <typename F>
Colour each(const Colour& x, const Colour& y, F f) {
  return {f(x.b, y.b), f(x.g, y.g), f(x.r, y.r)};
}

Colour mix_colour(const Colour& d, const Colour& r, int k) {
  return each(d, r, [k](int x, int y) { return mix(x, y, k); });
}

// Mode 3's blend: the general formula, or the rounding of gcopy's fast routine.
int alpha_blend(const Plan& plan, int d, int s) {
  if (plan.fast_rounding) return d * (256 - plan.w) / 256 + s * plan.w / 256;
  return mix(d, s, plan.w);
}

// The fourth byte of 32-bit destinations in modes 24, 25 and 27.
void paint_fourth(const Plan& plan, const Target& d, int t, Output& out) {
  if (plan.destination_bits != 32) return;
  out.fourth = t == 255 ? 255 : d.fourth + (255 - d.fourth) * (t + 1) / 256;
}

// d = s. A pixel copied into a plane of its own format keeps its bytes (a
// 16-bit pixel its top bit); 8-bit pixels follow the colour-mapping rule.
Output copy(const Plan& plan, const Source& s, const Target&) {
  Output out;
  if (s.pixel && plan.source_bits == plan.destination_bits && plan.source_bits != 8) {
    out.pixel = s.pixel;
    return out;
  }
  out.colour = s.colour;
  if (plan.four_bytes) out.fourth = s.fourth;
  return out;
}

Output source_key(const Plan& plan, const Source& s, const Target& d) {
  return s.key_bits != plan.key ? copy(plan, s, d) : Output{};
}

Output destination_key(const Plan& plan, const Source& s, const Target& d) {
  const bool draw = plan.destination_bits == 32 ? d.key_bits != plan.key : d.key_bits == plan.key;
  return draw ? copy(plan, s, d) : Output{};
}

Output alpha(const Plan& plan, const Source& s, const Target& d) {
  Output out;
  out.colour = each(d.colour, s.colour, [&](int x, int y) { return alpha_blend(plan, x, y); });
  if (plan.four_bytes) out.fourth = alpha_blend(plan, d.fourth, s.fourth);
  return out;
}

Output alpha_source_key(const Plan& plan, const Source& s, const Target& d) {
  return s.key_bits != plan.key ? alpha(plan, s, d) : Output{};
}

Output tint(const Plan& plan, const Source& s, const Target&) {
  Output out;
  out.colour = mix_colour(s.colour, plan.paint, plan.wb);
  return out;
}

Output tint_source_key(const Plan& plan, const Source& s, const Target& d) {
  return s.key_bits != plan.key ? tint(plan, s, d) : Output{};
}

Output source_alpha(const Plan& plan, const Source& s, const Target& d) {
  const int t = (s.alpha * plan.w) >> 8;
  Output out;
  if (t == 0) return out;
  if (t == 255) {
    out.colour = s.colour;
    if (plan.destination_bits == 32) out.fourth = 255;
    return out;
  }
  if (plan.destination_bits == 32) {
    // The "over" rule with the destination's own coverage u.
    const int u = d.fourth;
    const int total = (255 - u) * t + 255 * u;
    out.colour = each(s.colour, d.colour,
                      [&](int sc, int dc) { return (255 * t * sc + (255 - t) * u * dc) / total; });
    out.fourth = total / 255;
    return out;
  }
  out.colour = mix_colour(d.colour, s.colour, t + 1);
  return out;
}

// Modes 8 and 9 once t is known.
Output through_destination_alpha(const Source& s, const Target& d, int t) {
  Output out;
  if (t == 0)
    out.colour = s.colour;
  else if (t < 255)
    out.colour = mix_colour(s.colour, d.colour, t + 1);
  return out;
}

Output destination_alpha(const Plan& plan, const Source& s, const Target& d) {
  return through_destination_alpha(s, d, (d.alpha * plan.w) >> 8);
}

Output both_alphas(const Plan&, const Source& s, const Target& d) {
  return through_destination_alpha(s, d, tables().t9[d.alpha][255 - s.alpha]);
}

Output tinted_source_alpha(const Plan& plan, const Source& s, const Target& d) {
  Source tinted = s;
  tinted.colour = mix_colour(s.colour, plan.paint, plan.wb);
  return source_alpha(plan, tinted, d);
}

Output alpha_window(const Plan& plan, const Source& s, const Target&) {
  Output out;
  if (plan.a <= s.alpha && s.alpha <= plan.a + plan.b) out.colour = s.colour;
  return out;
}

Output alpha_ramp(const Plan& plan, const Source& s, const Target& d) {
  const int o = plan.ramp[s.alpha];
  Output out;
  if (o == 255)
    out.colour = s.colour;
  else if (o > 0)
    out.colour = mix_colour(d.colour, s.colour, o + 1);
  return out;
}

// Modes 13..21: one formula r(s, d) per channel, then mix toward it (or the
// saturated sum itself for 13 and 14); all four bytes on 32 → 32.
template <typename F>
Output per_channel(const Plan& plan, const Source& s, const Target& d, F f) {
  Output out;
  out.colour = each(s.colour, d.colour, f);
  if (plan.four_bytes) out.fourth = f(s.fourth, d.fourth);
  return out;
}

Output add(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return clamp_sum(dc + ((plan.w * sc) >> 8)); });
}

Output subtract(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return clamp_sum(dc - ((plan.w * sc) >> 8)); });
}

Output multiply(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, tables().mul[sc][dc], plan.w); });
}

Output bit_and(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, sc & dc, plan.w); });
}

Output bit_or(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, sc | dc, plan.w); });
}

Output bit_xor(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, sc ^ dc, plan.w); });
}

Output screen(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d,
                     [&](int sc, int dc) { return mix(dc, 255 - tables().mul[255 - dc][255 - sc], plan.w); });
}

Output lighten(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, std::max(sc, dc), plan.w); });
}

Output darken(const Plan& plan, const Source& s, const Target& d) {
  return per_channel(plan, s, d, [&](int sc, int dc) { return mix(dc, std::min(sc, dc), plan.w); });
}

// Takes the selected channels from the source. 16-bit destinations keep
// their 5-bit fields (E5 then >> 3 gives each field back); the fourth byte
// is a channel only from a 32-bit source into a 32-bit destination.
Output channel_select(const Plan& plan, const Source& s, const Target& d) {
  Colour c = d.colour;
  if (plan.channels & 1) c.b = s.colour.b;
  if (plan.channels & 2) c.g = s.colour.g;
  if (plan.channels & 4) c.r = s.colour.r;
  Output out;
  out.colour = c;
  if ((plan.channels & 8) && plan.source_bits == 32 && plan.destination_bits == 32) out.fourth = s.fourth;
  return out;
}

Output copy_alpha(const Plan&, const Source& s, const Target&) {
  Output out;
  out.alpha_byte = s.alpha;
  return out;
}

Output paint_coverage(const Plan& plan, const Source& s, const Target& d) {
  const int t = (s.alpha * plan.w) >> 8;
  Output out;
  if (t == 0) return out;
  out.colour = t == 255 ? plan.paint : mix_colour(d.colour, plan.paint, t + 1);
  paint_fourth(plan, d, t, out);
  return out;
}

Output grey_tint_alpha(const Plan& plan, const Source& s, const Target& d) {
  const int grey = (19595 * s.colour.r + 38470 * s.colour.g + 7471 * s.colour.b) >> 16;
  const Colour tinted = mix_colour(Colour{grey, grey, grey}, plan.paint, plan.wb);
  const int t = (s.alpha * plan.w) >> 8;
  Output out;
  if (t == 0) return out;
  out.colour = t == 255 ? tinted : mix_colour(d.colour, tinted, t + 1);
  paint_fourth(plan, d, t, out);
  return out;
}

Colour table_blend(const Plan& plan, const Colour& s, const Colour& d) {
  return each(s, d, [&](int sc, int dc) { return static_cast<int>(plan.lut[sc][dc]); });
}

Output table_blend_mode(const Plan& plan, const Source& s, const Target& d) {
  Output out;
  out.colour = mix_colour(d.colour, table_blend(plan, s.colour, d.colour), plan.w);
  return out;
}

Output table_blend_alpha(const Plan& plan, const Source& s, const Target& d) {
  const int t = (s.alpha * plan.w) >> 8;
  Output out;
  if (t == 0) return out;
  const Colour blended = table_blend(plan, s.colour, d.colour);
  out.colour = t == 255 ? blended : mix_colour(d.colour, blended, t + 1);
  paint_fourth(plan, d, t, out);
  return out;
}

Output blend(const Plan& plan, const Source& s, const Target& d) {
  switch (plan.mode) {
    case 0: return copy(plan, s, d);
    case 1: return source_key(plan, s, d);
    case 2: return destination_key(plan, s, d);
    case 3: return alpha(plan, s, d);
    case 4: return alpha_source_key(plan, s, d);
    case 5: return tint(plan, s, d);
    case 6: return tint_source_key(plan, s, d);
    case 7: return source_alpha(plan, s, d);
    case 8: return destination_alpha(plan, s, d);
    case 9: return both_alphas(plan, s, d);
    case 10: return tinted_source_alpha(plan, s, d);
    case 11: return alpha_window(plan, s, d);
    case 12: return alpha_ramp(plan, s, d);
    case 13: return add(plan, s, d);
    case 14: return subtract(plan, s, d);
    case 15: return multiply(plan, s, d);
    case 16: return bit_and(plan, s, d);
    case 17: return bit_or(plan, s, d);
    case 18: return bit_xor(plan, s, d);
    case 19: return screen(plan, s, d);
    case 20: return lighten(plan, s, d);
    case 21: return darken(plan, s, d);
    case 22: return channel_select(plan, s, d);
    case 23: return copy_alpha(plan, s, d);
    case 24: return paint_coverage(plan, s, d);
    case 25: return grey_tint_alpha(plan, s, d);
    case 26: return table_blend_mode(plan, s, d);
    default: return table_blend_alpha(plan, s, d);
  }
}

void process(const Plan& plan, Image& destination, int32_t x, int32_t y, const Source& s) {
  if (!destination.contains(x, y)) throw std::logic_error("reference write outside the destination plane");
  uint8_t* p = destination.at(x, y);
  write(plan, destination, p, blend(plan, s, read_target(plan, destination, p)));
}

// ---------------------------------------------------------------------------
// Entry checks and the per-blit constants.

const uint8_t (*lut_of(int mode))[256] {
  const Tables& t = tables();
  switch ((mode - 26) / 2) {
    case 1: return t.soft_light;
    case 2: return t.hard_light;
    case 3: return t.dodge;
    case 4: return t.burn;
    default: return t.overlay;
  }
}

// The checks every operation starts with. Returns the result when the blit
// ends here; otherwise fills the plan. mask_usable: the family may take the
// masked table (the scaled family only when the mask has a pixel at the
// source rectangle's top-left).
std::optional<int32_t> prepare(Plan& plan, const Image& destination, const Image& source, const Image* mask,
                               bool mask_usable, const BlitMode& descriptor, const Environment& environment) {
  if (descriptor.mode > 35) return 0;
  if (!valid_bits(destination.bits) || !valid_bits(source.bits)) return 0;
  if (uses_alpha(descriptor.mode) && descriptor.alpha == 0) return 0;

  int mode = descriptor.mode;
  if (mode == 3 && descriptor.alpha == 255) mode = 0;
  if (mode == 4 && descriptor.alpha == 255) mode = 1;
  if (mode == 10 && descriptor.param == 0) mode = 7;
  if (mode == 22 && (descriptor.channel_mask & 15) == 0) return 0;
  if (mode >= 26) {
    plan.lut = lut_of(mode);
    mode = 26 + (mode & 1);
  }
  plan.mode = mode;
  plan.masked = mask && mask_usable && (mode == 7 || mode == 10 || mode == 11 || mode == 12);
  if (!plan.masked && !plain_cell(mode, source.bits, destination.bits)) return 1;

  plan.environment = &environment;
  plan.source_bits = source.bits;
  plan.destination_bits = destination.bits;
  // Mode 22 on 8-bit destinations always blends palette colours.
  plan.raw = source.bits == 8 && destination.bits == 8 && !environment.color_mapping && mode != 22;
  const bool takes_source_alpha = mode == 7 || mode == 10 || mode == 11 || mode == 12;
  // Mode 9 reads the source's alpha byte beside its plain colour.
  plan.source_alpha_format = (takes_source_alpha && !plan.masked) || mode == 23 || mode == 25 || mode == 27;
  plan.destination_alpha_format = mode == 8 || mode == 9 || mode == 23;
  plan.four_bytes = source.bits == 32 && destination.bits == 32 &&
                    (mode <= 3 || mode == 4 || (mode >= 13 && mode <= 21));
  plan.a = descriptor.alpha;
  plan.b = descriptor.param;
  plan.w = static_cast<int>(weight(descriptor.alpha));
  plan.wb = static_cast<int>(weight(descriptor.param));
  plan.channels = descriptor.channel_mask & 15;
  plan.key = key_in_format(descriptor.key, mode == 2 ? destination.bits : source.bits, environment);
  if (plan.raw) {
    const int index = index_of(descriptor.paint, environment);
    plan.paint = {index, index, index};
  } else {
    // The paint colour as a pixel of the destination, read back as colour.
    const uint32_t value = key_in_format(descriptor.paint, destination.bits, environment);
    switch (destination.bits) {
      case 8: plan.paint = table_colour(destination, value); break;
      case 16: plan.paint = colour15(value); break;
      default: plan.paint = colour_of(value); break;
    }
  }
  for (int i = 0; i < 256; ++i) {
    if (i < plan.a)
      plan.ramp[i] = 255;
    else if (i >= plan.a + plan.b)
      plan.ramp[i] = 0;
    else
      plan.ramp[i] = std::clamp(255 - 255 * (i - plan.a) / plan.b, 0, 255);
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Geometry.

// Swaps reversed sides; returns which axes were swapped.
std::pair<bool, bool> normalise(Rect& r) {
  const bool x = r.right < r.left, y = r.bottom < r.top;
  if (x) std::swap(r.left, r.right);
  if (y) std::swap(r.top, r.bottom);
  return {x, y};
}

Rect intersection(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// The area a source may be read from: the plane, and the mask's bounds when
// there is a mask.
Rect source_limits(const Image& source, const Image* mask) {
  Rect limits{0, 0, source.width, source.height};
  if (mask) limits = intersection(limits, Rect{0, 0, mask->width, mask->height});
  return limits;
}

// One axis of the scaled family: the drawn destination coordinates, each
// with its source coordinate. The walk runs from the destination's starting
// side (its far side when mirrored) with the source rising from s0; with
// mirroring the destination is reflected (x → −1 − x) so that all four cuts
// read as for the plain case.
std::vector<std::pair<int64_t, int64_t>> scaled_axis(int64_t s0, int64_t s1, int64_t d0, int64_t d1,
                                                     int64_t source_low, int64_t source_high,
                                                     int64_t destination_low, int64_t destination_high,
                                                     bool mirrored) {
  const int64_t source_size = s1 - s0, destination_size = d1 - d0;
  const Wide step = (static_cast<Wide>(source_size) << 32) / destination_size;
  if (mirrored) {
    std::tie(d0, d1) = std::pair(-d1, -d0);
    std::tie(destination_low, destination_high) = std::pair(-destination_high, -destination_low);
  }
  Wide position = static_cast<Wide>(s0) << 32;
  if (s0 < source_low) {
    const int64_t cut = source_low - s0;
    s0 = source_low;
    d0 += static_cast<int64_t>(static_cast<Wide>(cut) * destination_size / source_size);
    position = static_cast<Wide>(s0) << 32;
  }
  if (d0 < destination_low) {
    const int64_t cut = destination_low - d0;
    d0 = destination_low;
    position += cut * step;
  }
  if (s1 > source_high) {
    const int64_t cut = s1 - source_high;
    d1 -= static_cast<int64_t>(static_cast<Wide>(cut) * destination_size / source_size);
  }
  d1 = std::min(d1, destination_high);

  std::vector<std::pair<int64_t, int64_t>> pairs;
  for (int64_t i = 0; d0 + i < d1; ++i) {
    const int64_t s = static_cast<int64_t>((position + i * step) >> 32);
    // Rounding the start cut down can leave the last pixels mapped past the
    // source's end; they are not drawn.
    if (s >= source_high) break;
    const int64_t d = d0 + i;
    pairs.emplace_back(mirrored ? -1 - d : d, s);
  }
  return pairs;
}

// The rotated families' walk over the clipped bounding box: pixel (column,
// row) of the box samples (u_start + column × du_dx + row × du_dy, likewise
// v) in 16.16, and is drawn when that point lies inside S′.
struct RotatedWalk {
  Rect box;        // destination pixels walked
  Rect source;     // S′
  int64_t u_start = 0, v_start = 0, du_dx = 0, dv_dx = 0, du_dy = 0, dv_dy = 0;
};

// The source rectangle's centre in 16.16, the point the picture turns about.
// It is taken from the whole (normalised) source rectangle, so a rectangle
// that hangs over the plane's left or top edge keeps its place and the
// uncovered part stays undrawn.
std::pair<int64_t, int64_t> source_centre(const Rect& s) {
  const int64_t ws = int64_t{s.right} - s.left, hs = int64_t{s.bottom} - s.top;
  return {(s.left + ws / 2) * 65536 + (ws % 2 ? 32768 : 0), (s.top + hs / 2) * 65536 + (hs % 2 ? 32768 : 0)};
}

std::optional<RotatedWalk> rotated_walk(const Image& destination, Rect dr, const Image& source, Rect sr,
                                        const Image* mask, int32_t angle) {
  const auto [dx_swapped, dy_swapped] = normalise(dr);
  const auto [sx_swapped, sy_swapped] = normalise(sr);
  const bool hm = dx_swapped != sx_swapped, vm = dy_swapped != sy_swapped;
  if (dr.empty() || sr.empty()) return std::nullopt;
  const int64_t wd = int64_t{dr.right} - dr.left, hd = int64_t{dr.bottom} - dr.top;
  const int64_t ws = int64_t{sr.right} - sr.left, hs = int64_t{sr.bottom} - sr.top;

  const int32_t theta = hm != vm ? -angle : angle;
  const int64_t c = table_cos(theta), s = table_sin(theta);

  const int64_t bw = (std::llabs(c * wd) + std::llabs(s * hd) + 32768) >> 16;
  const int64_t bh = (std::llabs(s * wd) + std::llabs(c * hd) + 32768) >> 16;
  const int64_t box_left = dr.left + wd / 2 - bw / 2, box_top = dr.top + hd / 2 - bh / 2;
  const int64_t x0 = std::max<int64_t>(box_left, destination.clip.left);
  const int64_t x1 = std::min<int64_t>(box_left + bw, destination.clip.right);
  const int64_t y0 = std::max<int64_t>(box_top, destination.clip.top);
  const int64_t y1 = std::min<int64_t>(box_top + bh, destination.clip.bottom);
  if (x1 <= x0 || y1 <= y0) return std::nullopt;
  const int64_t columns = x1 - x0, rows = y1 - y0;

  const int64_t ox = bw / 2 - (hm ? box_left + bw - x1 : x0 - box_left);
  const int64_t oy = bh / 2 - (vm ? box_top + bh - y1 : y0 - box_top);

  RotatedWalk walk;
  walk.box = {static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1),
              static_cast<int32_t>(y1)};
  walk.source = intersection(sr, source_limits(source, mask));
  if (walk.source.empty()) return std::nullopt;

  const int64_t dx = hm ? columns - ox - 1 : -ox;
  const int64_t dy = vm ? rows - oy - 1 : -oy;
  // Offsets from the box centre in half pixels: an even box has its centre
  // between two pixels.
  const int64_t hx = 2 * dx + (bw % 2 == 0 ? 1 : 0), hy = 2 * dy + (bh % 2 == 0 ? 1 : 0);
  const auto [cu, cv] = source_centre(sr);
  walk.u_start = static_cast<int64_t>((static_cast<Wide>(hx * c - hy * s) * ws) / (2 * wd)) + cu;
  walk.v_start = static_cast<int64_t>((static_cast<Wide>(hy * c + hx * s) * hs) / (2 * hd)) + cv;
  walk.du_dx = c * ws / wd;
  walk.dv_dx = s * hs / hd;
  walk.du_dy = -(s * ws / wd);
  walk.dv_dy = c * hs / hd;
  if (hm) walk.du_dx = -walk.du_dx, walk.dv_dx = -walk.dv_dx;
  if (vm) walk.du_dy = -walk.du_dy, walk.dv_dy = -walk.dv_dy;
  return walk;
}

bool inside(const Rect& r, int64_t x, int64_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

int lerp(int p00, int p10, int p01, int p11, int64_t fx, int64_t fy) {
  const int64_t sum = (p10 - p00) * fx + (p01 - p00) * fy + (p11 - p10 - p01 + p00) * ((fx * fy) >> 16);
  return p00 + static_cast<int>(sum >> 16);
}

// Bilinear sample at (u − ½, v − ½): the four pixels around that point, each
// clamped into S′. 8-bit sources interpolate their palette colours only with
// colour mapping on; otherwise, and for the key, the pixel (u, v) falls in.
Source smooth_sample(const Plan& plan, const Image& source, const Rect& limits, int64_t u, int64_t v) {
  const Source nearest = read_source(plan, source, nullptr, static_cast<int32_t>(u >> 16),
                                     static_cast<int32_t>(v >> 16));
  if (source.bits == 8 && !plan.environment->color_mapping) return nearest;
  const int64_t su = u - 32768, sv = v - 32768;
  const int64_t x = su >> 16, y = sv >> 16, fx = su & 0xFF00, fy = sv & 0xFF00;
  const auto cx = [&](int64_t c) { return static_cast<int32_t>(std::clamp<int64_t>(c, limits.left, limits.right - 1)); };
  const auto cy = [&](int64_t c) { return static_cast<int32_t>(std::clamp<int64_t>(c, limits.top, limits.bottom - 1)); };
  const Source p00 = read_source(plan, source, nullptr, cx(x), cy(y));
  const Source p10 = read_source(plan, source, nullptr, cx(x + 1), cy(y));
  const Source p01 = read_source(plan, source, nullptr, cx(x), cy(y + 1));
  const Source p11 = read_source(plan, source, nullptr, cx(x + 1), cy(y + 1));
  const auto interpolate = [&](auto field) {
    return lerp(field(p00), field(p10), field(p01), field(p11), fx, fy);
  };
  Source s;
  s.colour.b = interpolate([](const Source& p) { return p.colour.b; });
  s.colour.g = interpolate([](const Source& p) { return p.colour.g; });
  s.colour.r = interpolate([](const Source& p) { return p.colour.r; });
  s.alpha = channel(interpolate([](const Source& p) { return p.alpha; }));
  s.fourth = channel(interpolate([](const Source& p) { return p.fourth; }));
  // The sample is the key where its colour is the key pixel's colour.
  const Colour c = checked(s.colour);
  Colour k;
  switch (source.bits) {
    case 8: k = table_colour(source, plan.key); break;
    case 16: k = colour15(plan.key); break;
    default: k = colour_of(plan.key); break;
  }
  s.key_bits = c.b == k.b && c.g == k.g && c.r == k.r ? plan.key : ~plan.key;
  return s;
}

int32_t rotated(Image& destination, const Rect& destination_rect, const Image& source, const Rect& source_rect,
                const Image* mask, const BlitMode& mode, int32_t angle, const Environment& environment,
                bool smooth) {
  Plan plan;
  if (auto result = prepare(plan, destination, source, mask, true, mode, environment)) return *result;
  const std::optional<RotatedWalk> walk =
      rotated_walk(destination, destination_rect, source, source_rect, mask, angle);
  if (!walk) return 0;
  for (int64_t row = 0; row < walk->box.bottom - walk->box.top; ++row) {
    for (int64_t column = 0; column < walk->box.right - walk->box.left; ++column) {
      const int64_t u = walk->u_start + row * walk->du_dy + column * walk->du_dx;
      const int64_t v = walk->v_start + row * walk->dv_dy + column * walk->dv_dx;
      if (!inside(walk->source, u >> 16, v >> 16)) continue;
      // Masked blits always take the nearest pixel.
      const Source s = smooth && !plan.masked
                           ? smooth_sample(plan, source, walk->source, u, v)
                           : read_source(plan, source, mask, static_cast<int32_t>(u >> 16),
                                         static_cast<int32_t>(v >> 16));
      process(plan, destination, static_cast<int32_t>(walk->box.left + column),
              static_cast<int32_t>(walk->box.top + row), s);
    }
  }
  return 1;
}

// gcopy's fast-path classes and the pairs each has a routine for.
int fast_class(int mode, bool masked) {
  if (masked && (mode == 7 || mode == 12)) return 9;
  if (masked && mode == 11) return 10;
  if (mode == 0) return 0;
  if (mode == 1 || mode == 2) return 1;
  if (mode >= 3 && mode <= 6) return 2;
  if (mode == 7) return 3;
  if (mode == 8) return 4;
  if (mode == 9) return 5;
  if (mode == 11 || mode == 12) return 6;
  if (mode >= 13 && mode <= 18) return 7;
  return -1;
}

bool fast_pair(int fast, int source_bits, int destination_bits) {
  struct Pair {
    int s, d;
  };
  static const std::vector<Pair> pairs[11] = {
      {{8, 8}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}},
      {{8, 8}, {8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}},
      {{8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}},
      {{24, 16}, {32, 24}},
      {{16, 24}, {24, 32}, {32, 32}},
      {{24, 24}, {32, 32}},
      {{24, 16}, {32, 24}, {32, 32}},
      {{8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}},
      {},
      {{16, 16}, {24, 24}, {32, 32}},
      {{8, 8}, {16, 16}, {24, 24}, {32, 32}},
  };
  if (fast < 0) return false;
  for (const Pair& p : pairs[fast])
    if (p.s == source_bits && p.d == destination_bits) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------

uint8_t* Image::at(int32_t x, int32_t y) {
  return pixels.data() + static_cast<size_t>(height - 1 - y) * pitch + static_cast<size_t>(x) * bits / 8;
}

const uint8_t* Image::at(int32_t x, int32_t y) const {
  return pixels.data() + static_cast<size_t>(height - 1 - y) * pitch + static_cast<size_t>(x) * bits / 8;
}

Image image_of(const Plane& plane) {
  Image image;
  image.width = plane.width;
  image.height = plane.height;
  image.bits = plane.bit_count;
  image.pitch = plane.pitch;
  const std::span<uint8_t> pixels = plane_pixels(plane);
  image.pixels.assign(pixels.begin(), pixels.end());
  const std::span<uint32_t> table = plane_colour_table(plane);
  image.table.assign(table.begin(), table.end());
  image.clip = plane.clip;
  return image;
}

void store(const Image& image, Plane& plane) {
  const std::span<uint8_t> pixels = plane_pixels(plane);
  if (pixels.size() != image.pixels.size()) throw std::logic_error("image and plane differ in size");
  std::copy(image.pixels.begin(), image.pixels.end(), pixels.begin());
}

Environment Environment::current() {
  Environment e;
  e.color_mapping = gfx::color_mapping() != 0;
  e.palette = current_palette();
  std::memcpy(e.inverse_map.data(), inverse_colour_map(), e.inverse_map.size());
  return e;
}

const Tables& tables() {
  static const std::unique_ptr<Tables> t = build_tables();
  return *t;
}

int mix(int d, int r, int k) { return d + ((r - d) * k >> 8); }

bool plain_cell(int mode, int source_bits, int destination_bits) {
  const bool s8 = source_bits == 8, d8 = destination_bits == 8;
  switch (mode) {
    case 7: case 10: case 11: case 12: case 25: case 26: case 27: return !s8;
    case 8: return !d8;
    case 9: return !s8 && !d8;
    case 24: return s8;
    default: return true;
  }
}

int32_t blit_scaled(Image& destination, const Rect& destination_rect, const Image& source, const Rect& source_rect,
                    const Image* mask, const BlitMode& mode, const Environment& environment) {
  Rect dr = destination_rect, sr = source_rect;
  const auto [dx_swapped, dy_swapped] = normalise(dr);
  const auto [sx_swapped, sy_swapped] = normalise(sr);
  const bool mask_at_corner = mask && mask->contains(sr.left, sr.top);
  Plan plan;
  if (auto result = prepare(plan, destination, source, mask, mask_at_corner, mode, environment)) return *result;
  if (dr.empty() || sr.empty()) return 0;
  const Rect limits = source_limits(source, mask);
  const Rect& clip = destination.clip;
  const auto rows = scaled_axis(sr.top, sr.bottom, dr.top, dr.bottom, limits.top, limits.bottom, clip.top,
                                clip.bottom, dy_swapped != sy_swapped);
  const auto columns = scaled_axis(sr.left, sr.right, dr.left, dr.right, limits.left, limits.right, clip.left,
                                   clip.right, dx_swapped != sx_swapped);
  if (rows.empty() || columns.empty()) return 0;
  for (const auto& [y, sy] : rows) {
    for (const auto& [x, sx] : columns) {
      const Source s = read_source(plan, source, mask, static_cast<int32_t>(sx), static_cast<int32_t>(sy));
      process(plan, destination, static_cast<int32_t>(x), static_cast<int32_t>(y), s);
    }
  }
  return 1;
}

int32_t blit_rotated(Image& destination, const Rect& destination_rect, const Image& source,
                     const Rect& source_rect, const Image* mask, const BlitMode& mode, int32_t angle,
                     const Environment& environment) {
  return rotated(destination, destination_rect, source, source_rect, mask, mode, angle, environment, false);
}

int32_t blit_rotated_smooth(Image& destination, const Rect& destination_rect, const Image& source,
                            const Rect& source_rect, const Image* mask, const BlitMode& mode, int32_t angle,
                            const Environment& environment) {
  return rotated(destination, destination_rect, source, source_rect, mask, mode, angle, environment, true);
}

int32_t blit_copy(Image& destination, int32_t x, int32_t y, const Image& source, const Rect* source_rect,
                  const Image* mask, const BlitMode& mode, const Environment& environment) {
  // A reversed source rectangle is the same area.
  Rect sr = source_rect ? *source_rect : Rect{0, 0, source.width, source.height};
  normalise(sr);
  Plan plan;
  if (auto result = prepare(plan, destination, source, mask, true, mode, environment)) return *result;
  const bool fast = fast_pair(fast_class(plan.mode, mask != nullptr), source.bits, destination.bits) &&
                    !(destination.bits == 8 && environment.color_mapping);
  const int64_t width = int64_t{sr.right} - sr.left, height = int64_t{sr.bottom} - sr.top;
  if (!fast) {
    const Rect dr{x, y, static_cast<int32_t>(x + width), static_cast<int32_t>(y + height)};
    return blit_scaled(destination, dr, source, sr, mask, mode, environment);
  }
  // The fast routine: the destination area clipped, then its source area
  // clipped by the source limits; the overlap is drawn 1:1.
  plan.fast_rounding = plan.mode == 3 || plan.mode == 4;
  const Rect limits = source_limits(source, mask);
  const Rect& clip = destination.clip;
  bool drawn = false;
  for (int64_t dy = std::max<int64_t>(y, clip.top); dy < std::min<int64_t>(y + height, clip.bottom); ++dy) {
    for (int64_t dx = std::max<int64_t>(x, clip.left); dx < std::min<int64_t>(x + width, clip.right); ++dx) {
      const int64_t sx = sr.left + (dx - x), sy = sr.top + (dy - y);
      if (!inside(limits, sx, sy)) continue;
      process(plan, destination, static_cast<int32_t>(dx), static_cast<int32_t>(dy),
              read_source(plan, source, mask, static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
      drawn = true;
    }
  }
  return drawn ? 1 : 0;
}

const char* family_name(Family family) {
  switch (family) {
    case Family::copy: return "copy";
    case Family::scaled: return "scaled";
    case Family::rotated: return "rotated";
    default: return "rotated-smooth";
  }
}

int32_t run(Side side, const Call& call, uint32_t destination, uint32_t source) {
  Plane* const d = plane_get(destination);
  Plane* const s = plane_get(source);
  Plane* const m = plane_mask(source);
  const Rect& dr = call.destination_rect;
  const Rect sr = call.source_rect.value_or(s ? Rect{0, 0, s->width, s->height} : Rect{});
  if (side == Side::engine) {
    switch (call.family) {
      case Family::copy:
        return gfx::blit_copy(destination, dr.left, dr.top, source,
                              call.source_rect ? &*call.source_rect : nullptr, call.mode);
      case Family::scaled: return gfx::blit_scaled(d, dr, s, sr, m, call.mode);
      case Family::rotated: return gfx::blit_rotated(d, dr, s, sr, m, call.mode, call.angle);
      default: return gfx::blit_rotated_smooth(d, dr, s, sr, m, call.mode, call.angle);
    }
  }
  if (!d || !s) return 0;
  Image di = image_of(*d);
  const Image si = image_of(*s);
  const std::optional<Image> mi = m ? std::optional(image_of(*m)) : std::nullopt;
  const Image* mp = mi ? &*mi : nullptr;
  const Environment environment = Environment::current();
  int32_t result;
  switch (call.family) {
    case Family::copy:
      result = blit_copy(di, dr.left, dr.top, si, call.source_rect ? &*call.source_rect : nullptr, mp, call.mode,
                         environment);
      break;
    case Family::scaled: result = blit_scaled(di, dr, si, sr, mp, call.mode, environment); break;
    case Family::rotated: result = blit_rotated(di, dr, si, sr, mp, call.mode, call.angle, environment); break;
    default: result = blit_rotated_smooth(di, dr, si, sr, mp, call.mode, call.angle, environment); break;
  }
  store(di, *d);
  return result;
}

}  // namespace zelt::gfx::reference
