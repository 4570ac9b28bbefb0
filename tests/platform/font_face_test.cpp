// Fonts for titles' text, with the fonts scripts/setup-deps installs (IPA
// Gothic/Mincho and Liberation at pinned versions). Figures that depend on a
// face's metrics say which; a font package update that changes them shows
// here first: check the new metrics and update the figure with its reason.
#include "platform/font_face.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/cp932.h"

namespace zelt::platform {
namespace {

std::string sjis(const char* utf8) { return cp932::from_utf8(utf8); }

FontRequest request(const char* face_utf8, int height) {
  FontRequest r;
  r.face = sjis(face_utf8);
  r.height = height;
  return r;
}

std::unique_ptr<Font> make(const FontRequest& r) {
  auto font = Font::make(r);
  if (!font) ADD_FAILURE() << "no font for " << cp932::to_utf8(r.face);
  return font;
}

struct Box {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // inclusive
  bool empty() const { return left > right; }
};

// A 1-bit canvas; `guard` extra bytes on each side of every row and extra
// rows above and below stay outside the target and must stay clear.
class Canvas {
 public:
  Canvas(int width, int height, int guard = 0)
      : width_(width), height_(height), guard_(guard), stride_((width + 7) / 8 + 2 * guard),
        bytes_(static_cast<size_t>(stride_) * (height + 2 * guard), 0) {}

  MonoTarget target() {
    return {bytes_.data() + static_cast<size_t>(guard_) * stride_ + guard_, width_, height_, stride_};
  }
  // A byte-aligned window of the canvas as a target of its own.
  MonoTarget window(int left8, int top, int width, int height) {
    MonoTarget t = target();
    return {t.bits + static_cast<size_t>(top) * stride_ + left8 / 8, width, height, stride_};
  }
  bool at(int x, int y) const {
    const size_t row = static_cast<size_t>(y + guard_) * stride_;
    const int bit = x + 8 * guard_;
    return bytes_[row + bit / 8] & (0x80 >> (bit % 8));
  }
  // Whether any bit outside the target is set (guard bytes, guard rows, and
  // the bits of the last target byte past the width).
  bool outside_set() const {
    for (int y = -guard_; y < height_ + guard_; ++y)
      for (int x = -8 * guard_; x < stride_ * 8 - 8 * guard_; ++x)
        if ((x < 0 || x >= width_ || y < 0 || y >= height_) && at(x, y)) return true;
    return false;
  }
  Box ink() const {
    Box b;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x)
        if (at(x, y)) b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
    return b;
  }
  int count() const {
    int n = 0;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) n += at(x, y);
    return n;
  }
  bool operator==(const Canvas& o) const { return bytes_ == o.bytes_; }
  std::string dump() const {
    std::string s = "\n";
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) s += at(x, y) ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_, guard_, stride_;
  std::vector<uint8_t> bytes_;
};

Canvas drawn(Font& font, const std::string& text, int w, int h, int x, int y) {
  Canvas c(w, h);
  font.draw(c.target(), x, y, text);
  return c;
}

// IPAGothic: usWinAscent 1802, usWinDescent 401, 2048 units per em; its
// full-width characters are one em wide, ASCII and half-width katakana half.
TEST(FontFace, GdiHeights) {
  struct Case {
    int height;
    int em;  // the full-width advance
    int cy;
    int ascent;
  } cases[] = {
      {-24, 24, 26, 21},   // em 24: ascent 21.1, descent 4.7
      {26, 24, 26, 21},    // cell 26: em 26 * 2048 / 2203 = 24.2
      {24, 22, 24, 20},    // cell 24: em 22.3, ascent 19.6
      {0, 15, 16, 13},     // the default cell of 16
      {-1, 1, 1, 1},
      {100000, 3808, 4096, 3350},  // cell capped at 4096
      {INT_MAX, 3808, 4096, 3350},
      {-100000, 4096, 4406, 3604},  // em capped at 4096
      {INT_MIN, 4096, 4406, 3604},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    auto font = make(request("ＭＳ ゴシック", c.height));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->extent(sjis("漢")).cx, c.em);
    EXPECT_EQ(font->extent(sjis("漢")).cy, c.cy);
    EXPECT_EQ(font->ascent(), c.ascent);
  }
}

TEST(FontFace, ExtentSumsHintedAdvances) {
  auto gothic = make(request("ＭＳ ゴシック", -24));
  struct Case {
    const char* text;
    int cx;
  } cases[] = {
      {"", 0},
      {"A", 12},
      {"あいう漢字", 120},
      {"ｱｲｳ", 36},  // half-width katakana: one byte each
      {"Aあｱ ", 60},
  };
  for (const Case& c : cases) EXPECT_EQ(gothic->extent(sjis(c.text)).cx, c.cx) << c.text;

  // A proportional face: each character its own width, the string the sum.
  auto arial = make(request("Arial", -24));
  const int i = arial->extent("i").cx, w = arial->extent("W").cx;
  EXPECT_GT(w, i);
  EXPECT_EQ(arial->extent("WiWi").cx, 2 * (w + i));
  EXPECT_EQ(arial->extent("WiWi").cy, arial->extent("").cy);
}

// Broken or unassigned double-byte characters are one missing glyph each
// (a lead byte takes whatever byte follows it), never a crash.
TEST(FontFace, BrokenDoubleByteCharactersDrawTheMissingGlyph) {
  auto font = make(request("ＭＳ ゴシック", -24));
  const int missing = font->extent("\x82").cx;  // lead byte as the last byte
  EXPECT_GT(missing, 0);
  struct Case {
    std::string text;
    int cx;
  } cases[] = {
      {"\x82\x20", missing},               // a space as trail byte is eaten
      {"\x85\x40", missing},               // well formed, unassigned
      {"\xFD", missing},                   // no character in the code page
      {sjis("あ") + "\x82", 24 + missing},
      {"A\x82\x0A" "B", 12 + missing + 12},
  };
  for (const Case& c : cases) EXPECT_EQ(font->extent(c.text).cx, c.cx) << cp932::to_utf8(c.text);

  const Canvas box = drawn(*font, "\x85\x40", 40, 40, 0, 0);
  EXPECT_FALSE(box.ink().empty()) << "the missing glyph is visible";
  EXPECT_TRUE(drawn(*font, "\x82\x20", 40, 40, 0, 0) == box);
}

// The Windows names reach the installed faces they stand for: the same
// pixels as asking for the installed face itself.
TEST(FontFace, WindowsNamesReachInstalledFaces) {
  struct Case {
    const char* name;
    const char* installed;
  } cases[] = {
      {"ＭＳ ゴシック", "IPAGothic"},   {"MS Gothic", "IPAGothic"},        {"ms gothic", "IPAGothic"},
      {"MS ゴシック", "IPAGothic"},     {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
      {"ＭＳ 明朝", "IPAMincho"},       {"MS Mincho", "IPAMincho"},        {"ＭＳ Ｐ明朝", "IPAPMincho"},
      {"MS UI Gothic", "IPAPGothic"},   {"メイリオ", "IPAPGothic"},        {"Arial", "Liberation Sans"},
      {"ARIAL", "Liberation Sans"},     {"Times New Roman", "Liberation Serif"},
      {"Courier New", "Liberation Mono"},
  };
  const std::string text = sjis("Wgiあア漢");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto alias = make(request(c.name, -20)), face = make(request(c.installed, -20));
    ASSERT_TRUE(alias && face);
    EXPECT_TRUE(drawn(*alias, text, 200, 30, 0, 0) == drawn(*face, text, 200, 30, 0, 0));
  }
  // The faces differ from each other, so the comparison above means something.
  auto gothic = make(request("ＭＳ ゴシック", -20)), mincho = make(request("ＭＳ 明朝", -20));
  EXPECT_FALSE(drawn(*gothic, text, 200, 30, 0, 0) == drawn(*mincho, text, 200, 30, 0, 0));
}

// A name nobody installed, and a Latin face, still draw Japanese text: the
// kanji, not the missing glyph.
TEST(FontFace, JapaneseTextAlwaysHasGlyphs) {
  const std::string kanji = sjis("漢");
  for (const char* name : {"No Such Face", "", "ＨＧ丸ゴシックM-PRO", "Arial", "Courier New"}) {
    SCOPED_TRACE(name);
    auto font = make(request(name, -24));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->extent(kanji).cx, 24);
    const Canvas glyph = drawn(*font, kanji, 40, 40, 0, 0);
    EXPECT_GT(glyph.count(), 60) << glyph.dump();
    EXPECT_FALSE(glyph == drawn(*font, "\x85\x40", 40, 40, 0, 0));
  }
}

TEST(FontFace, GlyphsSitOnTheBaselineOneAscentDown) {
  auto font = make(request("Arial", -24));
  const Canvas c = drawn(*font, "HH", 60, 40, 7, 5);
  const Box ink = c.ink();
  EXPECT_EQ(ink.bottom, 5 + font->ascent() - 1) << c.dump();
  EXPECT_GE(ink.left, 7);
  EXPECT_LE(ink.right, 7 + font->extent("HH").cx - 1);
  EXPECT_GE(ink.top, 5);
}

// Pixel (dx, dy) from the reference point, turned by quarter turns
// counter-clockwise on screen.
std::pair<int, int> turned(int dx, int dy, int quarters) {
  for (int q = 0; q < quarters; ++q) std::tie(dx, dy) = std::pair{dy, -dx - 1};
  return {dx, dy};
}

// Quarter turns: the ink lies in the quadrant of the turned cell around the
// reference point and is exactly the unturned ink turned, underline and
// strike-out included.
TEST(FontFace, EscapementTurnsAroundTheReferencePoint) {
  const std::string text = sjis("口Lあ");
  FontRequest r = request("ＭＳ ゴシック", -20);
  r.underline = r.strike_out = true;
  auto flat = make(r);
  const TextExtent e = flat->extent(text);
  const int size = 160, x = 80, y = 80;
  const Canvas upright = drawn(*flat, text, size, size, x, y);
  struct Case {
    int escapement;
    int quarters;
    Box cell;  // the turned cell, inclusive
  } cases[] = {
      {0, 0, {x, y, x + e.cx - 1, y + e.cy - 1}},
      {900, 1, {x, y - e.cx, x + e.cy - 1, y - 1}},
      {1800, 2, {x - e.cx, y - e.cy, x - 1, y - 1}},
      {2700, 3, {x - e.cy, y, x - 1, y + e.cx - 1}},
      {-900, 3, {x - e.cy, y, x - 1, y + e.cx - 1}},
      {4500, 1, {x, y - e.cx, x + e.cy - 1, y - 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escapement);
    r.escapement = c.escapement;
    auto font = make(r);
    EXPECT_EQ(font->extent(text).cx, e.cx) << "extent is unturned";
    const Canvas turn = drawn(*font, text, size, size, x, y);
    const Box ink = turn.ink();
    EXPECT_GE(ink.left, c.cell.left);
    EXPECT_GE(ink.top, c.cell.top);
    EXPECT_LE(ink.right, c.cell.right);
    EXPECT_LE(ink.bottom, c.cell.bottom);
    int differ = 0;
    for (int py = 0; py < size; ++py)
      for (int px = 0; px < size; ++px) {
        if (!upright.at(px, py)) continue;
        const auto [tx, ty] = turned(px - x, py - y, c.quarters);
        differ += !turn.at(x + tx, y + ty);
      }
    EXPECT_EQ(differ, 0) << turn.dump();
    EXPECT_EQ(turn.count(), upright.count());
  }
}

// Other angles: the ink stays inside the turned cell's bounding box (plus a
// pixel of rounding) and the whole string is drawn.
TEST(FontFace, EscapementAtOtherAngles) {
  const std::string text = sjis("漢字ABC");
  FontRequest r = request("ＭＳ ゴシック", -16);
  r.underline = true;
  const int size = 120, x = 60, y = 60;
  const int upright_count = drawn(*make(r), text, size, size, x, y).count();
  for (int escapement : {300, 450, 1350, 2250, 3150, 3599}) {
    SCOPED_TRACE(escapement);
    r.escapement = escapement;
    auto font = make(r);
    const TextExtent e = font->extent(text);
    const double a = escapement * 3.1415926536 / 1800, s = std::sin(a), co = std::cos(a);
    double left = 0, top = 0, right = 0, bottom = 0;
    for (double u : {0.0, double(e.cx)})
      for (double v : {0.0, double(e.cy)}) {
        left = std::min(left, u * co + v * s), right = std::max(right, u * co + v * s);
        top = std::min(top, -u * s + v * co), bottom = std::max(bottom, -u * s + v * co);
      }
    const Canvas c = drawn(*font, text, size, size, x, y);
    const Box ink = c.ink();
    EXPECT_GE(ink.left, x + left - 1);
    EXPECT_GE(ink.top, y + top - 1);
    EXPECT_LE(ink.right, x + right + 1);
    EXPECT_LE(ink.bottom, y + bottom + 1);
    EXPECT_NEAR(c.count(), upright_count, upright_count / 8) << c.dump();
  }
}

// Bold: a face without a bold style is emboldened and each advance widens by
// em / 24 (at least a pixel); a face with one is used as it is.
TEST(FontFace, BoldWidens) {
  for (int em : {16, 24, 96}) {
    SCOPED_TRACE(em);
    FontRequest r = request("ＭＳ ゴシック", -em);
    auto regular = make(r);
    r.weight = 700;
    auto bold = make(r);
    const int widen = std::max(1, (em * 64 / 24 + 32) / 64);
    EXPECT_EQ(bold->extent(sjis("あい")).cx, 2 * (em + widen));
    EXPECT_GT(drawn(*bold, sjis("あい"), 4 * em, 2 * em, 0, 0).count(),
              drawn(*regular, sjis("あい"), 4 * em, 2 * em, 0, 0).count() * 11 / 10);
  }
  FontRequest r = request("ＭＳ ゴシック", -24);
  r.weight = 599;
  EXPECT_EQ(make(r)->extent(sjis("あ")).cx, 24) << "below 600 is not bold";

  // Liberation has a bold face: its own advances, not the regular ones
  // widened (its "i" is 569 units, the regular one's 455).
  FontRequest a = request("Arial", -24);
  a.weight = 700;
  auto arial_bold = make(a), liberation_bold = [&] {
    FontRequest l = a;
    l.face = "Liberation Sans";
    return make(l);
  }();
  EXPECT_TRUE(drawn(*arial_bold, "Bold m", 120, 30, 0, 0) == drawn(*liberation_bold, "Bold m", 120, 30, 0, 0));
  a.weight = 400;
  EXPECT_EQ(make(a)->extent("iiii").cx, 20);
  EXPECT_EQ(arial_bold->extent("iiii").cx, 28);
}

// The ink of the topmost row lies right of the ink of the bottom row.
double lean(const Canvas& c) {
  const Box b = c.ink();
  auto centre = [&](int y) {
    double sum = 0;
    int n = 0;
    for (int x = 0; x < c.width(); ++x)
      if (c.at(x, y)) sum += x, ++n;
    return sum / n;
  };
  return centre(b.top) - centre(b.bottom);
}

TEST(FontFace, ItalicLeans) {
  for (const char* face : {"ＭＳ ゴシック", "Arial"}) {  // sheared, and an italic face
    SCOPED_TRACE(face);
    FontRequest r = request(face, -40);
    const Canvas upright = drawn(*make(r), "I", 40, 50, 10, 0);
    r.italic = true;
    auto italic = make(r);
    const Canvas leaning = drawn(*italic, "I", 40, 50, 10, 0);
    EXPECT_NEAR(lean(upright), 0, 1) << upright.dump();
    EXPECT_GT(lean(leaning), 4) << leaning.dump();
    EXPECT_EQ(italic->extent(sjis("あ")).cx, 40) << "leaning does not widen";
  }
}

// Underline and strike-out: bars over the whole advance, at least a pixel
// thick, below and above the baseline; spaces show them alone.
TEST(FontFace, UnderlineAndStrikeOutBars) {
  struct Case {
    const char* face;
    int height;
    bool underline;
  } cases[] = {{"Arial", -24, true},   {"Arial", -24, false},  {"ＭＳ ゴシック", -10, true},
               {"ＭＳ ゴシック", -10, false}, {"ＭＳ 明朝", -200, true}, {"ＭＳ 明朝", -200, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.face) + " " + std::to_string(c.height) + (c.underline ? " underline" : " strike"));
    FontRequest r = request(c.face, c.height);
    (c.underline ? r.underline : r.strike_out) = true;
    auto font = make(r);
    const int cx = font->extent("   ").cx, cy = font->extent("").cy, baseline = 3 + font->ascent();
    const Canvas bar = drawn(*font, "   ", cx + 10, cy + 10, 5, 3);
    const Box ink = bar.ink();
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(ink.left, 5);
    EXPECT_EQ(ink.right, 5 + cx - 1);
    EXPECT_EQ(bar.count(), cx * (ink.bottom - ink.top + 1)) << "a solid bar";
    if (c.underline) {
      EXPECT_GE(ink.top, baseline);
      EXPECT_LT(ink.bottom, 3 + cy);
    } else {
      EXPECT_LT(ink.bottom, baseline);
      EXPECT_GT(ink.top, 3);
    }
  }
}

// Drawing into a window of a larger picture sets exactly the pixels of the
// full drawing that fall inside the window and nothing around it, for text
// crossing every edge.
TEST(FontFace, ClippedDrawingIsTheFullDrawingCut) {
  const std::string text = sjis("漢字 Clip あ");
  struct Case {
    int escapement;
    bool italic;
  } styles[] = {{0, false}, {0, true}, {900, false}, {1800, true}, {2700, false}, {450, false}, {3300, true}};
  struct Window {
    int left8, top, width, height;
  } windows[] = {{16, 10, 40, 30}, {0, 0, 13, 7}, {48, 40, 77, 50}, {24, 0, 9, 120}, {0, 55, 160, 3}};
  for (const auto& s : styles) {
    FontRequest r = request("ＭＳ ゴシック", -18);
    r.escapement = s.escapement;
    r.italic = s.italic;
    r.underline = r.strike_out = true;
    auto font = make(r);
    for (const Window& w : windows) {
      SCOPED_TRACE(testing::Message() << s.escapement << (s.italic ? " italic" : "") << " window " << w.left8
                                      << "," << w.top << " " << w.width << "x" << w.height);
      for (auto [x, y] : {std::pair{40, 45}, std::pair{5, 90}, std::pair{110, 20}}) {
        Canvas full(160, 120, 2), cut(160, 120, 2);
        font->draw(full.target(), x, y, text);
        font->draw(cut.window(w.left8, w.top, w.width, w.height), x - w.left8, y - w.top, text);
        int wrong = 0;
        for (int py = -2; py < 122; ++py)
          for (int px = -16; px < 176; ++px) {
            const bool inside = px >= w.left8 && px < w.left8 + w.width && py >= w.top && py < w.top + w.height;
            const bool on_canvas = px >= 0 && px < 160 && py >= 0 && py < 120;
            const bool want = inside && on_canvas && full.at(px, py);
            wrong += cut.at(px, py) != want;
          }
        EXPECT_EQ(wrong, 0) << "at " << x << "," << y;
      }
    }
  }
}

// Reference points anywhere in int range: nothing is drawn outside the
// target, nothing overflows; text that reaches the target from far away is
// drawn where it belongs.
TEST(FontFace, ReferencePointsFarAway) {
  const std::string text = sjis("遠い");
  const int far[] = {INT_MIN, INT_MIN + 1, -1000000000, -70000, 70000, 1000000000, INT_MAX - 1, INT_MAX};
  for (int escapement : {0, 900, 1800, 2700, 450}) {
    FontRequest r = request("ＭＳ ゴシック", -24);
    r.escapement = escapement;
    r.underline = r.strike_out = r.italic = true;
    r.weight = 900;
    auto font = make(r);
    for (int x : far)
      for (int y : {INT_MIN, -5, 10, INT_MAX}) {
        Canvas c(64, 48, 2);
        font->draw(c.target(), x, y, text);
        font->draw(c.target(), y, x, text);
        EXPECT_EQ(c.count(), 0) << escapement << " at " << x << "," << y;
        EXPECT_FALSE(c.outside_set());
      }
  }
  // A long underline from far left still crosses the target.
  FontRequest r = request("ＭＳ ゴシック", -24);
  r.underline = true;
  auto font = make(r);
  const std::string spaces(100000, ' ');
  Canvas c(64, 48, 2);
  font->draw(c.target(), -12 * 100000 + 32, 0, spaces);
  const Box ink = c.ink();
  EXPECT_EQ(ink.left, 0);
  EXPECT_EQ(ink.right, 31);
  EXPECT_FALSE(c.outside_set());
}

// 100 KB of text: measured and drawn whole; only what reaches the target
// is drawn.
TEST(FontFace, LongStrings) {
  auto font = make(request("ＭＳ ゴシック", -24));
  std::string kanji;
  for (int i = 0; i < 50000; ++i) kanji += sjis(i % 2 ? "漢" : "字");
  EXPECT_EQ(font->extent(kanji).cx, 50000 * 24);
  std::string bytes(100000, '\0');
  uint32_t seed = 1;
  for (char& b : bytes) b = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  EXPECT_GT(font->extent(bytes).cx, 0);
  for (const std::string* text : {&kanji, &bytes}) {
    Canvas c(100, 30, 2);
    font->draw(c.target(), 0, 0, *text);
    EXPECT_FALSE(c.outside_set());
  }
  Canvas c(100, 30, 2);
  font->draw(c.target(), 0, 0, kanji);
  EXPECT_TRUE(c == [&] {
    Canvas head(100, 30, 2);
    font->draw(head.target(), 0, 0, kanji.substr(0, 10));
    return head;
  }()) << "the first characters, as alone";
}

// Absurd heights render at the capped size: a glyph of 4096 pixels, drawn
// partly into a small target.
TEST(FontFace, CappedHeightsDraw) {
  for (int height : {INT_MIN, INT_MAX, -100000}) {
    for (int escapement : {0, 450}) {
      SCOPED_TRACE(testing::Message() << height << " at " << escapement);
      FontRequest r = request("ＭＳ ゴシック", height);
      r.escapement = escapement;
      r.underline = true;
      auto font = make(r);
      // The reference point that puts the middle of the cell at (32, 32).
      const TextExtent e = font->extent(sjis("■"));
      const double a = escapement * 3.1415926536 / 1800, u = e.cx / 2.0, v = e.cy / 2.0;
      const int x = static_cast<int>(32 - (u * std::cos(a) + v * std::sin(a)));
      const int y = static_cast<int>(32 - (-u * std::sin(a) + v * std::cos(a)));
      Canvas c(64, 64, 2);
      font->draw(c.target(), x, y, sjis("■"));
      EXPECT_EQ(c.count(), 64 * 64);
      EXPECT_FALSE(c.outside_set());
    }
  }
}

// The font list: the Windows Japanese names whose fonts are installed first,
// then the installed Japanese faces, each once, none vertical, in code page
// 932, the same order every time; every name makes a font.
TEST(FontFace, JapaneseFaceNames) {
  const std::vector<std::string> names = japanese_face_names();
  const char* first[] = {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝", "MS UI Gothic", "メイリオ"};
  ASSERT_GT(names.size(), std::size(first));
  for (size_t i = 0; i < std::size(first); ++i) EXPECT_EQ(cp932::to_utf8(names[i]), first[i]);
  EXPECT_NE(std::find(names.begin(), names.end(), sjis("IPAゴシック")), names.end());
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(cp932::to_utf8(names[i]));
    EXPECT_NE(names[i][0], '@');
    EXPECT_TRUE(cp932::to_utf8_strict(names[i]).has_value());
    for (size_t j = 0; j < i; ++j) EXPECT_FALSE(cp932::equal_nocase(names[i], names[j]));
    FontRequest r;
    r.face = names[i];
    r.height = -20;
    auto font = make(r);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->extent(sjis("漢")).cx, 20);
  }
  EXPECT_EQ(japanese_face_names(), names);
}

}  // namespace
}  // namespace zelt::platform
