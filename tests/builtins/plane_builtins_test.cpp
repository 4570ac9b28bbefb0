// Plane and palette built-ins called from scripts: slot targets, the
// addresses ginfo hands out, colour tables through script buffers, the
// working palette, and buffers that are not usable memory.
#include "builtins/graphics_script_cases.h"
#include "core/cp932.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"

namespace zelt::hosttest {
namespace {

// Operands are not evaluated left to right: calls whose effects a case reads
// are separate statements.
const char* kGlobals = "int b; int c; int i; int r; int *ip; int *info; int *t; char *q;\n";
const char* kPrelude = "b = malloc(1024); c = malloc(1024); ip = b; info = c;";
const char* kEpilogue = "free(b); free(c);";

class PlaneBuiltins : public GraphicsScriptCases {};

TEST_F(PlaneBuiltins, SlotsAndTargets) {
  run_cases(
      kGlobals, kPrelude, kEpilogue,
      {
          {"galloc into a slot", "out(galloc(5, 4, 3, 24));", "1"},
          {"galloc to an address takes the highest empty slot", "galloc(b, 2, 2, 8); out(ip[0]);", "1023"},
          {"and the next one below", "galloc(b, 2, 2, 8); out(ip[0]);", "1022"},
          {"a number target replaces the plane there",
           "galloc(1022, 7, 1, 32); ginfo(1022, c); out(info[0]);", "7"},
          {"gfree empties the slot",
           "r = gfree(1022) * 10; r = r + ginfo(1022, c); out(r + info[0] + info[5]);", "11"},
          {"gfree of a handle above 1023", "out(gfree(1024) + gfree(-1));", "0"},
          {"gattach and gdetach",
           "out(gattach(5, 6) + gattach(5, 1024) * 10 + gdetach(5) * 100 + gdetach(-1) * 1000);", "101"},
          {"ginit keeps the pages (slot 0)",
           "galloc(0, 1, 1, 8); ginit(); r = ginfo(0, c) * 10;\n"
           "  out(r + info[0] * 100 + (getpixel(0, 0, 0) == 0));",
           "111"},
          {"ginit emptied the rest", "ginfo(5, c); out(info[0] + info[5]);", "0"},
      });
  // The table as the script left it: the page kept, nothing else.
  EXPECT_NE(gfx::plane_get(0), nullptr);
  EXPECT_EQ(gfx::plane_get(5), nullptr);
  EXPECT_EQ(gfx::plane_get(1023), nullptr);
}

TEST_F(PlaneBuiltins, PixelsThroughTheAddressesGinfoHandsOut) {
  run_cases(
      kGlobals, kPrelude + std::string(" galloc(5, 4, 3, 24); galloc(6, 4, 4, 8);"), kEpilogue,
      {
          {"ginfo width, height, bits", "ginfo(5, c); out(info[0] * 10000 + info[1] * 100 + info[2]);",
           "40324"},
          {"ginfo row step", "out(info[4]);", "-12"},
          {"the top row's address",
           "q = info[3]; q[3] = 0x11; q[4] = 0x22; q[5] = 0x33; out(getpixel(5, 1, 0));", "3351057"},
          {"one row down is one row step on", "q = info[3] + info[4]; q[0] = 0xFF; out(getpixel(5, 0, 1));",
           "255"},
          {"the bottom row", "q = info[3] + info[4] * 2; q[11] = 0x80; out(getpixel(5, 3, 2));", "8388608"},
          {"an 8-bit pixel and its colour-table entry",
           "ginfo(6, c); q = info[3]; q[2] = 7; t = info[5]; t[7] = 0x123456; out(getpixel(6, 2, 0));",
           "1193046"},
          {"outside the plane",
           "out(getpixel(6, 4, 0) + getpixel(6, -1, 0) + getpixel(6, 0, 4) + getpixel(9, 0, 0));", "0"},
          {"a 0 x 0 plane has no top row",
           "galloc(7, 0, 0, 32); ginfo(7, c); out(info[3] * 10 + (info[5] != 0));", "1"},
          {"a null record writes nothing", "out(ginfo(5, 0));", "1"},
          {"an empty slot gives zeros",
           "memset(c, 1, 24); r = ginfo(9, c);\n"
           "  out(info[0] + info[1] + info[2] + info[3] + info[4] + info[5] + r);",
           "1"},
          {"a rewritten header changes no geometry",
           "ginfo(6, c); t = info[5] - 40; t[1] = 100000; t[2] = -100000; t[3] = 0x200001;\n"
           "  ginfo(6, c); r = (getpixel(6, 99, 0) == 0) * 1000000;\n"
           "  out(r + info[0] * 10000 + info[1] * 100 + info[2]);",
           "1040408"},
          {"and the colour table keeps its size", "out(gsetpal(6, 0, 300, b) + ggetpal(6, 0, 300, c));",
           "512"},
      });
  // What the script wrote is what the host reads.
  EXPECT_EQ(gfx::getpixel(5, 1, 0), 0x332211);
  EXPECT_EQ(gfx::plane_width(gfx::plane_get(6)), 4);
}

TEST_F(PlaneBuiltins, PalettesThroughScriptBuffers) {
  run_cases(kGlobals, kPrelude + std::string(" galloc(5, 4, 3, 24); galloc(6, 4, 4, 8);"), kEpilogue,
            {
                {"gsetpal(-1, 250, 10) copies 6",
                 "for (i = 0; i < 10; i++) ip[i] = 100 + i; out(gsetpal(-1, 250, 10, b));", "6"},
                {"into the working palette",
                 "out((pal_get(249) != 100) * 1000000 + pal_get(250) * 1000 + pal_get(255));", "1100105"},
                {"ggetpal(-1) reads them back",
                 "memset(c, 0, 64); r = ggetpal(-1, 252, 10, c); out(r * 1000 + info[3] + info[4]);", "4105"},
                {"gsetpal on a 24-bit plane", "out(gsetpal(5, 0, 1, b) + ggetpal(5, 0, 1, c));", "0"},
                {"gsetpal on an 8-bit plane changes its pixels",
                 "ip[0] = 0xABCDEF; ginfo(6, c); q = info[3]; q[2] = 7;\n"
                 "  r = gsetpal(6, 7, 1, b); out(r * 100000000 + getpixel(6, 2, 0));",
                 "111259375"},
                {"ggetpal of an 8-bit plane stops at its table's end",
                 "r = ggetpal(6, 250, 10, c); out(r * 10 + (info[5] == 0xFFFFFF));", "61"},
                {"first above 255 or count 0",
                 "out(ggetpal(-1, 256, 1, c) + gsetpal(-1, 0, 0, b) + ggetpal(6, -1, 4, c));", "0"},
                {"pal_set and pal_get",
                 "r = pal_set(3, 0x010203) + pal_set(256, 1) * 10;\n"
                 "  out(r + (pal_get(3) == 0x010203) * 100 + pal_get(256));",
                 "101"},
                {"pal_sets copies what fits",
                 "for (i = 0; i < 10; i++) ip[i] = 200 + i;\n"
                 "  r = pal_sets(250, 10, b); out(r * 1000 + pal_get(255));",
                 "1205"},
                {"pal_sets limits",
                 "out(pal_sets(256, 1, b) + pal_sets(0, 0, b) * 10 + pal_sets(0, -1, b) * 100);", "0"},
                {"pal_gets", "memset(c, 0, 64); r = pal_gets(254, 5, c); out(r * 1000 + info[1] + info[2]);",
                 "1205"},
                {"pal_load from a plane's table",
                 "r = pal_load(6, 0, 7, 2); out(r * 10 + (pal_get(0) == 0xABCDEF));", "21"},
                {"pal_load of a 24-bit plane", "out(pal_load(5, 0, 0, 1));", "0"},
                {"pal_change", "out(pal_change());", "1"},
                {"pal_map", "for (i = 0; i < 256; i++) ip[i] = 0; out(pal_map(b) * 10 + pal_map(0));", "10"},
                {"rgbtohsv of green", "out(rgbtohsv(0x00FF00) >> 16);", "682"},
                {"hsvtorgb of grey", "out(hsvtorgb(0x80));", "8421504"},
            });
  EXPECT_EQ(gfx::current_palette()[0], 0xABCDEFu);  // published by pal_change
  EXPECT_EQ(gfx::inverse_colour_map()[12345], 1);   // all-black palette: index 1 everywhere
}

TEST_F(PlaneBuiltins, UnusableBuffersFailWithoutAFault) {
  run_cases(kGlobals, kPrelude + std::string(" galloc(5, 64, 64, 32);"), kEpilogue,
            {
                {"galloc target", "out(galloc(0x8000, 1, 1, 8) + galloc(0xFFFFFF00, 1, 1, 8));", "0"},
                {"ginfo record", "out(ginfo(5, 16) + ginfo(5, 0xFFFFFFF0));", "0"},
                {"gclip rectangle", "out(gclip(5, 16) + gclip(5, 0xFFFFFFF8));", "0"},
                {"ggetpal destination", "out(ggetpal(-1, 0, 4, 16) + ggetpal(-1, 0, 256, 0xFFFFFF00));", "0"},
                {"gsetpal source", "out(gsetpal(-1, 0, 4, 16) + gsetpal(-1, 0, 256, 0xFFFFFF00));", "0"},
                {"pal_sets source", "out(pal_sets(0, 4, 16) + pal_sets(0, 256, 0xFFFFFF00));", "0"},
                {"pal_gets destination", "out(pal_gets(0, 4, 16) + pal_gets(0, 256, 0xFFFFFF00));", "0"},
                {"pal_map palette", "out(pal_map(16) + pal_map(0xFFFFFF00));", "0"},
                {"nothing was changed", "out(pal_get(0) + pal_get(1) * 1000);", "85000"},
                {"gclip with a rectangle",
                 "ip[0] = 100; ip[1] = 50; ip[2] = 10; ip[3] = 5; out(gclip(5, b) + gclip(9, 0) * 10);", "1"},
            });
  EXPECT_EQ(gfx::plane_get(1023), nullptr);
  const gfx::Rect clip = gfx::plane_get(5)->clip;
  EXPECT_EQ(clip.left, 10);
  EXPECT_EQ(clip.top, 5);
  EXPECT_EQ(clip.right, 64);
  EXPECT_EQ(clip.bottom, 50);
}

TEST_F(PlaneBuiltins, PageAndCreationFailuresAreReported) {
  ASSERT_TRUE(
      run("int main() {\n"
          "  galloc(3, 2, 2, 8);\n"
          "  out(vpage(1024)); out(apage(-1)); out(vpage(4)); out(apage(4)); out(vpage(3)); out(apage(3));\n"
          "  out(galloc(3, 2, 2, 9));\n"
          "  return 0;\n}\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "1", "1", "0"}));
  std::vector<std::string> shown;
  for (const std::string& m : messages()) shown.push_back(cp932::to_utf8(m));
  EXPECT_EQ(shown,
            (Lines{"SetViewPage : パラメータが範囲外です。", "SetActivePage : パラメータが範囲外です。",
                   "CreatePlane : 仮想画面の作成に失敗しました。"}));
  EXPECT_EQ(gfx::view_page(), 3u);
  EXPECT_EQ(gfx::active_page(), 3u);
  EXPECT_EQ(gfx::plane_get(3), nullptr);  // the old plane went before the failed one
}

}  // namespace
}  // namespace zelt::hosttest
