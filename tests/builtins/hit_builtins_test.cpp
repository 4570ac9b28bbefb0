// Hit-region built-ins called from scripts: rectangles read from script
// memory, records changed through the returned addresses, addresses that are
// not usable memory.
#include "builtins/general_builtins_test_util.h"
#include "gfx/sprites/hit_regions.h"
#include "gfx/sprites/sprites.h"

namespace zelt::hosttest {
namespace {

const char* kGlobals = "int b; int r; int q; int k; int s; int *ip; int *h; char *cp;\n";
const char* kPrelude = "b = malloc(16); ip = b; ip[0] = 0; ip[1] = 0; ip[2] = 10; ip[3] = 10;";
const char* kEpilogue = "free(b);";

class HitBuiltins : public ScriptCases {
 protected:
  void SetUp() override {
    // The pools are made on first use and then kept: make them before the
    // count of live blocks is taken.
    gfx::sprite_spare();
    gfx::hit_reset(gfx::hit_set(0, 0, 0, nullptr, 0));
    gfx::sp_init(0xFFFFFFFFu);
    ScriptCases::SetUp();
  }
  void TearDown() override {
    gfx::sp_init(0xFFFFFFFFu);
    ScriptCases::TearDown();
  }
};

TEST_F(HitBuiltins, RegionsFromScripts) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"a region from a rectangle in script memory",
                 "r = hit_set(0, 1, 0, b, 77); h = r; out(h[7] * 100 + (hit_point(5, 5, 1) == r) * 10 +\n"
                 "      (hit_point(10, 5, 1) == 0));",
                 "7711"},
                {"the rectangle was copied",
                 "ip[0] = 50; out(hit_point(5, 5, -1) == r);", "1"},
                {"hit_rect and hit_check",
                 "ip[0] = 9; ip[1] = 9; ip[2] = 20; ip[3] = 20; q = hit_set(1, 1, 0, b, 0);\n"
                 "  out((hit_rect(b, 1) == r) * 100 + (hit_check(q) == r) * 10 + (hit_check(r) == 0));",
                 "111"},
                {"scripts move a region through its record",
                 "h[2] = 100; h[4] = 110; out((hit_point(5, 5, 1) == 0) * 10 + (hit_point(105, 5, 1) == r));",
                 "11"},
                {"mask 0 makes a region inactive", "h[1] = 0; out(hit_point(105, 5, -1) + hit_check(r));",
                 "0"},
                {"bad groups and unusable rectangle addresses",
                 "out(hit_set(32, 1, 0, b, 0) + hit_set(0, 1, 0, 16, 0) + hit_set(0, 1, 0, 0xFFFFFFF8, 0) +\n"
                 "      hit_rect(16, -1) + hit_rect(0, -1));",
                 "0"},
                {"hit_reset", "k = hit_reset(r); out(k * 100 + hit_reset(r) * 10 + hit_reset(0));", "100"},
                {"hit_init", "k = hit_init(2); out(k * 10 + hit_reset(q));", "10"},
                {"a region that follows a sprite",
                 "ip[0] = 0; ip[1] = 0; ip[2] = 16; ip[3] = 8; s = sp_set(0, 2, 100, 50, 0, b, 0);\n"
                 "  r = hit_set(1, 1, s, 0, 0); h = s; k = (h[33] == r) * 100;\n"
                 "  out(k + (hit_point(115, 57, 2) == r) * 10 + (hit_point(116, 57, 2) == 0));",
                 "111"},
                {"a hidden sprite's region is not found",
                 "cp = s; cp[0] = 1; k = hit_point(100, 50, 2); cp[0] = 2;\n"
                 "  out((k == 0) * 10 + (hit_point(100, 50, 2) == r));",
                 "11"},
                {"the sprite's reset removes its regions",
                 "k = sp_reset(s); out(k * 100 + hit_reset(r) * 10 + hit_point(100, 50, -1));", "100"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
