// Planes for blit tests: pixels set and read as raw values, random
// contents, and the switches the engine reads (colour mapping, threads,
// SIMD, MMX) put back after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "gfx/plane_fixture.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/blit_engine.h"
#include "gfx/raster/row_blends.h"

namespace zelt::gfx {

class BlitFixture : public PlaneFixture {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    set_color_mapping(0);
    config().MMX = 0;  // gcopy's own routines, not the blitter object
  }
  void TearDown() override {
    set_color_mapping(0);
    force_simd_for_testing(-1);
    PlaneFixture::TearDown();
  }

  static uint32_t pixel(const Plane& p, int32_t x, int32_t y) {
    const uint8_t* a = plane_pixel_address(&p, x, y);
    uint32_t v = 0;
    if (a) std::memcpy(&v, a, static_cast<size_t>(p.bit_count / 8));
    return v;
  }
  static void set_pixel(Plane& p, int32_t x, int32_t y, uint32_t v) {
    std::memcpy(plane_pixel_address(&p, x, y), &v, static_cast<size_t>(p.bit_count / 8));
  }
  static void fill(Plane& p, uint32_t v) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) set_pixel(p, x, y, v);
  }
  // Every byte of the pixel memory (row padding too) random.
  static void randomise(Plane& p, uint32_t seed) {
    std::mt19937 random(seed);
    for (uint8_t& b : plane_pixels(p)) b = static_cast<uint8_t>(random());
  }
  static void randomise_palette(Plane& p, uint32_t seed) {
    std::mt19937 random(seed);
    for (uint32_t& e : plane_colour_table(p)) e = random() & 0xFFFFFF;
  }
  static std::vector<uint8_t> bytes(const Plane& p) {
    const std::span<uint8_t> s = plane_pixels(p);
    return {s.begin(), s.end()};
  }
  // Pixel values row by row, top row first.
  static std::vector<uint32_t> pixels(const Plane& p) {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) v.push_back(pixel(p, x, y));
    return v;
  }
  static BlitMode mode(uint8_t number, uint8_t alpha = 0, uint8_t param = 0, uint32_t key = 0,
                       uint32_t paint = 0, uint8_t channels = 0) {
    return BlitMode{number, channels, alpha, param, key, paint};
  }
};

}  // namespace zelt::gfx
