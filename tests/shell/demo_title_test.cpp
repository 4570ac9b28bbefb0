// The demo title as built in build/demo, run headless with [Demo] Frames
// (a fixed step per frame and an end after that many frames): its pictures
// against golden ones, with and without the row-parallel loops, the ways
// the user ends it, and broken data in its folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/golden.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

constexpr int kWidth = 640, kHeight = 360;

// A copy of the demo in dir/title; `settings` go into the user's own
// configuration file (which overrides the title's) after the [General]
// line, so they may begin with keys of that section.
void copy_demo(const test::TempDir& dir, const std::string& settings) {
  std::filesystem::copy(ZELT_DEMO_DIR, dir / "title", std::filesystem::copy_options::recursive);
  dir.write("home/TORVAL/ZeltDemo/configure.cfg", "[General]\nMultiInstance=1\n" + settings);
}

test::RunResult run_demo(const test::TempDir& dir, const std::string& options) {
  return test::run_zelt("--headless --timeout 60 " + options + " " + (dir / "title"),
                        "XDG_CONFIG_HOME=" + (dir / "home"));
}

class DemoGolden : public ::testing::TestWithParam<int> {};  // Param: MultiThreading

// The pointer over the third button, the ship moved right and up by one
// step each (turned to face up) and given its second colour by the pad's A
// button. The presses come after the title has made its pictures (which
// takes longest under the sanitizers), and are shorter than the time after
// which a held key keeps moving the ship (measured on the real clock), so
// the picture does not depend on how many frames fall within them.
TEST_P(DemoGolden, InputInTheFirstSeconds) {
  test::TempDir dir;
  copy_demo(dir, "DebugMode=1\n[System]\nMultiThreading=" + std::to_string(GetParam()) +
                     "\n[Demo]\nFrames=216\n");
  dir.write("events.txt",
            "0 focus gained\n200 move 1000 36\n"
            "2000 key down Right\n2300 key up Right\n2500 key down Up\n2800 key up Up\n"
            "2900 pad 0 button a down\n3200 pad 0 button a up\n");
  const test::RunResult r = run_demo(dir, "--input " + (dir / "events.txt") + " --screenshot " + (dir / "shot.bmp"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("zelt demo: 216 frames in"), std::string::npos) << "the rate, with DebugMode\n" << r.output;
  EXPECT_TRUE(test::matches_golden("demo_input", "mt" + std::to_string(GetParam()), dir / "shot.bmp", kWidth, kHeight));
}

// Half a minute on: another formation of the swarm, the sun turned further.
TEST_P(DemoGolden, LaterInTheLoop) {
  test::TempDir dir;
  copy_demo(dir, "[System]\nMultiThreading=" + std::to_string(GetParam()) + "\n[Demo]\nStart=31000\nFrames=12\n");
  const test::RunResult r = run_demo(dir, "--screenshot " + (dir / "shot.bmp"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output, "");
  EXPECT_TRUE(test::matches_golden("demo_31s", "mt" + std::to_string(GetParam()), dir / "shot.bmp", kWidth, kHeight));
}

INSTANTIATE_TEST_SUITE_P(Threads, DemoGolden, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& p) { return "mt" + std::to_string(p.param); });

// Without a frame limit the demo runs until the user ends it: Escape asks
// (headless, the question goes to stderr and OK answers it), and so does
// the window's close button. Escape stays down, so the title sees it
// however long it takes to start.
TEST(DemoTitle, EndsOnEscapeOrClose) {
  struct Case {
    const char* what;
    const char* events;
    const char* output_has;
  };
  const Case cases[] = {
      {"Escape", "1000 key down Escape\n",
       "zelt demo: \xE3\x83\x87\xE3\x83\xA2\xE3\x82\x92\xE7\xB5\x82\xE4\xBA\x86\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99"
       "\xE3\x81\x8B\xEF\xBC\x9F"},  // デモを終了しますか？
      {"close button", "1000 close\n1100 answer ok\n", ""},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    copy_demo(dir, "");
    dir.write("events.txt", std::string("0 focus gained\n") + c.events);
    const test::RunResult r = run_demo(dir, "--input " + (dir / "events.txt"));
    EXPECT_EQ(r.code, 0) << c.what << "\n" << r.output;
    EXPECT_NE(r.output.find(c.output_has), std::string::npos) << c.what << "\n" << r.output;
    EXPECT_EQ(r.output.find("time is up"), std::string::npos) << c.what << "\n" << r.output;
  }
}

// A missing or broken data file ends the demo with the runtime's message
// (Error=2 shows file messages too) and exit code 0, never a crash; a JPEG
// that ends early still loads.
TEST(DemoTitle, BrokenDataEndsWithAMessage) {
  struct Case {
    const char* what;
    const char* member;    // replaced in the archive, or nullptr
    size_t keep;           // bytes of the member kept; npos: replaced by garbage
    const char* output_has;
  };
  constexpr size_t kGarbage = std::string::npos;
  const Case cases[] = {
      {"no archive", nullptr, 0, "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE\xE3\x82\xAA"
                                 "\xE3\x83\xBC\xE3\x83\x97\xE3\x83\xB3\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97"},  // ファイルのオープンに失敗
      {"not an archive", nullptr, kGarbage, "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE\xE8\xAA"
                                            "\xAD\xE3\x81\xBF\xE8\xBE\xBC\xE3\x81\xBF"},  // ファイルの読み込み
      {"a bitmap that is not one", "bg/sky.bmp", kGarbage, "LoadPlane"},
      {"a cut JPEG (the rest of the picture stays grey)", "bg/hills.jpg", 3000, ""},
      {"a compressed text cut short", "text/lines.txt", 9, ""},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    copy_demo(dir, "[Demo]\nFrames=3\n");
    if (!c.member) {
      if (c.keep == kGarbage) dir.write("title/data.bin", "not an archive at all");
      else std::filesystem::remove(dir / "title/data.bin");
    } else {
      ASSERT_EQ(test::run_zelt("unpack " + (dir / "title/data.bin") + " " + (dir / "data")).code, 0);
      const std::string path = "data/" + std::string(c.member);
      const std::string bytes = dir.read(path);
      dir.write(path, c.keep == kGarbage ? std::string(200, 'x') : bytes.substr(0, c.keep));
      std::filesystem::remove(dir / "title/data.bin");
      ASSERT_EQ(test::run_zelt("pack " + (dir / "data") + " " + (dir / "title/data.bin")).code, 0);
    }
    const test::RunResult r = run_demo(dir, "");
    EXPECT_EQ(r.code, 0) << c.what << "\n" << r.output;
    EXPECT_NE(r.output.find(c.output_has), std::string::npos) << c.what << "\n" << r.output;
  }
}

}  // namespace
}  // namespace zelt
