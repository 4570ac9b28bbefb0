// Font and text built-ins called from scripts: descriptions through script
// memory, the current slot, unusable addresses, the font list's entries and
// the cut of formatted text.
#include <algorithm>

#include "builtins/graphics_script_cases.h"
#include "core/cp932.h"
#include "core/script_memory.h"
#include "gfx/text/font_slots.h"

namespace zelt::hosttest {
namespace {

// b: a 48-byte description (face "Arial", height -20, angle 900, flags 5,
// weight 300) and room for reading one back at b + 64.
const char* kGlobals = "int b; int *ip; char *cp; int r;\n";
const char* kPrelude =
    "b = malloc(4096); ip = b; cp = b; memset(b, 0, 4096); strcpy(b, \"Arial\");\n"
    "  ip[8] = -20; ip[9] = 900; ip[10] = 5; ip[11] = 300; galloc(1, 64, 32, 8);";
const char* kEpilogue = "free(b);";

class FontBuiltins : public GraphicsScriptCases {
 protected:
  void SetUp() override {
    GraphicsScriptCases::SetUp();
    gfx::kFontsSubsystem.start();
  }
  void TearDown() override {
    gfx::kFontsSubsystem.stop();
    GraphicsScriptCases::TearDown();
  }
};

TEST_F(FontBuiltins, DescriptionsSlotsAndAddresses) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"font_set copies the description", "out(font_set(3, b));", "1"},
                {"font_get copies it back", "r = font_get(3, b + 64); out(r * 1000 + memcmp(b, b + 64, 48));", "1000"},
                {"slot 32, a null or unusable address", "out(font_set(32, b) + font_set(0, 0) + font_get(0, 0) + font_set(0, -4));",
                 "0"},
                {"the initial description", "font_get(0, b + 64); out(ip[24] * 1000 + (cp[64] & 255));", "16130"},
                {"gtext with the current slot", "out(gtext(1, 0, 0, 1, \"A\"));", "1"},
                {"font_use answers 1 and a slot above 31 fails the drawing",
                 "r = font_use(32); out(r * 10 + gtext(1, 0, 0, 1, \"A\"));", "10"},
                {"only the low byte counts", "font_use(256 + 3); out(gtext(1, 0, 0, 1, \"A\"));", "1"},
                {"no string, an unusable one, no plane",
                 "out(gtext(1, 0, 0, 1, 0) + gtext(1, 0, 0, 1, -4) + gtext(99, 0, 0, 1, \"A\"));", "0"},
                {"gtextf formats", "out(gtextf(1, 0, 0, 1, \"%d-%s\", 42, \"x\"));", "1"},
            });
}

TEST_F(FontBuiltins, FontListFillsEntriesUpToTheMaximum) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"none asked", "out(font_list(b, 0) + font_list(b, -1));", "0"},
                {"one asked", "out(font_list(b, 1));", "1"},
                {"several, each zero-terminated within its 32 bytes",
                 "r = font_list(b, 100); out((r > 1) * 10 + (cp[31] == 0) * (cp[32 * r - 1] == 0));", "11"},
                {"an unusable buffer", "out(font_list(-64, 100));", "0"},
            });
}

// Formatted text is cut to 1023 bytes: the picture equals the first 1023
// characters drawn with gtext and differs from 1024 of them.
TEST_F(FontBuiltins, FormattedTextIsCutTo1023Bytes) {
  run_cases(kGlobals, "b = malloc(2048); memset(b, 87, 2047); cp = b; cp[2047] = 0; ip = malloc(48);\n"
                      "  memset(ip, 0, 48); strcpy(ip, \"Arial\"); ip[8] = -4; font_set(0, ip); free(ip);\n"
                      "  galloc(1, 5000, 6, 8); galloc(2, 5000, 6, 8); galloc(3, 5000, 6, 8);",
            kEpilogue,
            {
                {"1500 characters through gtextf", "out(gtextf(1, 0, 0, 1, \"%s\", b));", "1"},
                {"1023 through gtext", "cp[1023] = 0; out(gtext(2, 0, 0, 1, b));", "1"},
                {"1024 through gtext", "cp[1023] = 87; cp[1024] = 0; out(gtext(3, 0, 0, 1, b));", "1"},
            });
  auto picture = [](uint32_t handle) {
    const std::span<uint8_t> p = gfx::plane_pixels(*gfx::plane_get(handle));
    return std::vector<uint8_t>(p.begin(), p.end());
  };
  EXPECT_EQ(picture(1), picture(2));
  EXPECT_NE(picture(1), picture(3));
}

}  // namespace
}  // namespace zelt::hosttest
