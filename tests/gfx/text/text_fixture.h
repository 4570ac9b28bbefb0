// Planes and font slots for text tests: every slot back to its initial
// description, descriptions set from UTF-8 face names, and planes read back
// as rows of pixel values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cp932.h"
#include "gfx/plane_fixture.h"
#include "gfx/text/font_slots.h"
#include "gfx/text/text_draw.h"

namespace zelt::gfx {

class TextFixture : public PlaneFixture {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    kFontsSubsystem.start();
  }
  void TearDown() override {
    kFontsSubsystem.stop();
    PlaneFixture::TearDown();
  }

  static FontDescription description(const char* face_utf8, int32_t height, uint32_t flags = 0,
                                     int32_t angle = 0, int32_t weight = 0) {
    FontDescription d{};
    const std::string face = cp932::from_utf8(face_utf8);
    std::memcpy(d.face, face.data(), std::min(face.size(), sizeof d.face - 1));
    d.height = height;
    d.angle = angle;
    d.flags = flags;
    d.weight = weight;
    return d;
  }
  static void use(uint32_t slot, const FontDescription& d) { ASSERT_EQ(font_set(slot, d), 1); }

  // gtext with the text given in UTF-8, on this system (os_platform 2).
  static int32_t draw(uint32_t plane, int32_t x, int32_t y, uint32_t colour, const char* utf8, uint32_t slot = 0) {
    return gtext(plane, x, y, colour, cp932::from_utf8(utf8), slot, 2);
  }

  // Every pixel of the plane as one value (top row first): the index, the
  // 16-bit word, or the 24/32-bit value.
  static std::vector<uint32_t> pixels(uint32_t handle) {
    const Plane& p = *plane_get(handle);
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        const uint8_t* a = plane_pixel_address(&p, x, y);
        uint32_t v = 0;
        std::memcpy(&v, a, p.bit_count / 8);
        out.push_back(v);
      }
    return out;
  }
};

}  // namespace zelt::gfx
