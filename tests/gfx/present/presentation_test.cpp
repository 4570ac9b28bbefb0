// The screen texture: where it lands in the window, what an upload
// converts and copies, the full upload after a reset, and what the main
// thread is handed.
#include "gfx/present/presentation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/plane_fixture.h"
#include "gfx/planes/palette.h"

namespace zelt::gfx {
namespace {

TEST(Placement, WindowAndFullScreenBoxes) {
  struct Case {
    const char* name;
    bool fullscreen, fixed;
    int32_t client_w, client_h, full_w, full_h, width, height;
    Placement expected;
  };
  const Case cases[] = {
      {"windowed: the client area", false, true, 800, 450, 1920, 1080, 1024, 576, {0, 0, 800, 450}},
      {"equal ratios", true, true, 1920, 1080, 1920, 1080, 1024, 576, {0, 0, 1920, 1080}},
      {"letter box", true, true, 1280, 1024, 1280, 1024, 1024, 576, {0, 152, 1280, 720}},
      {"no fixed ratio", true, false, 1024, 768, 1024, 768, 640, 480, {0, 0, 1024, 768}},
      {"pillar box", true, true, 1920, 1080, 1920, 1080, 640, 480, {240, 0, 1440, 1080}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(placement_for(c.fullscreen, c.fixed, c.client_w, c.client_h, c.full_w, c.full_h, c.width, c.height),
              c.expected);
  }
}

class Presentation : public PlaneFixture {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    present_open(kWidth, kHeight, PresentPath::accelerated);
    present_take([](const uint32_t*, int32_t, int32_t, const Rect&) {});
  }
  void TearDown() override {
    present_close();
    PlaneFixture::TearDown();
  }

  static constexpr int32_t kWidth = 8, kHeight = 6;

  static uint32_t texel(int32_t x, int32_t y) {
    int32_t w, h;
    return present_texture(&w, &h)[static_cast<size_t>(y) * w + x];
  }
  static void put(Plane& p, int32_t x, int32_t y, uint32_t v) {
    std::memcpy(plane_pixel_address(&p, x, y), &v, static_cast<size_t>(p.bit_count / 8));
  }
  // The area handed to the main thread since the last call (empty: none).
  static Rect taken() {
    Rect got;
    present_take([&](const uint32_t*, int32_t, int32_t, const Rect& changed) { got = changed; });
    return got;
  }
};

TEST_F(Presentation, ConversionOfEachFormat) {
  working_palette()[7] = 0x123456;
  pal_change();
  struct Case {
    int32_t bits;
    uint32_t pixel, texel_before, expected;
  };
  const Case cases[] = {
      {32, 0xAA112233, 0, 0xAA112233},
      {24, 0x112233, 0xEE000000, 0xEE112233},
      {16, 0x8000 | 0x7C00, 0, 0xFF0000},
      {8, 7, 0, 0x123456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    Plane& p = make(1, kWidth, kHeight, c.bits);
    if (c.bits == 8) plane_colour_table(p)[7] = 0xABCDEF;  // the plane's own table is not used
    put(p, 2, 3, c.pixel);
    // A texel's top byte survives a 24-bit upload.
    Plane& seed = make(2, kWidth, kHeight, 32);
    put(seed, 2, 3, c.texel_before);
    const Rect one{2, 3, 3, 4};
    ASSERT_EQ(present_upload(&seed, &one), 1);
    ASSERT_EQ(present_upload(&p, &one), 1);
    EXPECT_EQ(texel(2, 3), c.expected);
  }
}

TEST_F(Presentation, UploadsOnlyTheRectangleInsidePlaneAndScreen) {
  Plane& p = make(1, 20, 3, 24);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 20; ++x) put(p, x, y, 0x010101u * static_cast<uint32_t>(x + 1));
  const Rect outside{-5, -5, 0, 10};
  EXPECT_EQ(present_upload(&p, &outside), 0);
  EXPECT_TRUE(taken().empty());
  const Rect part{6, 1, 30, 2};
  EXPECT_EQ(present_upload(&p, &part), 1);
  EXPECT_EQ(taken(), (Rect{6, 1, kWidth, 2}));
  EXPECT_EQ(texel(5, 1), 0u);
  EXPECT_EQ(texel(7, 1), 0x080808u);
  EXPECT_EQ(texel(7, 0), 0u);
  EXPECT_EQ(present_upload(nullptr, nullptr), 0);
}

TEST_F(Presentation, AResetMakesTheNextUploadWhole) {
  Plane& p = make(1, kWidth, kHeight, 32);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) put(p, x, y, 0x00FFFFFF);
  present_request_full_upload();
  const Rect small{0, 0, 1, 1};
  EXPECT_EQ(present_upload(&p, &small), 1);
  EXPECT_FALSE(present_full_upload_pending());
  EXPECT_EQ(texel(kWidth - 1, kHeight - 1), 0xFFFFFFu);
  EXPECT_EQ(taken(), (Rect{0, 0, kWidth, kHeight}));
  put(p, 5, 5, 0x112233);
  EXPECT_EQ(present_upload(&p, &small), 1);
  EXPECT_EQ(texel(5, 5), 0xFFFFFFu) << "only one upload is whole";
}

TEST_F(Presentation, PlanesOfOneAndFourBitsCopyNothing) {
  for (const int32_t bits : {1, 4}) {
    Plane& p = make(1, kWidth, kHeight, bits);
    std::memset(plane_pixels(p).data(), 0xFF, plane_pixels(p).size());
    EXPECT_EQ(present_upload(&p, nullptr), 1);
    EXPECT_EQ(texel(0, 0), 0u);
  }
}

// update: a rectangle off the screen draws nothing and gives 0, except
// on the accelerated path while a full upload is pending.
TEST_F(Presentation, ScreenRefresh) {
  Plane& view = make(0, kWidth, kHeight, 32);
  put(view, 1, 1, 0x00ABCDEF);
  const Rect off{100, 100, 120, 120};
  EXPECT_EQ(screen_refresh(&off), 0);
  EXPECT_TRUE(taken().empty());
  present_request_full_upload();
  EXPECT_EQ(screen_refresh(&off), 1);
  EXPECT_EQ(taken(), (Rect{0, 0, kWidth, kHeight}));
  EXPECT_EQ(texel(1, 1), 0xABCDEFu);

  put(view, 2, 2, 0x00123456);
  const Rect hanging{2, 2, 50, 50};
  EXPECT_EQ(screen_refresh(&hanging), 1);
  EXPECT_EQ(taken(), (Rect{2, 2, kWidth, kHeight}));
  EXPECT_EQ(texel(2, 2), 0x123456u);

  present_close();
  present_open(kWidth, kHeight, PresentPath::unscaled);
  present_request_full_upload();
  EXPECT_EQ(screen_refresh(&off), 0) << "the unscaled path has no full upload";
  EXPECT_EQ(screen_refresh(nullptr), 1);
  EXPECT_EQ(texel(2, 2), 0x123456u);
}

TEST_F(Presentation, WithoutAViewPageOrTextureNothingIsCopied) {
  EXPECT_EQ(screen_refresh(nullptr), 1);  // slot 0 empty: nothing to show
  present_close();
  Plane& p = make(1, kWidth, kHeight, 32);
  EXPECT_EQ(present_upload(&p, nullptr), 0);
  EXPECT_TRUE(taken().empty());
}

}  // namespace
}  // namespace zelt::gfx
