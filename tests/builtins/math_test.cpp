// The math engine: tables, the generator against a reference MT19937,
// interpolation and key-frame tracks.
#include "builtins/math.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>
#include <vector>

namespace zelt {
namespace {

TEST(MathTables, SineAndCosine) {
  EXPECT_EQ(table_sin(512), 65536);
  EXPECT_EQ(table_sin(0), 0);
  EXPECT_EQ(table_sin(2048), 0);
  EXPECT_EQ(table_sin(1024), 0);
  EXPECT_EQ(table_sin(-512), -65536);
  EXPECT_EQ(table_sin(256), 46340);  // sin(pi/4) * 65536 = 46340.95, truncated
  EXPECT_EQ(table_sin(1024 + 256), -46340);
  EXPECT_EQ(table_cos(0), 65536);
  EXPECT_EQ(table_cos(1024), -65536);
}

TEST(MathTables, ArcTangentDirections) {
  struct Case {
    int32_t x, y, expected;
  };
  for (const Case& c : std::vector<Case>{{0, 0, 0},
                                         {1, 0, 0},
                                         {0, 1, 512},
                                         {-1, 0, 1024},
                                         {0, -1, 1536},
                                         {1, 1, 256},
                                         {5, 5, 256},
                                         {-1, -1, 1280},
                                         {1, -1, 1792},
                                         {1000, 1, 0},
                                         {INT_MIN, 0, 1024},
                                         {INT_MIN, INT_MIN, 1280},
                                         {INT_MAX, INT_MIN, 1791}}) {
    EXPECT_EQ(table_atan(c.x, c.y), c.expected) << c.x << ", " << c.y;
  }
}

// The 1998 seeding fills the state from the high halves of successive LCG
// steps; the reference engine then generates from that state.
std::mt19937 reference(uint32_t seed) {
  std::ostringstream state;
  for (int i = 0; i < 624; ++i) {
    uint32_t word = seed & 0xFFFF0000u;
    seed = 69069 * seed + 1;
    word |= seed >> 16;
    seed = 69069 * seed + 1;
    state << word << ' ';
  }
  state << 624;  // next output regenerates the whole state
  std::mt19937 engine;
  std::istringstream in(state.str());
  in >> engine;
  return engine;
}

TEST(Random, MatchesReferenceMt19937AcrossRegenerations) {
  for (const uint32_t seed : {1u, 4357u, 0xFFFFFFFFu}) {
    random_seed(seed);
    std::mt19937 ref = reference(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(random_next(), ref()) << "seed " << seed << " output " << i;
  }
}

TEST(Interpolation, CurvesThroughThreeValues) {
  EXPECT_FLOAT_EQ(interp_linear(2, 4, 0.25f), 2.5f);
  EXPECT_FLOAT_EQ(interp_bezier(0, 1, 2, 0.5f), 1.0f);
  EXPECT_FLOAT_EQ(interp_bezier(3, 7, 9, 0), 3.0f);
  EXPECT_FLOAT_EQ(interp_bezier(3, 7, 9, 1), 9.0f);
  EXPECT_FLOAT_EQ(interp_neville(3, 7, 9, 0), 3.0f);
  EXPECT_FLOAT_EQ(interp_neville(3, 7, 9, 0.5f), 7.0f);
  EXPECT_FLOAT_EQ(interp_neville(3, 7, 9, 1), 9.0f);
}

std::vector<KeyFrame> track(std::initializer_list<std::pair<float, float>> keys) {
  std::vector<KeyFrame> t;
  for (const auto& [time, value] : keys) t.push_back({time, value, 0, 0});
  return t;
}

TEST(KeyFrames, IndexByBisection) {
  const std::vector<KeyFrame> t = track({{0, 0}, {1, 5}, {3, 2}, {4, 8}});
  EXPECT_EQ(keyframes_index(t, -1), -1);
  EXPECT_EQ(keyframes_index(t, 0), 0);
  EXPECT_EQ(keyframes_index(t, 2.9f), 1);
  EXPECT_EQ(keyframes_index(t, 3), 2);
  EXPECT_EQ(keyframes_index(t, 4), -1);  // the last key's time has no segment
  EXPECT_EQ(keyframes_index(std::vector<KeyFrame>(t.begin(), t.begin() + 1), 0), -1);
}

TEST(KeyFrames, EveryTypeBetweenAndOutsideTheKeys) {
  std::vector<KeyFrame> t = track({{0, 0}, {1, 1}, {2, 4}, {3, 9}});
  keyframes_calc(t);
  struct Case {
    int32_t type;
    float x, expected;
  };
  for (const Case& c : std::vector<Case>{
           {0, 1.5f, 1},                  // step
           {1, 1.5f, 2.5f},               // linear
           {2, 1.5f, 1.75f},              // f squared
           {3, 1.25f, 2.5f},              // square root of f
           {4, 1.5f, 2.25f},              // Newton polynomial through all keys: x squared
           {4, 2.5f, 6.25f},
           {5, 1.25f, 2.875f},            // neville(y0, y1, y1, f): 1 + 4.5s - 1.5s^2 at s = 0.5
           {6, 1.25f, 0.625f},            // neville(y0, y0, y1, f): 1 + 1.5s(s - 1)
           {7, 1.5f, 1 + 3 * 0.75f},      // bezier(y0, y1, y1, f)
           {8, 1.5f, 1 + 3 * 0.25f},      // bezier(y0, y0, y1, f)
           {9, 1.5f, 2.25f},              // Hermite with neighbour tangents on x squared
           {10, 1.5f, 0},                 // unknown type
           {1, -5, 0},                    // before the first key: its value
           {1, 7, 9},                     // after the last key: its value
           {9, 3, 9},
       }) {
    EXPECT_FLOAT_EQ(keyframes_value(t, c.x, c.type), c.expected) << "type " << c.type << " at " << c.x;
  }
  EXPECT_FLOAT_EQ(t[0].coefficient, 0);
  EXPECT_FLOAT_EQ(t[1].coefficient, 1);
  EXPECT_FLOAT_EQ(t[2].coefficient, 1);
  EXPECT_FLOAT_EQ(t[3].coefficient, 0);
}

TEST(KeyFrames, EqualValuesHoldForEveryType) {
  std::vector<KeyFrame> t = track({{0, 3}, {1, 3}, {2, 3}});
  keyframes_calc(t);
  for (int32_t type = 0; type <= 9; ++type) {
    for (const float x : {0.0f, 0.3f, 1.0f, 1.7f, 2.0f}) {
      EXPECT_FLOAT_EQ(keyframes_value(t, x, type), 3.0f) << "type " << type << " at " << x;
    }
  }
  EXPECT_FLOAT_EQ(keyframes_value({}, 1, 1), 0.0f);
}

}  // namespace
}  // namespace zelt
