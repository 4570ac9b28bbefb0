// Primitive built-ins called from scripts: rectangles and point lists read
// from script memory, the results scripts see, and addresses that are not
// usable memory.
#include "builtins/graphics_script_cases.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"

namespace zelt::hosttest {
namespace {

const char* kGlobals = "int b; int r; int *ip; char *q;\n";
const char* kPrelude = "b = malloc(256); ip = b; galloc(5, 40, 30, 24); galloc(6, 8, 8, 8);";
const char* kEpilogue = "free(b);";

class PrimitiveBuiltins : public GraphicsScriptCases {};

TEST_F(PrimitiveBuiltins, DrawingFromScripts) {
  run_cases(
      kGlobals, kPrelude, kEpilogue,
      {
          {"gclear of the whole plane", "r = gclear(5, 0, 0x112233); out(r * 100000000 + getpixel(5, 39, 29));",
           "101122867"},
          {"gclear of a rectangle",
           "ip[0] = 2; ip[1] = 3; ip[2] = 4; ip[3] = 5; gclear(5, b, 0xFF0000);\n"
           "  out((getpixel(5, 3, 4) == 0xFF0000) * 10 + (getpixel(5, 4, 4) == 0x112233));",
           "11"},
          {"gclear of an 8-bit plane stores the low byte",
           "gclear(6, 0, 0x12345607); ginfo(6, b); q = ip[3]; out(q[0] * 10 + q[7]);", "77"},
          {"gfill blends at the colour's alpha",
           "gclear(5, 0, 0); r = gfill(5, 0, 0, 2, 2, 0x80FFFFFF); out(r * 1000 + (getpixel(5, 1, 1) & 255));",
           "1128"},
          {"gfill outside the clip", "out(gfill(5, 40, 0, 5, 5, 0xFF000000) + gfill(5, 0, 0, 0, 5, 0xFF000000));",
           "0"},
          {"gline from (-10, 5) to (10, 5)",
           "gclear(5, 0, 0); r = gline(5, -10, 5, 10, 5, 0xFFFFFFFF);\n"
           "  out(r * 1000 + (getpixel(5, 0, 5) == 0xFFFFFF) * 100 + (getpixel(5, 10, 5) == 0xFFFFFF) * 10 +\n"
           "      (getpixel(5, 11, 5) == 0));",
           "1111"},
          {"gline wholly left", "out(gline(5, -10, 0, -1, 29, 0xFFFFFFFF));", "0"},
          {"gpoly of a square",
           "gclear(5, 0, 0); ip[0] = 10; ip[1] = 10; ip[2] = 20; ip[3] = 10; ip[4] = 20; ip[5] = 20;\n"
           "  ip[6] = 10; ip[7] = 20; r = gpoly(5, b, 4, 0xFF0000FF);\n"
           "  out(r * 10000 + getpixel(5, 20, 19) * 100 / 255 + (getpixel(5, 10, 20) == 0) * 10 +\n"
           "      (getpixel(5, 21, 10) == 0));",
           "10111"},
          {"gpoly with 2 points, no address or an empty slot",
           "out(gpoly(5, b, 2, 0xFF0000FF) + gpoly(5, 0, 4, 0xFF0000FF) * 10 + gpoly(9, b, 4, 0xFF0000FF) * 100);",
           "0"},
      });
}

TEST_F(PrimitiveBuiltins, UnusableAddressesFailWithoutAFault) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"gclear rectangle", "out(gclear(5, 16, 1) + gclear(5, 0xFFFFFFF8, 1));", "0"},
                {"gpoly points", "out(gpoly(5, 16, 3, 0xFF000000) + gpoly(5, 0xFFFFFFF0, 3, 0xFF000000));", "0"},
                {"gpoly with more points than memory holds", "out(gpoly(5, b, 0x7FFFFFFF, 0xFF000000));", "0"},
                {"nothing was drawn", "out(getpixel(5, 0, 0) + getpixel(5, 39, 29));", "0"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
