// Planes for filter and effect tests: the blit fixture's pixel helpers, the
// filter generator back at 1, every effect slot empty, and a model of the
// generator to predict which pixels it picks.
#pragma once

#include <cstdint>

#include "gfx/effects/effects.h"
#include "gfx/effects/filter_random.h"
#include "gfx/raster/blit_fixture.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {

class EffectsFixture : public BlitFixture {
 protected:
  void SetUp() override {
    BlitFixture::SetUp();
    set_filter_random_state(1);
    effects_reset();
  }
  void TearDown() override {
    effects_reset();
    set_pixels_per_thread_for_testing(0);
    BlitFixture::TearDown();
  }

  // The generator's rule, kept apart from the code under test.
  struct Lcg {
    uint32_t state = 1;
    uint32_t next() {
      state = state * 214013u + 2531011u;
      return state >> 16 & 0x7FFF;
    }
  };

  static Rect* rect(Rect& r, int32_t l, int32_t t, int32_t rr, int32_t b) {
    r = Rect{l, t, rr, b};
    return &r;
  }
  // A plane whose pixel (x, y) is f(x, y).
  template <class F>
  static Plane& painted(uint32_t slot, int32_t w, int32_t h, int32_t bits, F&& f) {
    Plane& p = make(slot, w, h, bits);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) set_pixel(p, x, y, f(x, y));
    return p;
  }
  static uint32_t mask_of(int32_t bits) { return bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }
};

}  // namespace zelt::gfx
