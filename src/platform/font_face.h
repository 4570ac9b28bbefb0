// Fonts for titles' text: FreeType faces found through fontconfig, asked for
// in the terms of Windows logical fonts (face name, GDI height, escapement,
// weight, italic, underline, strike-out) and drawn as 1-bit glyphs, the way
// non-antialiased GDI text looks. Text comes in as code page 932 bytes; the
// conversion to Unicode happens here, at the font edge.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::platform {

// The largest em or cell height a font is rendered at; larger requests are
// rendered at this size (so an absurd height never allocates in proportion).
inline constexpr int kMaxFontPixelHeight = 4096;

struct FontRequest {
  std::string face;  // code page 932, as the title names it ("ＭＳ ゴシック")
  // Negative: the em height is -height. Positive: the cell height (ascent
  // plus descent) is height. 0: the default cell height of 16.
  int height = 16;
  int escapement = 0;  // tenths of a degree, counter-clockwise, taken modulo 3600
  int weight = 400;    // 1..1000; 600 and above is bold
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
};

struct TextExtent {
  int cx = 0;  // sum of the characters' advances, unrotated
  int cy = 0;  // the cell height: ascent + descent
};

// A 1-bit picture: rows top-down, `stride` bytes apart; bit 7 of a row's
// first byte is its leftmost pixel. draw() only ever sets bits.
struct MonoTarget {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

class Font {
 public:
  // The best installed match for the request: the Windows face names titles
  // use are mapped through an alias table, unknown names go to fontconfig's
  // choice with Japanese coverage. Null only when no font is installed at all.
  static std::unique_ptr<Font> make(const FontRequest& request);
  virtual ~Font() = default;

  // What GetTextExtentPoint32 measures: advances (hinted, whole pixels) of
  // every character of the code page 932 text, and the cell height.
  virtual TextExtent extent(std::string_view cp932_text) = 0;
  virtual int ascent() const = 0;

  // Sets every pixel the text covers, glyphs plus underline and strike-out,
  // turned by the escapement around the reference point (x, y): the top-left
  // corner of the unturned cell. x and y may lie far outside the target;
  // nothing outside it is touched.
  virtual void draw(const MonoTarget& target, int x, int y, std::string_view cp932_text) = 0;
};

// Face names for a font list, in code page 932: the alias names whose target
// is installed first, then the installed faces that cover Japanese and are
// not vertical ("@") faces, each once.
std::vector<std::string> japanese_face_names();

}  // namespace zelt::platform
