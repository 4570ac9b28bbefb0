#include <gtest/gtest.h>

#include <string>

#include "core/debug_output.h"
#include "shell/debug_window.h"

namespace zelt {
namespace {

TEST(DebugLines, NewestLineVisibleAndScrollRange) {
  DebugLines lines;
  for (int i = 0; i < 1000; ++i) lines.append("line " + std::to_string(i));
  EXPECT_EQ(lines.size(), 1000u);
  EXPECT_EQ(lines.top_index(10, 0), 990u);  // the last line is the last one shown
  EXPECT_EQ(lines.top_index(10, 5), 985u);
  EXPECT_EQ(lines.top_index(10, 5000), 0u);
  EXPECT_EQ(lines.top_index(2000, 0), 0u);

  int calls = 0;
  EXPECT_EQ(lines.measure([&](const std::string& l) { ++calls; return static_cast<int>(l.size()); }), 8);
  lines.append("a much longer line");
  EXPECT_EQ(lines.measure([&](const std::string& l) { ++calls; return static_cast<int>(l.size()); }), 18);
  EXPECT_EQ(calls, 1001);  // each line measured once
  lines.clear();
  EXPECT_EQ(lines.widest(), 0);  // the extent starts again at 0
  EXPECT_EQ(lines.size(), 0u);
}

TEST(DebugOutput, OnlyWithDebugMode) {
  debug_output_start(false, true);
  EXPECT_FALSE(debug_output_append("x"));
  EXPECT_FALSE(debug_output_clear());
  debug_output_start(true, false);
  EXPECT_TRUE(debug_output_append("x"));
  EXPECT_TRUE(debug_output_clear());
  debug_output_start(false, false);
}

}  // namespace
}  // namespace zelt
