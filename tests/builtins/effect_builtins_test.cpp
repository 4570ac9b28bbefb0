// Filter and effect built-ins called from scripts: quads, rectangles and
// meshes through script addresses, the mesh a script writes, and addresses
// that are not usable memory.
#include "builtins/graphics_script_cases.h"
#include "gfx/effects/effects.h"

namespace zelt::hosttest {
namespace {

const char* kGlobals = "int b; int r; int i; int *ip; int *m;\n";
// Plane 5: 16 × 8 with pixel (x, y) = 0x10000 y + x; plane 6 the destination.
const char* kPrelude =
    "b = malloc(256); ip = b; galloc(5, 16, 8, 32); galloc(6, 16, 8, 32); galloc(7, 4, 4, 8);\n"
    "  for (r = 0; r < 8; r++) for (i = 0; i < 16; i++) { ip[0] = i; ip[1] = r; ip[2] = i + 1; ip[3] = r + 1;"
    " gclear(5, b, 0x10000 * r + i); }";
const char* kEpilogue = "free(b); ef_free(0);";

class EffectBuiltins : public GraphicsScriptCases {
 protected:
  void TearDown() override {
    gfx::effects_reset();
    GraphicsScriptCases::TearDown();
  }
};

TEST_F(EffectBuiltins, FiltersFromScripts) {
  run_cases(
      kGlobals, kPrelude, kEpilogue,
      {
          {"freemap onto a quad given by address: the picture mirrored left to right",
           "ip[0] = 15; ip[1] = 0; ip[2] = 15; ip[3] = 7; ip[4] = 0; ip[5] = 7; ip[6] = 0; ip[7] = 0;\n"
           "  r = freemap(6, b, 5, 0, -1); out(r * 1000000 + getpixel(6, 0, 3));",
           "1196623"},
          {"rotate by 0", "r = rotate(6, 0, 5, 0, 0, -1); out(r * 1000000 + getpixel(6, 2, 3));", "1196610"},
          {"smooth with a source rectangle",
           "ip[0] = 4; ip[1] = 2; ip[2] = 5; ip[3] = 3; r = smooth(6, 0, 5, b, -1); out(r * 1000000 + getpixel(6, 9, 5));",
           "1131076"},
          {"scroll", "gcopy(6, 0, 0, 5, 0, 0); r = scroll(6, 0, 1, 0); out(r * 1000000 + getpixel(6, 15, 1));",
           "1065536"},
          {"each filter on a missing plane",
           "out(freemap(9, 0, 5, 0, -1) + smooth(9, 0, 5, 0, -1) + rotate(9, 0, 5, 0, 0, -1) + tiled(9, 0, 5, 0, 0, 0) +"
           " scroll(9, 0, 1, 1) + noise(9, 0, 9) + slice(9, 0, 9) + gradation(9, 0, 0, 5, 0) +"
           " mosaic(9, 0, 0, 5, 0, 2, 2) + monotone(9, 0, 0, 0) + blur(9, 0, 0, 5, 0, 1) + fire(9, 0));",
           "0"},
          {"unusable quad and rectangle addresses",
           "out(freemap(6, 16, 5, 0, -1) + freemap(6, 0, 5, 0xFFFFFFF0, -1) + smooth(6, 16, 5, 0, -1) +"
           " rotate(6, 0, 5, 16, 0, -1) + tiled(6, 16, 5, 0, 0, 0) + scroll(6, 16, 1, 1) + noise(6, 16, 1) +"
           " slice(6, 16, 1) + gradation(6, 0, 0, 5, 16) + mosaic(6, 0, 0, 5, 16, 2, 2) + monotone(6, 16, 0, 0) +"
           " blur(6, 0, 0, 5, 16, 1) + fire(6, 16));",
           "0"},
          {"unequal formats", "out(freemap(7, 0, 5, 0, -1) * 10 + tiled(7, 0, 5, 0, 0, 0));", "0"},
      });
}

TEST_F(EffectBuiltins, MeshesFromScripts) {
  run_cases(
      kGlobals, kPrelude, kEpilogue,
      {
          {"ef_init gives the mesh's address", "r = ef_init(0, 6, 0, 5, 0); ef_info(0, b); out((r != 0) * 10 + (r == ip[2]));",
           "11"},
          {"ef_info: cols and rows", "ef_info(0, b); out(ip[0] * 10 + ip[1]);", "21"},
          {"a mesh written by the script: every point at source (3, 2)",
           "ef_info(0, b); m = ip[2]; for (i = 0; i < 2 * 3 * 2; i += 2) { m[i] = (3 * 2048 / 16) << 8;"
           " m[i + 1] = (2 * 2048 / 8) << 8; }\n"
           "  r = ef_copy(0); out(r * 1000000 + getpixel(6, 11, 6));",
           "1131075"},
          {"ef_info without a usable address", "out(ef_info(0, 0) + ef_info(0, 16) + ef_info(3, b));", "0"},
          {"ef_init with an unusable rectangle empties the slot", "r = ef_init(0, 6, 16, 5, 0); out(r * 10 + ef_copy(0));", "0"},
          {"slots above 7", "out(ef_init(8, 6, 0, 5, 0) + ef_free(8) + ef_copy(-1) + ef_water(8));", "0"},
      });
}

}  // namespace
}  // namespace zelt::hosttest
