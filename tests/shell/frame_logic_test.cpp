#include <gtest/gtest.h>

#include "core/config.h"
#include "shell/frame_logic.h"

namespace zelt {
namespace {

constexpr FrameSize kScreen{1920, 1080};
constexpr FrameSize kNoBorder{0, 0};

Config base() {
  config_defaults();
  Config c = config();  // 1024 x 576, FixedAspectRatio 1
  return c;
}

TEST(FramePlacement, SizeAndPositionRules) {
  struct Case {
    const char* name;
    int restore, resize, d3d;
    int left, top, width, height;        // saved bounds
    int want_w, want_h, want_x, want_y;  // result (also written back)
  };
  const Case cases[] = {
      {"nothing saved: plane size, centred", 0, 0, 1, 0, 0, 0, 0, 1024, 576, 448, 252},
      {"saved size ignored without Resize", 1, 0, 1, 10, 20, 1280, 720, 1024, 576, 10, 20},
      {"saved size ignored on the unscaled path", 1, 1, 0, 10, 20, 1280, 720, 1024, 576, 10, 20},
      {"saved size and position restored", 1, 1, 1, 10, 20, 1280, 720, 1280, 720, 10, 20},
      {"saved size at least half the plane", 1, 1, 1, 10, 20, 100, 100, 512, 288, 10, 20},
      {"saved size at most the screen", 1, 1, 1, 0, 0, 5000, 3000, 1920, 1080, 0, 0},
      {"one saved dimension 0: nothing restored", 1, 1, 1, 10, 20, 0, 720, 1024, 576, 448, 252},
      {"wholly left of the screen: centred x", 1, 1, 1, -1280, 20, 1280, 720, 1280, 720, 320, 20},
      {"just on screen at the left", 1, 1, 1, -1279, 20, 1280, 720, 1280, 720, -1279, 20},
      {"at the right edge: centred x", 1, 1, 1, 1920, 20, 1280, 720, 1280, 720, 320, 20},
      {"below the screen: centred y", 1, 1, 1, 10, 1080, 1280, 720, 1280, 720, 10, 180},
      {"without RestoreBounds: centred", 0, 1, 1, 10, 20, 1280, 720, 1024, 576, 448, 252},
  };
  for (const Case& k : cases) {
    Config c = base();
    c.RestoreBounds = k.restore;
    c.Resize = k.resize;
    c.Direct3D = k.d3d;
    c.WindowLeft = k.left;
    c.WindowTop = k.top;
    c.WindowWidth = k.width;
    c.WindowHeight = k.height;
    const FramePlacement p = frame_placement(c, kScreen, kNoBorder);
    EXPECT_EQ(p.client_w, k.want_w) << k.name;
    EXPECT_EQ(p.client_h, k.want_h) << k.name;
    EXPECT_EQ(p.x, k.want_x) << k.name;
    EXPECT_EQ(p.y, k.want_y) << k.name;
    EXPECT_EQ(c.WindowWidth, k.want_w) << k.name;
    EXPECT_EQ(c.WindowHeight, k.want_h) << k.name;
    EXPECT_EQ(c.WindowLeft, k.want_x) << k.name;
    EXPECT_EQ(c.WindowTop, k.want_y) << k.name;
  }
}

TEST(FramePlacement, BorderCountsInTheCentredPosition) {
  Config c = base();
  const FramePlacement p = frame_placement(c, kScreen, {8, 30});
  EXPECT_EQ(p.x, (1920 - 1032) / 2);
  EXPECT_EQ(p.y, (1080 - 606) / 2);
}

TEST(FrameAspect, TheDimensionThatChangedDecides) {
  struct Case {
    const char* name;
    FrameSize old_size, new_size, want;
  };
  const Case cases[] = {
      {"right edge to 1280", {1024, 576}, {1280, 576}, {1280, 720}},
      {"bottom edge to 720", {1024, 576}, {1024, 720}, {1280, 720}},
      {"diagonal, height grew more", {1024, 576}, {1100, 700}, {1244, 700}},
      {"diagonal, width grew more", {1024, 576}, {1300, 600}, {1300, 731}},
      {"rounding to nearest", {1024, 576}, {1025, 576}, {1025, 577}},
      {"unchanged", {1024, 576}, {1024, 576}, {1024, 576}},
  };
  const Config c = base();
  for (const Case& k : cases) {
    const FrameSize got = frame_aspect_correct(c, k.old_size, k.new_size);
    EXPECT_EQ(got.w, k.want.w) << k.name;
    EXPECT_EQ(got.h, k.want.h) << k.name;
  }
}

TEST(FrameAspect, OffOrWithoutAPlaneSizeKeepsTheSize) {
  Config c = base();
  c.FixedAspectRatio = 0;
  EXPECT_EQ(frame_aspect_correct(c, {1024, 576}, {1300, 600}), (FrameSize{1300, 600}));
  c = base();
  c.Height = 0;  // no ratio at all: never a division by zero
  EXPECT_EQ(frame_aspect_correct(c, {1024, 576}, {1300, 600}), (FrameSize{1300, 600}));
}

TEST(FrameTracking, MinimumHalfThePlaneMaximumTheLargestFittingRatio) {
  Config c = base();
  const FrameSize border{8, 30};
  FrameLimits l = frame_tracking_limits(c, kScreen, border);
  EXPECT_EQ(l.min, (FrameSize{8 + 512, 30 + 288}));
  // 1912 x 1050 available, wider than 16:9: the height limits.
  EXPECT_EQ(l.max, (FrameSize{8 + 1867, 1080}));

  l = frame_tracking_limits(c, {1288, 1054}, border);  // taller than 16:9: the width limits
  EXPECT_EQ(l.max, (FrameSize{1288, 30 + 720}));

  l = frame_tracking_limits(c, kScreen, kNoBorder);  // exactly 16:9: the whole screen
  EXPECT_EQ(l.max, kScreen);

  c.FixedAspectRatio = 0;
  EXPECT_EQ(frame_tracking_limits(c, kScreen, border).max, kScreen);
}

}  // namespace
}  // namespace zelt
