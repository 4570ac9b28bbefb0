// Small pages for sprite tests: a 16 x 16 32-bit active page over a plain
// background, and sprite planes whose pixels are letters, so that a page
// reads as rows of text: '.' where the background shows, the letter of the
// sprite pixel elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/plane_fixture.h"
#include "gfx/present/dirty_list.h"
#include "gfx/sprites/hit_regions.h"
#include "gfx/sprites/sprites.h"

namespace zelt::gfx {

class SpriteFixture : public PlaneFixture {
 protected:
  static constexpr uint32_t kPage = 1, kBackground = 2;
  static constexpr uint32_t kBackgroundColour = 0x00202020;
  static constexpr int32_t kSide = 16;

  void SetUp() override {
    sprite_spare();  // the pool is made once and kept
    PlaneFixture::SetUp();
    config().Smoothing = 0;
    sp_init(UINT32_MAX);
    sp_flag(kSpriteRedrawAlways);
    make(kPage, kSide, kSide, 32);
    apage(kPage);
    fill(make(kBackground, kSide, kSide, 32), kBackgroundColour);
    sp_setbg(kBackground);
    Rect ignored;
    sp_draw(UINT32_MAX, &ignored);
  }
  void TearDown() override {
    sp_init(UINT32_MAX);
    sp_setbg(0);
    PlaneFixture::TearDown();
  }

  static SpriteRecord& rec(ScriptAddr sprite) {
    return *reinterpret_cast<SpriteRecord*>(script_memory().host(sprite));
  }

  static void fill(Plane& p, uint32_t colour) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) set(p, x, y, colour);
  }
  static void set(Plane& p, int32_t x, int32_t y, uint32_t colour) {
    std::memcpy(plane_pixel_address(&p, x, y), &colour, 4);
  }
  static uint32_t get(const Plane& p, int32_t x, int32_t y) {
    uint32_t v;
    std::memcpy(&v, plane_pixel_address(&p, x, y), 4);
    return v;
  }

  // A 32-bit plane in slot whose rows are the given letters.
  static Plane& letters(uint32_t slot, const std::vector<std::string>& rows) {
    Plane& p = make(slot, static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), 32);
    for (size_t y = 0; y < rows.size(); ++y)
      for (size_t x = 0; x < rows[y].size(); ++x)
        set(p, static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<uint8_t>(rows[y][x]));
    return p;
  }

  // Rows top to bottom of the page area (0, top) to (kSide, bottom).
  static std::vector<std::string> page(int32_t top = 0, int32_t bottom = kSide) {
    const Plane& p = *plane_get(kPage);
    std::vector<std::string> rows;
    for (int32_t y = top; y < bottom; ++y) {
      std::string row;
      for (int32_t x = 0; x < kSide; ++x) {
        const uint32_t v = get(p, x, y);
        row += v == kBackgroundColour ? '.' : v < 0x80 && v >= 0x20 ? static_cast<char>(v) : '?';
      }
      rows.push_back(row);
    }
    return rows;
  }

  static Rect draw(uint32_t mask = UINT32_MAX) {
    Rect changed{-1, -1, -1, -1};
    EXPECT_EQ(sp_draw(mask, &changed), 1);
    return changed;
  }
};

}  // namespace zelt::gfx
