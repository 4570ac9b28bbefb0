// Sprite built-ins called from scripts: records read and written through
// the addresses sp_set returns, changed rectangles written to script
// memory, links and child arrays as scripts see them, the sp_count system
// variable, and addresses that are not usable memory or not sprites.
#include "builtins/graphics_script_cases.h"
#include "core/cp932.h"
#include "gfx/present/dirty_list.h"
#include "gfx/sprites/sprites.h"

namespace zelt::hosttest {
namespace {

// A 16 x 16 page (slot 0) over a grey background (slot 1); a red 2 x 2
// plane (2) and a green 3 x 3 one (3). Record fields as int indices: 0 state,
// layer and flags; 2 sort key; 3 plane; 4, 5 x, y; 6, 7 hot spot; 8, 9
// scale; 12 angle; 13-16 source; 20-23 bounds; 24-27 placed; 28 child count;
// 29 child array; 30 parent; 31 previous; 32 next.
//
// Operands are not evaluated left to right: calls whose effects a case
// reads are separate statements.
const char* kGlobals = "int b; int r; int i; int *ip; int *sp; int *sq; int *sc; char *cp;\n"
                       "int box() { return ((ip[0] * 100 + ip[1]) * 100 + ip[2]) * 100 + ip[3]; }\n";
const char* kPrelude =
    "b = malloc(64); ip = b; galloc(0, 16, 16, 32); galloc(1, 16, 16, 32); gclear(1, 0, 0x202020);\n"
    "  galloc(2, 2, 2, 32); gclear(2, 0, 0xFF0000); galloc(3, 3, 3, 32); gclear(3, 0, 0x00FF00);\n"
    "  sp_setbg(1); sp_draw(-1, 0);";
const char* kEpilogue = "free(b);";

class SpriteBuiltins : public GraphicsScriptCases {
 protected:
  void SetUp() override {
    gfx::sprite_spare();  // the pool is made once and kept: not a block of the test
    GraphicsScriptCases::SetUp();
    reset();
  }
  void TearDown() override {
    reset();
    GraphicsScriptCases::TearDown();
  }
  static void reset() {
    gfx::sp_init(UINT32_MAX);
    gfx::sp_setbg(0);
    gfx::sp_flag(gfx::kSpriteRedrawAlways);
    gfx::dirty_clear();
  }
};

TEST_F(SpriteBuiltins, RecordsThroughTheirAddresses) {
  run_cases(
      kGlobals, kPrelude, kEpilogue,
      {
          {"a new record", "sp = sp_set(0, 2, 3, 4, 2, 0, 0); cp = sp; out(cp[0] * 100 + cp[1] * 10 + sp[3]);",
           "202"},
          {"position, scale and the whole plane as source",
           "out(sp[4] * 1000 + sp[5] * 100 + (sp[8] == 0x10000) * 10 + (sp[9] == 0x10000));", "3411"},
          {"the source rectangle", "out(((sp[13] * 10 + sp[14]) * 10 + sp[15]) * 10 + sp[16]);", "22"},
          {"default flags, with smoothing as configured", "out(cp[2] + cp[3] * 256);", "18"},
          {"sp_count", "out(getsystem(\"sp_count\"));", "1"},
          {"sp_draw writes the changed rectangle", "r = sp_draw(-1, b); out(r * 100000000 + box());",
           "103040506"},
          {"the sprite is on the page",
           "out((getpixel(0, 3, 4) == 0xFF0000) * 100 + (getpixel(0, 4, 5) == 0xFF0000) * 10 +\n"
           "      (getpixel(0, 5, 4) == 0x202020));",
           "111"},
          {"the computed rectangles in the record",
           "out(((sp[20] * 100 + sp[21]) * 100 + sp[22]) * 100 + sp[23] - (((sp[24] * 100 + sp[25]) * 100 +\n"
           "      sp[26]) * 100 + sp[27]));",
           "0"},
          {"the drawn flag", "out(cp[3] & 0x80);", "128"},
          {"a new x moves it; the changed area covers both places",
           "sp[4] = 10; r = sp_draw(-1, b); out(box());", "3041206"},
          {"and the old place shows the background",
           "out((getpixel(0, 3, 4) == 0x202020) * 10 + (getpixel(0, 10, 4) == 0xFF0000));", "11"},
          {"sp_rect writes the placed rectangle", "sp[6] = 1; r = sp_rect(sp, b); out(r * 100000000 + box());",
           "109041106"},
          {"hot spot, scale and a quarter turn through the record",
           "sp[8] = 0x20000; sp[9] = 0x20000; sp[12] = 512; r = sp_rect(sp, b); out(box());", "10021406"},
          {"the world fields after the next draw",
           "sp_draw(-1, 0); out((sp[10] == 0x20000) * 10 + (sp[12] >> 16 == 512));", "11"},
          {"a sprite without its redraw flags stays where it was drawn",
           "sp[8] = 0x10000; sp[9] = 0x10000; sp[12] = 0; sp[6] = 0; sp_draw(-1, 0); cp[2] = 0;\n"
           "  sp[4] = 0; r = sp_draw(-1, b); out(box() * 10 + (getpixel(0, 10, 4) == 0xFF0000));",
           "1"},
          {"until the script sets bit 0", "cp[2] = 1; sp_draw(-1, b); out(box());", "41206"},
          {"which the draw clears", "out(cp[2] & 1);", "0"},
          {"hidden through the state byte", "cp[0] = 1; r = sp_draw(-1, b); out(box() * 10 + (getpixel(0, 0, 4) == 0x202020));",
           "402061"},
          {"sp_reset, then the next draw frees it", "r = sp_reset(sp); sp_draw(-1, 0); out(r * 10 + getsystem(\"sp_count\"));",
           "10"},
      });
}

TEST_F(SpriteBuiltins, LinksAndChildArraysAsScriptsSeeThem) {
  run_cases(
      kGlobals, kPrelude + std::string(" sp = sp_set(0, 2, 4, 4, 2, 0, 0); sq = sp_set(0, 2, 0, 8, 3, 0, 0);"),
      kEpilogue,
      {
          {"the layer list", "out((sp[32] == sq) * 10 + (sq[31] == sp));", "11"},
          {"sp_link", "r = sp_link(sp, sq); sc = sp[29]; out(r * 1000 + sp[28] * 100 + (sc[0] == sq) * 10 +\n"
                      "      (sq[30] == sp));",
           "1111"},
          {"the capacity word before the child array", "out(sc[-1]);", "8"},
          {"the child is placed from its parent's hot spot",
           "sq[4] = 3; sq[5] = -1; sq[6] = 1; sq[7] = 1; r = sp_draw(-1, b); out(getpixel(0, 6, 2) == 0x00FF00);",
           "1"},
          {"and moves with it", "sp[4] = 8; cp = sp; cp[2] = cp[2] | 1; sp_draw(-1, b); out(getpixel(0, 10, 2) == 0x00FF00);",
           "1"},
          {"sp_rect of a child", "r = sp_rect(sq, b); out(box());", "10021305"},
          {"sp_org moves a layer", "sp_org(1, -2, 0); r = sp_rect(sq, b); out(box());", "12021505"},
          {"sp_unlink", "sp_org(1, 0, 0); r = sp_unlink(sq); out(r * 100 + sp[28] * 10 + (sq[30] == 0));", "101"},
          {"sort keys written by the script", "sp[2] = 5; sq[2] = 1; r = sp_sort(1, 2); out(r * 10 + (sq[32] == sp));", "11"},
          {"a second parent takes the child from the first",
           "sp_link(sp, sq); sc = sp_set(0, 2, 0, 0, 2, 0, 0); sp_link(sc, sq); out(sp[28] * 10 + sc[28]);", "1"},
          {"sp_reset of the parent resets the child",
           "sp_reset(sc); sp_draw(-1, 0); out(getsystem(\"sp_count\"));", "1"},
      });
}

TEST_F(SpriteBuiltins, UnusableAddressesAndTheSpareRecord) {
  run_cases(
      kGlobals,
      kPrelude + std::string(" sp = sp_set(0, 2, 4, 4, 2, 0, 0); sq = sp_set(32, 2, 0, 0, 2, 0, 0);"),
      kEpilogue,
      {
          {"sprite addresses that are not sprites",
           "out(sp_reset(16) + sp_reset(0xFFFFFFF8) + sp_reset(0) + sp_reset(sq) + sp_unlink(16) + sp_unlink(sq) +\n"
           "      sp_link(16, sp) + sp_link(sp, 0xFFFFFFF8) + sp_link(sq, sp) + sp_link(sp, sp + 4));",
           "0"},
          {"rectangle addresses", "out(sp_rect(sp, 16) + sp_rect(sp, 0xFFFFFFF8) + sp_rect(16, b) + sp_rect(sq, b) +\n"
                                  "      sp_rect(sp, 0));",
           "0"},
          {"sp_set with unusable rectangle or descriptor addresses gives the spare",
           "i = sp_set(0, 2, 0, 0, 2, 16, 0); r = i == sq; i = sp_set(0, 2, 0, 0, 2, 0, 0xFFFFFFF8); r = r + (i == sq);\n"
           "  out(r + (sq != 0) * 10);",
           "12"},
          {"and for a missing plane or one beyond the table",
           "i = sp_set(0, 2, 0, 0, 9, 0, 0); r = i == sq; i = sp_set(0, 2, 0, 0, 1024, b, 0); out(r + (i == sq));",
           "2"},
          {"nothing was added", "out(getsystem(\"sp_count\"));", "1"},
          {"writes to the spare are harmless",
           "sq[0] = 0x02020202; sq[4] = 5; sq[28] = 100; sq[29] = 16; sq[32] = sq; r = sp_draw(-1, b);\n"
           "  out(r * 10 + getsystem(\"sp_count\"));",
           "11"},
          {"sp_draw with unusable changed-rectangle addresses still draws",
           "sp[4] = 9; cp = sp; cp[2] = 1; r = sp_draw(-1, 16) * 10; r = r + sp_draw(-1, 0xFFFFFFF8);\n"
           "  out(r + (getpixel(0, 9, 4) == 0xFF0000) * 100);",
           "111"},
      });
}

// The script writes a new position, asks for the placed rectangle and then
// draws: the old place must still be restored.
TEST_F(SpriteBuiltins, RectOfAMovedSpriteKeepsItsOldAreaForTheNextDraw) {
  run_cases(kGlobals, kPrelude + std::string(" sp = sp_set(0, 2, 3, 4, 2, 0, 0); sp_draw(-1, 0);"), kEpilogue,
            {
                {"moved, asked, drawn",
                 "sp[4] = 10; sp_rect(sp, b); r = sp_draw(-1, b);\n"
                 "  out(box() * 100 + (getpixel(0, 3, 4) == 0x202020) * 10 + (getpixel(0, 10, 4) == 0xFF0000));",
                 "304120611"},
            });
}

TEST_F(SpriteBuiltins, LinkCyclesAreReported) {
  ASSERT_TRUE(
      run("int main() { int *a; int *b;\n"
          "  galloc(2, 2, 2, 32); a = sp_set(0, 2, 0, 0, 2, 0, 0); b = sp_set(0, 2, 0, 0, 2, 0, 0);\n"
          "  out(sp_link(a, b)); out(sp_link(b, a)); out(sp_link(a, a)); out(a[30]);\n"
          "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "0", "0", "0"}));
  std::vector<std::string> shown;
  for (const std::string& m : messages()) shown.push_back(cp932::to_utf8(m));
  EXPECT_EQ(shown, (Lines{"LinkSprite : 循環参照してます。", "LinkSprite : 循環参照してます。"}));
}

}  // namespace
}  // namespace zelt::hosttest
