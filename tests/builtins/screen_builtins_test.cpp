// Dirty-rectangle built-ins called from scripts: rectangles read from script
// memory and addresses that are not usable memory.
#include "builtins/graphics_script_cases.h"
#include "gfx/present/dirty_list.h"

namespace zelt::hosttest {
namespace {

const char* kGlobals = "int b; int r; int *ip;\n";
const char* kPrelude =
    "b = malloc(64); ip = b; galloc(5, 8, 8, 24); galloc(6, 8, 8, 24); gclear(6, 0, 0x445566); drt_init();";
const char* kEpilogue = "free(b);";

class ScreenBuiltins : public GraphicsScriptCases {
 protected:
  void TearDown() override {
    gfx::dirty_clear();
    GraphicsScriptCases::TearDown();
  }
};

TEST_F(ScreenBuiltins, DirtyRectanglesFromScripts) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"copy through one rectangle",
                 "ip[0] = 2; ip[1] = 2; ip[2] = 4; ip[3] = 4; drt_set(b);\n"
                 "  r = drt_copy(5, 0, 0, 6, 0); out(r * 100 + (getpixel(5, 3, 3) == 0x445566) * 10 +\n"
                 "      (getpixel(5, 4, 4) == 0));",
                 "111"},
                {"a source rectangle moves the picture",
                 "ip[0] = 0; ip[1] = 0; ip[2] = 8; ip[3] = 8; drt_set(b); ip[0] = 6; ip[1] = 6; ip[2] = 8;\n"
                 "  ip[3] = 8; r = drt_copy(5, 0, 0, 6, b); out(r * 10 + (getpixel(5, 1, 1) == 0x445566) +\n"
                 "      (getpixel(5, 5, 5) == 0) * 100);",
                 "111"},
                {"setorg", "out(setorg(3, 4));", "1"},
                {"unusable rectangle addresses",
                 "out(drt_set(16) + drt_set(0xFFFFFFF8) + drt_set(0) + drt_copy(5, 0, 0, 6, 16));", "0"},
                {"an empty list copies nothing", "gclear(5, 0, 0); r = drt_copy(5, 0, 0, 6, 0); out(r * 10 + getpixel(5, 0, 0));",
                 "10"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
