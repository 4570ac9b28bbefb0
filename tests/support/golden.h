// Golden pictures: screenshots of titles compared pixel for pixel with PNG
// files kept in tests/goldens. With ZELT_UPDATE_GOLDENS=1 in the environment
// (scripts/update-goldens) the screenshot becomes the golden instead. A
// mismatch leaves the screenshot and a picture of the differing pixels (red
// over a faded copy of the golden) in build/golden-failures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/screenshot.h"
#include "support/temp_dir.h"

namespace zelt::test {

// ImageMagick's own programs (a stand-in called convert may come earlier
// on PATH).
inline constexpr const char* kConvert = "/usr/bin/convert";
inline constexpr const char* kCompare = "/usr/bin/compare";

inline std::string golden_path(const std::string& name) {
  return std::string(ZELT_SOURCE_DIR) + "/tests/goldens/" + name + ".png";
}

inline int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// Compares the BMP screenshot `shot` (width x height) with the golden
// `name`; `run` names this run in the failure files (several runs share a
// golden).
inline ::testing::AssertionResult matches_golden(const std::string& name, const std::string& run,
                                                 const std::string& shot, int width, int height) {
  const std::vector<uint32_t> got = read_screenshot(TempDir::read_file(shot), width, height);
  if (got.empty())
    return ::testing::AssertionFailure() << shot << " is not a " << width << " x " << height << " screenshot";
  const std::string golden = golden_path(name);
  const char* update = std::getenv("ZELT_UPDATE_GOLDENS");
  if (update && std::string(update) == "1") {
    if (shell(std::string(kConvert) + " '" + shot + "' -strip -define png:exclude-chunks=date,time PNG24:'" + golden + "'") != 0)
      return ::testing::AssertionFailure() << "cannot write " << golden;
    return ::testing::AssertionSuccess();
  }
  const std::string golden_bmp = shot + ".golden.bmp";
  shell(std::string(kConvert) + " '" + golden + "' -type TrueColor BMP3:'" + golden_bmp + "'");
  const std::vector<uint32_t> expected = read_screenshot(TempDir::read_file(golden_bmp), width, height);
  if (expected.empty())
    return ::testing::AssertionFailure() << "no " << width << " x " << height << " golden " << golden
                                         << " (scripts/update-goldens makes it)";
  int wrong = 0;
  std::ostringstream first;
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != expected[i] && wrong++ < 5)
      first << "\n  (" << i % width << ", " << i / width << "): " << std::hex << got[i] << " instead of " << expected[i]
            << std::dec;
  if (wrong == 0) return ::testing::AssertionSuccess();
  const std::string dir = ZELT_GOLDEN_FAILURES;
  std::filesystem::create_directories(dir);
  const std::string stem = dir + "/" + name + "-" + run;
  shell(std::string(kConvert) + " '" + shot + "' PNG24:'" + stem + ".png'");
  shell(std::string(kCompare) + " '" + golden + "' '" + stem + ".png' '" + stem + "-diff.png'");
  return ::testing::AssertionFailure() << wrong << " pixels differ from " << golden << first.str()
                                       << "\n  this run: " << stem << ".png, differences: " << stem << "-diff.png";
}

}  // namespace zelt::test
