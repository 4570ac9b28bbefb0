// Text as it looks, compared exactly with pictures made once and checked by
// eye: Latin and Japanese faces, sharp and smooth, the styles, and turned
// text. golden/README says what to do when a font update changes them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gfx/text/text_fixture.h"

namespace zelt::gfx {
namespace {

struct GoldenCase {
  const char* name;
  const char* face;
  int32_t height;
  uint32_t flags;
  int32_t angle;
  const char* text;
};

const GoldenCase kCases[] = {
    {"latin_sharp", "Arial", -16, 0, 0, "Hello, zelt! 0123"},
    {"japanese_sharp", "ＭＳ ゴシック", -16, 0, 0, "日本語のテキスト、ｶﾀｶﾅ"},
    {"latin_smooth", "Times New Roman", -20, kFontSmooth, 0, "Smooth Ag"},
    {"japanese_smooth", "ＭＳ 明朝", -24, kFontSmooth, 0, "漢字かな"},
    {"styles_sharp", "ＭＳ Ｐゴシック", -16, kFontBold | kFontItalic | kFontUnderline | kFontStrikeOut, 0,
     "Style字"},
    {"styles_smooth", "Arial", -16, kFontSmooth | kFontBold | kFontItalic | kFontUnderline, 0, "Bold Ag"},
    {"courier_strike_sharp", "Courier New", -14, kFontStrikeOut, 0, "mono()"},
    {"angle900_sharp", "ＭＳ ゴシック", -16, 0, 900, "縦90"},
    {"angle2700_smooth", "Arial", -16, kFontSmooth, 2700, "Turn"},
    {"angle450_sharp", "ＭＳ ゴシック", -14, 0, 450, "斜めAB"},
};

std::string golden_dir() { return std::string(ZELT_SOURCE_DIR) + "/tests/gfx/text/golden/"; }

class GoldenText : public TextFixture, public ::testing::WithParamInterface<GoldenCase> {
 protected:
  // The text drawn at (2, 2) into an 8-bit plane just larger than its box,
  // as text rows.
  std::string picture(const GoldenCase& c) {
    use(0, description(c.face, c.height, c.flags, c.angle));
    const std::string text = cp932::from_utf8(c.text);
    const platform::TextExtent e = font_made(0)->extent(text);
    const int32_t cx = e.cx + (c.flags & kFontItalic ? e.cy / 4 + 1 : 0);
    const TextBox box = text_box(cx, e.cy, c.angle);
    const bool smooth = c.flags & kFontSmooth;
    const int32_t scale = smooth ? kSmoothScale : 1;
    const int32_t width = (box.right - box.left) / scale + 6, height = (box.bottom - box.top) / scale + 6;
    make(1, width, height, 8);
    EXPECT_EQ(gtext(1, 2, 2, 1, text, 0, 2), 1);
    std::ostringstream out;
    const std::vector<uint32_t> px = pixels(1);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t v = px[y * width + x];
        if (smooth) {
          char hex[3];
          std::snprintf(hex, sizeof hex, "%02x", v);
          out << hex;
        } else {
          out << (v ? '#' : '.');
        }
      }
      out << '\n';
    }
    return out.str();
  }
};

TEST_P(GoldenText, MatchesItsPicture) {
  const GoldenCase& c = GetParam();
  const std::string got = picture(c);
  const std::string file = golden_dir() + c.name + ".txt";
  if (std::getenv("ZELT_UPDATE_GOLDEN")) {
    std::ofstream(file, std::ios::binary) << got;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  std::stringstream want;
  want << in.rdbuf();
  if (got != want.str()) {
    std::filesystem::create_directories("golden-actual");
    std::ofstream(std::string("golden-actual/") + c.name + ".txt", std::ios::binary) << got;
    ADD_FAILURE() << c.name << " differs from " << file << "; what was drawn is in golden-actual/" << c.name
                  << ".txt (see tests/gfx/text/golden/README)";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenText, ::testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace zelt::gfx
