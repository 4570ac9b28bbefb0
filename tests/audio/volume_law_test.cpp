#include <gtest/gtest.h>

#include "audio/volume_law.h"

namespace zelt::audio {
namespace {

TEST(VolumeLaw, ScriptVolumesAndPansConvertBothWaysExactly) {
  struct Case {
    int32_t volume, db, back;
  } volumes[] = {{50, -1000, 50}, {1, -6644, 1}, {0, -10000, 0}, {100, 0, 100}, {-5, -10000, 0}, {250, 0, 100},
                 {10, -3322, 10}, {99, -14, 99}};
  for (const Case& c : volumes) {
    EXPECT_EQ(volume_to_db(c.volume), c.db) << c.volume;
    EXPECT_EQ(volume_from_db(volume_to_db(c.volume)), c.back) << c.volume;
  }
  struct Pan {
    int32_t pan, db, back;
  } pans[] = {{-50, -1000, -49}, {100, 10000, 99}, {-100, -10000, -99}, {0, 0, 0}, {50, 1000, 49}, {300, 10000, 99}};
  for (const Pan& c : pans) {
    EXPECT_EQ(pan_to_db(c.pan), c.db) << c.pan;
    EXPECT_EQ(pan_from_db(pan_to_db(c.pan)), c.back) << c.pan;
  }
}

TEST(VolumeLaw, FrequenciesClampAndZeroKeepsTheOwnRate) {
  struct Case {
    int32_t hz;
    uint32_t set;
  } cases[] = {{50, 100}, {0, 0}, {200000, 100000}, {-1, 100000}, {22050, 22050}, {100, 100}};
  for (const Case& c : cases) EXPECT_EQ(clamp_frequency(c.hz), c.set) << c.hz;
}

TEST(VolumeLaw, GainsAttenuateOnlyTheFarSide) {
  float l, r;
  channel_gains(-1000, 0, l, r);
  EXPECT_NEAR(l, 0.31623f, 1e-5);
  EXPECT_EQ(l, r);
  channel_gains(0, -10000, l, r);
  EXPECT_EQ(l, 1.0f);
  EXPECT_EQ(r, 0.0f);
  channel_gains(0, 600, l, r);
  EXPECT_NEAR(l, 0.50119f, 1e-5);
  EXPECT_EQ(r, 1.0f);
}

}  // namespace
}  // namespace zelt::audio
