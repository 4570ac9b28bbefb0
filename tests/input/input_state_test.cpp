#include <gtest/gtest.h>

#include <string>

#include "input/input_state.h"
#include "input/script_clock.h"

namespace zelt::input {
namespace {

TEST(CharRing, KeepsTheNewest511WhenOverfilled) {
  input_state_reset();
  std::string typed;
  for (int i = 0; i < 600; ++i) typed += static_cast<char>('0' + i % 75);
  input_chars(typed);
  std::string got;
  uint8_t b;
  while (input_char_take(&b)) got += static_cast<char>(b);
  EXPECT_EQ(got, typed.substr(600 - 511));
}

TEST(CharRing, WrapsAroundWithoutLosingBytes) {
  input_state_reset();
  uint8_t b;
  for (int round = 0; round < 3; ++round) {
    input_chars(std::string(400, static_cast<char>('a' + round)));
    for (int i = 0; i < 400; ++i) {
      ASSERT_TRUE(input_char_take(&b));
      EXPECT_EQ(b, 'a' + round);
    }
    EXPECT_FALSE(input_char_take(&b));
  }
}

TEST(ScriptClock, NestedPausesFreezeUntilTheOutermostEnd) {
  script_clock_reset();
  script_clock_pause_begin();
  const uint32_t frozen = script_clock_now();
  script_clock_pause_begin();
  script_clock_pause_end();
  EXPECT_EQ(script_clock_pause_depth(), 1);
  EXPECT_EQ(script_clock_now(), frozen);
  script_clock_pause_end();
  script_clock_pause_end();  // unbalanced end: ignored
  EXPECT_EQ(script_clock_pause_depth(), 0);
  EXPECT_GE(script_clock_now(), frozen);
}

}  // namespace
}  // namespace zelt::input
