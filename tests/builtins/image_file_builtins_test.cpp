// Script-level cases of gload, gsave, dcopy and dload: difference data and
// rectangles in script memory, files in a temporary current directory.
#include <unistd.h>

#include <algorithm>

#include "gfx/planes/plane.h"
#include "script/host/host_test_util.h"
#include "support/temp_dir.h"

namespace zelt::hosttest {
namespace {

class ImageFileBuiltins : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    gfx::planes_reset();
    config().Error = 2;
    char buf[4096];
    old_cwd_ = ::getcwd(buf, sizeof buf) ? buf : "/";
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override {
    gfx::planes_reset();
    HostTest::TearDown();
    ASSERT_EQ(::chdir(old_cwd_.c_str()), 0);
  }
  test::TempDir dir_;
  std::string old_cwd_;
};

// A 24-bit difference record built in a script array: "DIFF", bits, the
// rectangle (0, 0, 2, 1), then 0 3, two pixels, 0 1.
constexpr const char* kDiffData =
    "int d[12]; char *s; int i;\n"
    "void make_diff() {\n"
    "  d[0] = 0x46464944; d[1] = 0; d[2] = 0; d[3] = 24; d[4] = 0; d[5] = 0; d[6] = 2; d[7] = 1;\n"
    "  s = (char*)d; s[32] = 0; s[33] = 3;\n"
    "  for (i = 0; i < 6; i++) s[34 + i] = i + 1;\n"
    "  s[40] = 0; s[41] = 1;\n"
    "}\n";

TEST_F(ImageFileBuiltins, DcopyGsaveAndGloadThroughScriptMemory) {
  ASSERT_TRUE(run(std::string(kDiffData) +
                  "int main() { int rect[4]; int slot; int info[6];\n"
                  "  make_diff();\n"
                  "  out(galloc(1, 4, 3, 24));\n"
                  "  rect[0] = 9; rect[1] = 9; rect[2] = 9; rect[3] = 9;\n"
                  "  out(dcopy(1, 1, 2, d, rect)); out(rect[0]); out(rect[2]); out(rect[3]);\n"
                  "  out(getpixel(1, 1, 2)); out(getpixel(1, 2, 2));\n"
                  "  rect[0] = 1; rect[1] = 2; rect[2] = 3; rect[3] = 3;\n"
                  "  out(gsave(\"shot.bmp\", 1, rect));\n"
                  "  out(gload(&slot, \"SHOT.BMP\")); out(slot);\n"
                  "  out(getpixel(slot, 0, 0)); out(getpixel(slot, 1, 0));\n"
                  "  ginfo(slot, info); out(info[0]); out(info[1]); out(info[2]);\n"
                  // Other bits per pixel: 0, but the rectangle is reported.
                  "  d[3] = 8; d[6] = 3; out(dcopy(1, 0, 0, d, rect)); out(rect[2]);\n"
                  "  out(dcopy(1, 0, 0, 16, rect));\n"  // an address that is not usable
                  "  out(dcopy(1, 0, 0, 0, 0));\n"
                  "  out(gsave(\"none.bmp\", 5, 0));\n"
                  "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1",      "1",      "0", "2", "1",  "197121", "394500", "1", "1", "1023",
                              "197121", "394500", "2", "1", "24", "0",      "3",      "0", "0", "0"}));
  EXPECT_EQ(dir_.read("shot.bmp").size(), 54u + 8);
}

TEST_F(ImageFileBuiltins, DloadAndFailedLoads) {
  ASSERT_TRUE(run(std::string(kDiffData) +
                  "int main() { int rect[4]; int f;\n"
                  "  make_diff();\n"
                  "  f = fopen(\"patch.dif\", \"wb\"); fwrite(d, 1, 42, f); fclose(f);\n"
                  "  out(galloc(3, 2, 1, 24));\n"
                  "  out(dload(3, 0, 0, \"patch.dif\", rect)); out(rect[2]); out(getpixel(3, 1, 0));\n"
                  "  out(dload(3, 1, 0, \"patch.dif\", 0));\n"  // the rectangle does not fit
                  "  out(gload(4, \"missing.bmp\")); out(getpixel(4, 0, 0));\n"
                  "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "1", "2", "394500", "0", "0", "0"}));
  const std::vector<std::string> shown = messages();
  std::string load_failed = msg_text(Msg::LoadPlaneFailed);
  load_failed.replace(load_failed.find("%s"), 2, "missing.bmp");
  EXPECT_NE(std::find(shown.begin(), shown.end(), load_failed), shown.end());
}

}  // namespace
}  // namespace zelt::hosttest
