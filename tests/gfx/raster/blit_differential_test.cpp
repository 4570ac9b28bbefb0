// The blit engine against the test reference on seeded random cases: every
// (family, mode, format pair, masked) cell with random planes, colour tables,
// rectangles (reversed, hanging over, empty), clip rectangles, descriptors,
// angles and switches. The whole destination plane (padding included) and
// the result must agree byte for byte; the source and mask must stay as they
// were. The first difference stops the test and prints the case in full.
//
// ZELT_DIFF_ITERATIONS: rounds over all cells (default 4).
// ZELT_DIFF_SEED: the base seed (default fixed).
// ZELT_DIFF_REPLAY="family mode pair masked seed", as printed with a
// difference: runs that one case.
// Run again with ZELT_NO_SIMD=1 (a ctest entry of its own) for the plain kernels.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "core/config.h"
#include "gfx/plane_fixture.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/reference_blit.h"

namespace zelt::gfx {
namespace {

using reference::Call;
using reference::Family;
using reference::Side;

constexpr uint32_t kDestination = 1, kSource = 2, kMask = 3;
constexpr int kBits[] = {8, 16, 24, 32};

uint64_t env_number(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

// One cell of the tables and the seed that makes the rest of the case.
struct Cell {
  Family family;
  int mode;
  int pair;  // (source bytes − 1) × 4 + (destination bytes − 1)
  bool masked;
  uint64_t seed;

  int source_bits() const { return kBits[pair / 4]; }
  int destination_bits() const { return kBits[pair % 4]; }
  std::string replay() const {
    char text[96];
    std::snprintf(text, sizeof text, "%d %d %d %d 0x%016" PRIx64, static_cast<int>(family), mode, pair,
                  masked ? 1 : 0, seed);
    return text;
  }
};

// The case drawn from a cell's seed, kept for printing.
struct Case {
  Cell cell;
  Call call;
  bool color_mapping = false, multithreading = false;
  int32_t source_width = 0, source_height = 0, destination_width = 0, destination_height = 0;
  int32_t mask_width = 0, mask_height = 0;
  uint32_t source_colours = 0, destination_colours = 0;
  Rect clip;
};

std::string rect_text(const Rect& r) {
  std::ostringstream out;
  out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
  return out.str();
}

std::string hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIX64, v);
  return text;
}

std::string describe(const Case& c) {
  const BlitMode& m = c.call.mode;
  std::ostringstream out;
  out << "seed " << hex(c.cell.seed) << ", family " << reference::family_name(c.cell.family) << ", mode "
      << c.cell.mode << ", " << c.cell.source_bits() << " -> " << c.cell.destination_bits()
      << (c.cell.masked ? ", masked" : ", no mask") << "\n  source " << c.source_width << " x "
      << c.source_height << " (" << c.source_colours << " colours), destination " << c.destination_width << " x "
      << c.destination_height << " (" << c.destination_colours << " colours), clip " << rect_text(c.clip);
  if (c.cell.masked) out << ", mask " << c.mask_width << " x " << c.mask_height;
  if (c.cell.family == Family::copy)
    out << "\n  gcopy at (" << c.call.destination_rect.left << ", " << c.call.destination_rect.top << ")";
  else
    out << "\n  destination rect " << rect_text(c.call.destination_rect);
  out << ", source rect " << (c.call.source_rect ? rect_text(*c.call.source_rect) : "whole plane");
  if (c.cell.family == Family::rotated || c.cell.family == Family::smooth) out << ", angle " << c.call.angle;
  out << "\n  descriptor: mode " << int{m.mode} << ", channel mask " << hex(m.channel_mask) << ", a "
      << int{m.alpha} << ", b " << int{m.param} << ", key " << hex(m.key) << ", paint " << hex(m.paint)
      << "\n  color_mapping " << c.color_mapping << ", MultiThreading " << c.multithreading
      << "\n  replay: ZELT_DIFF_REPLAY=\"" << c.cell.replay() << "\"";
  return out.str();
}

class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  int32_t between(int32_t low, int32_t high) {  // inclusive
    return std::uniform_int_distribution<int32_t>(low, high)(engine_);
  }
  bool chance(int in) { return between(0, in - 1) == 0; }
  uint32_t u32() { return static_cast<uint32_t>(engine_()); }
  template <typename T, size_t N>
  T pick(const T (&values)[N]) {
    return values[between(0, static_cast<int32_t>(N) - 1)];
  }

 private:
  std::mt19937_64 engine_;
};

// Planes' bytes: mostly uniform, often one of the values where the modes
// change course (alpha 0 and 255, the descriptor's a and a + b).
void fill_bytes(Random& random, std::span<uint8_t> bytes, const BlitMode& m) {
  const int specials[] = {0, 255, 1, 254, 127, 128, m.alpha, m.alpha + m.param, m.alpha - 1};
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random.chance(3) ? random.pick(specials) : random.u32());
}

int32_t side(Random& random) { return random.chance(4) ? random.between(1, 4) : random.between(1, 40); }

Plane* random_plane(Random& random, int32_t bits, const BlitMode& m, uint32_t& colours) {
  int32_t count = -1;
  if (bits == 16) count = random.pick({0, 256, random.between(1, 255)});
  if (bits >= 24 && random.chance(4)) count = random.between(1, 256);
  Plane* plane = plane_create(side(random), side(random), bits, count);
  colours = plane->table_entries;
  for (uint32_t& entry : plane_colour_table(*plane)) entry = random.chance(8) ? entry : random.u32();
  fill_bytes(random, plane_pixels(*plane), m);
  return plane;
}

// One side of a rectangle over a plane side of n: mostly meeting the plane,
// often hanging over an edge, sometimes reversed or empty.
std::pair<int32_t, int32_t> random_span(Random& random, int32_t n) {
  const int32_t low = random.chance(4) ? random.between(-n / 2 - 2, n - 1) : random.between(0, n - 1);
  int32_t high = random.chance(16) ? low : low + random.between(1, n + 2);
  if (random.chance(16)) high = random.between(-8, n + 8);
  return random.chance(4) ? std::pair(high, low) : std::pair(low, high);
}

Rect random_rect(Random& random, int32_t width, int32_t height) {
  const auto [left, right] = random_span(random, width);
  const auto [top, bottom] = random_span(random, height);
  return {left, top, right, bottom};
}

// A colour value naming the pixel at a random place of the plane, in one of
// the forms a script could write it.
uint32_t colour_value_of_pixel(Random& random, const Plane& plane) {
  const uint8_t* p = plane_pixel_address(&plane, random.between(0, plane.width - 1),
                                         random.between(0, plane.height - 1));
  const reference::Tables& t = reference::tables();
  switch (plane.bit_count) {
    case 8:
      return random.chance(4) ? plane_colour_table(plane)[p[0]] & 0xFFFFFF : kColourIndexFlag | p[0];
    case 16: {
      const uint32_t word = p[0] | p[1] << 8;
      return static_cast<uint32_t>(t.e5[(word >> 10) & 31] << 16 | t.e5[(word >> 5) & 31] << 8 | t.e5[word & 31]);
    }
    default: return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
  }
}

uint32_t random_colour_value(Random& random) {
  if (random.chance(3)) return kColourIndexFlag | (random.u32() & 255);
  return random.u32() & (random.chance(4) ? 0xFEFFFFFF : 0xFFFFFF);  // stray top bits but no index flag
}

// What the planes held before a blit, for the reference to run on.
struct Snapshot {
  reference::Image destination, source;
  std::optional<reference::Image> mask;
};

Snapshot snapshot() {
  const Plane* mask = plane_mask(kSource);
  return {reference::image_of(*plane_get(kDestination)), reference::image_of(*plane_get(kSource)),
          mask ? std::optional(reference::image_of(*mask)) : std::nullopt};
}

// The reference's blit of the call on the snapshot, into destination.
int32_t reference_blit(const Call& call, const Snapshot& before, reference::Image& destination) {
  const reference::Environment environment = reference::Environment::current();
  const reference::Image& source = before.source;
  const Rect sr = call.source_rect.value_or(Rect{0, 0, source.width, source.height});
  const reference::Image* mask = before.mask ? &*before.mask : nullptr;
  const Rect& dr = call.destination_rect;
  switch (call.family) {
    case Family::copy:
      return reference::blit_copy(destination, dr.left, dr.top, source,
                                  call.source_rect ? &*call.source_rect : nullptr, mask, call.mode, environment);
    case Family::scaled: return reference::blit_scaled(destination, dr, source, sr, mask, call.mode, environment);
    case Family::rotated:
      return reference::blit_rotated(destination, dr, source, sr, mask, call.mode, call.angle, environment);
    default:
      return reference::blit_rotated_smooth(destination, dr, source, sr, mask, call.mode, call.angle,
                                            environment);
  }
}

class DifferentialFixture : public PlaneFixture {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    config().MMX = 0;  // the reference models gcopy's own fast routines, not the blitter object
    set_random_palettes(0x5eed);
  }
  void TearDown() override {
    set_color_mapping(0);
    PlaneFixture::TearDown();
  }

  static void set_random_palettes(uint64_t seed) {
    Random random(seed);
    Palette inverse_source;
    for (uint32_t i = 0; i < kPaletteEntries; ++i) {
      working_palette()[i] = random.u32() & 0xFFFFFF;
      inverse_source[i] = random.chance(2) ? working_palette()[i] : random.u32() & 0xFFFFFF;
    }
    pal_change();
    pal_map(inverse_source);
  }

  // Fills the slots and sets the switches for the case drawn from the cell.
  static Case draw_case(const Cell& cell) {
    Random random(cell.seed);
    Case c;
    c.cell = cell;
    BlitMode& m = c.call.mode;
    m.mode = static_cast<uint8_t>(cell.mode);
    m.channel_mask = static_cast<uint8_t>(random.chance(8) ? random.u32() & 0xF0 : random.u32());
    m.alpha = static_cast<uint8_t>(random.chance(16) ? 0 : random.chance(2) ? random.pick({1, 127, 128, 254, 255})
                                                                              : random.between(0, 255));
    m.param = static_cast<uint8_t>(random.chance(2) ? random.pick({0, 1, 255}) : random.between(0, 255));

    Plane* source = random_plane(random, cell.source_bits(), m, c.source_colours);
    Plane* destination = random_plane(random, cell.destination_bits(), m, c.destination_colours);
    plane_put(kSource, source);
    plane_put(kDestination, destination);
    gdetach(kSource);
    if (cell.masked) {
      uint32_t unused;
      Plane* mask = random.chance(2) ? plane_create(source->width, source->height, 8)
                                     : random_plane(random, 8, m, unused);
      fill_bytes(random, plane_pixels(*mask), m);
      plane_put(kMask, mask);
      gattach(kSource, kMask);
      c.mask_width = mask->width;
      c.mask_height = mask->height;
    }
    c.source_width = source->width, c.source_height = source->height;
    c.destination_width = destination->width, c.destination_height = destination->height;
    if (random.chance(4)) {
      const Rect r = random_rect(random, destination->width, destination->height);
      gclip(kDestination, &r);
    }
    c.clip = destination->clip;

    m.key = random.chance(4) ? random_colour_value(random)
                             : colour_value_of_pixel(random, cell.mode == 2 ? *destination : *source);
    m.paint = random_colour_value(random);

    if (random.chance(4)) {
      // Whole source onto an area of the same size: the exact paths.
      c.call.source_rect = Rect{0, 0, source->width, source->height};
      const int32_t x = random.between(-4, destination->width), y = random.between(-4, destination->height);
      c.call.destination_rect = {x, y, x + source->width, y + source->height};
    } else {
      c.call.source_rect = random_rect(random, source->width, source->height);
      c.call.destination_rect = random_rect(random, destination->width, destination->height);
    }
    c.call.family = cell.family;
    if (cell.family == Family::copy && random.chance(4)) c.call.source_rect.reset();
    c.call.angle = random.chance(2) ? random.pick({0, 512, 1024, 1536, 2048, -512, 256, 4096 + 512})
                                    : random.between(-4096, 4096);
    c.color_mapping = random.chance(2);
    c.multithreading = random.chance(2);
    set_color_mapping(c.color_mapping ? 1 : 0);
    config().MultiThreading = c.multithreading ? 1 : 0;
    return c;
  }

  // The reference's blit, failing the test when it throws (it reads or
  // writes outside a plane, or a channel leaves 0..255).
  static std::optional<int32_t> checked_reference_blit(const Case& c, const Snapshot& before,
                                                       reference::Image& destination) {
    try {
      return reference_blit(c.call, before, destination);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the reference failed: " << e.what() << "\n  " << describe(c);
      return std::nullopt;
    }
  }

  // What holds whatever the blend: nothing changes outside the clip
  // rectangle (row padding included), and a 0 result changes nothing.
  static bool reference_kept_its_bounds(const Case& c, const reference::Image& before,
                                        const reference::Image& after, int32_t result) {
    for (int32_t y = 0; y < before.height; ++y) {
      for (int32_t byte = 0; byte < before.pitch; ++byte) {
        const int32_t x = byte / (before.bits / 8);
        const size_t i = static_cast<size_t>(before.height - 1 - y) * static_cast<size_t>(before.pitch) +
                         static_cast<size_t>(byte);
        const bool drawable = result != 0 && x < before.width && x >= c.clip.left && x < c.clip.right &&
                              y >= c.clip.top && y < c.clip.bottom;
        if (!drawable && before.pixels[i] != after.pixels[i]) {
          ADD_FAILURE() << "the reference changed byte " << byte << " of row " << y << " (result " << result
                        << ")\n  " << describe(c);
          return false;
        }
      }
    }
    return true;
  }

  // Compares the whole pixel memory; prints the first differing pixel.
  static bool same_pixels(const Case& c, const reference::Image& got, const reference::Image& expected,
                          const char* what, const char* got_name = "engine", const char* expected_name = "reference") {
    for (size_t i = 0; i < got.pixels.size(); ++i) {
      if (got.pixels[i] == expected.pixels[i]) continue;
      const int32_t bytes = got.bits / 8;
      const int32_t y = got.height - 1 - static_cast<int32_t>(i / static_cast<size_t>(got.pitch));
      const int32_t column_byte = static_cast<int32_t>(i % static_cast<size_t>(got.pitch));
      const int32_t x = column_byte / bytes;
      std::ostringstream at;
      if (x >= got.width) {
        at << "row padding of row " << y << ", byte " << column_byte << ": " << got_name << " "
           << hex(got.pixels[i]) << ", " << expected_name << " " << hex(expected.pixels[i]);
      } else {
        const size_t first = i - static_cast<size_t>(column_byte % bytes);
        uint32_t got_pixel = 0, expected_pixel = 0;
        for (int32_t k = bytes - 1; k >= 0; --k) {
          got_pixel = got_pixel << 8 | got.pixels[first + static_cast<size_t>(k)];
          expected_pixel = expected_pixel << 8 | expected.pixels[first + static_cast<size_t>(k)];
        }
        at << "pixel (" << x << ", " << y << "): " << got_name << " " << hex(got_pixel) << ", " << expected_name
           << " " << hex(expected_pixel);
      }
      ADD_FAILURE() << what << " differs at " << at.str() << "\n  " << describe(c);
      return false;
    }
    return true;
  }

  // Draws the case and runs both sides; false (with a failure printed) on
  // the first difference.
  bool run_case(const Cell& cell) {
    const Case c = draw_case(cell);
    const Snapshot before = snapshot();
    reference::Image expected = before.destination;
    const int32_t engine_result = reference::run(Side::engine, c.call, kDestination, kSource);
    const std::optional<int32_t> expected_result = checked_reference_blit(c, before, expected);
    if (!expected_result) return false;
    if (!reference_kept_its_bounds(c, before.destination, expected, *expected_result)) return false;

    if (engine_result != *expected_result) {
      ADD_FAILURE() << "result: engine " << engine_result << ", reference " << *expected_result << "\n  "
                    << describe(c);
      return false;
    }
    const Snapshot after = snapshot();
    return same_pixels(c, after.destination, expected, "destination") &&
           same_pixels(c, after.source, before.source, "source (must stay unchanged)") &&
           (!before.mask || same_pixels(c, *after.mask, *before.mask, "mask (must stay unchanged)"));
  }
};

class BlitDifferential : public DifferentialFixture, public ::testing::WithParamInterface<Family> {};

TEST_P(BlitDifferential, EngineMatchesReference) {
  const Family family = GetParam();
  if (const char* replay = std::getenv("ZELT_DIFF_REPLAY"); replay && *replay) {
    int f = 0, mode = 0, pair = 0, masked = 0;
    unsigned long long seed = 0;
    ASSERT_EQ(std::sscanf(replay, "%d %d %d %d %llx", &f, &mode, &pair, &masked, &seed), 5) << replay;
    if (static_cast<Family>(f) != family) GTEST_SKIP() << "replaying another family";
    run_case({family, mode, pair, masked != 0, seed});
    return;
  }
  const uint64_t base = env_number("ZELT_DIFF_SEED", 0x2a7e1d0c5b3f9e11);
  const uint64_t rounds = env_number("ZELT_DIFF_ITERATIONS", 4);
  std::mt19937_64 seeds(base ^ static_cast<uint64_t>(family));
  for (uint64_t round = 0; round < rounds; ++round) {
    if (round > 0) set_random_palettes(seeds());
    for (int mode = 0; mode < kBlendModes; ++mode)
      for (int pair = 0; pair < 16; ++pair)
        for (const bool masked : {false, true})
          if (!run_case({family, mode, pair, masked, seeds()})) return;
  }
}

// The reference's geometries checked against each other: with rectangles of
// equal size at angle 0 (or a full turn) the scaled, rotated and
// rotated-smooth families sample the same pixels, mirrored or not, clipped
// or hanging over; gcopy's general path is the scaled family.
using ReferenceFamilies = DifferentialFixture;

TEST_F(ReferenceFamilies, AgreeOnEqualSizesWithoutTurning) {
  std::mt19937_64 seeds(0x7a11e5);
  for (int mode = 0; mode < kBlendModes; ++mode) {
    for (int pair = 0; pair < 16; ++pair) {
      for (const bool masked : {false, true}) {
        Case c = draw_case({Family::rotated, mode, pair, masked, seeds()});
        Random random(seeds());
        Rect sr = *c.call.source_rect;
        if (sr.right < sr.left) std::swap(sr.left, sr.right);
        if (sr.bottom < sr.top) std::swap(sr.top, sr.bottom);
        const int32_t x = random.between(-4, c.destination_width), y = random.between(-4, c.destination_height);
        Rect dr{x, y, x + sr.right - sr.left, y + sr.bottom - sr.top};
        const bool plain = random.chance(2);
        if (!plain && random.chance(2)) std::swap(dr.left, dr.right);
        if (!plain && random.chance(2)) std::swap(dr.top, dr.bottom);
        if (!plain && random.chance(2)) std::swap(sr.left, sr.right);
        if (!plain && random.chance(2)) std::swap(sr.top, sr.bottom);
        c.call.source_rect = sr;
        c.call.destination_rect = dr;
        c.call.angle = random.pick({0, 2048, -2048});

        const Snapshot before = snapshot();
        reference::Image rotated = before.destination, smooth = before.destination, scaled = before.destination;
        if (!checked_reference_blit(c, before, rotated)) return;
        c.call.family = Family::smooth;
        if (!checked_reference_blit(c, before, smooth)) return;
        // An interpolated sample is a colour: copied into a 16-bit plane it
        // does not carry a source pixel's top bit as the nearest pixel does.
        const bool top_bit_copied = mode <= 2 && c.cell.source_bits() == 16 && c.cell.destination_bits() == 16;
        if (!top_bit_copied &&
            !same_pixels(c, smooth, rotated, "rotated-smooth against rotated", "smooth", "rotated"))
          return;

        // The scaled family takes the masked table only when the mask has a
        // pixel at the source rectangle's top-left.
        const int effective = mode == 10 && c.call.mode.param == 0 ? 7 : mode;
        const bool mask_modes = effective == 7 || effective == 10 || effective == 11 || effective == 12;
        const Rect n{std::min(sr.left, sr.right), std::min(sr.top, sr.bottom), 0, 0};
        if (masked && mask_modes && !before.mask->contains(n.left, n.top)) continue;
        c.call.family = Family::scaled;
        if (!checked_reference_blit(c, before, scaled)) return;
        if (!same_pixels(c, scaled, rotated, "scaled against rotated", "scaled", "rotated")) return;

        // gcopy: no destination rectangle to reverse; the fast rounding of
        // modes 3 and 4 and the fast routines' use of any mask differ from
        // the general path.
        if (!plain || effective == 3 || effective == 4 || (masked && mask_modes)) continue;
        reference::Image copied = before.destination;
        c.call.family = Family::copy;
        if (!checked_reference_blit(c, before, copied)) return;
        if (!same_pixels(c, copied, scaled, "copy against scaled", "copy", "scaled")) return;
      }
    }
  }
}

std::string family_test_name(const ::testing::TestParamInfo<Family>& family) {
  switch (family.param) {
    case Family::copy: return "Copy";
    case Family::scaled: return "Scaled";
    case Family::rotated: return "Rotated";
    default: return "RotatedSmooth";
  }
}
INSTANTIATE_TEST_SUITE_P(, BlitDifferential, ::testing::ValuesIn(reference::kFamilies), family_test_name);

}  // namespace
}  // namespace zelt::gfx
