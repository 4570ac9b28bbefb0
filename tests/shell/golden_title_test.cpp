// Small titles (tests/titles) run headless to their end, their screenshots
// compared with golden pictures (tests/goldens), with the row-parallel
// loops on and off: the pictures must be the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "support/golden.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

struct Title {
  const char* name;
  int width, height;
};

constexpr Title kTitles[] = {
    {"blend_grid", 192, 120},      // 36 blend modes through gcopy, gblit and gblita on 24 bits
    {"palette_screen", 160, 96},   // an 8-bit screen through the global palette, text as index and coverage
    {"sprites16", 160, 120},       // sprites mirrored, scaled, turned, filtered and linked, on 16 bits
};

// Param: the title and [System] MultiThreading.
class GoldenTitle : public ::testing::TestWithParam<std::tuple<Title, int>> {};

TEST_P(GoldenTitle, ScreenshotMatches) {
  const auto& [title, threads] = GetParam();
  test::TempDir dir;
  std::filesystem::copy(std::string(ZELT_SOURCE_DIR) + "/tests/titles/" + title.name, dir / "title",
                        std::filesystem::copy_options::recursive);
  dir.write("title/zelt/zelt.h", test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"));
  dir.write("title/configure.cfg",
            "[General]\nMultiInstance=1\n[System]\nMultiThreading=" + std::to_string(threads) + "\n");
  const test::RunResult r = test::run_zelt(
      "--headless --timeout 30 --screenshot " + (dir / "shot.bmp") + " " + (dir / "title"),
      "XDG_CONFIG_HOME=" + (dir / "home"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output, "");
  EXPECT_TRUE(test::matches_golden(title.name, "mt" + std::to_string(threads), dir / "shot.bmp", title.width,
                                   title.height));
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<Title, int>>& info) {
  return std::string(std::get<0>(info.param).name) + "_mt" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Titles, GoldenTitle, ::testing::Combine(::testing::ValuesIn(kTitles), ::testing::Values(0, 1)),
                         case_name);

}  // namespace
}  // namespace zelt
