#include "platform/font_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "platform/font_names.h"

namespace zelt::platform {
namespace {

constexpr int kDefaultCellHeight = 16;

// Rendered glyphs kept per font. Text at title sizes needs a few kilobytes
// per glyph (a 24-pixel kanji is 72 bytes, at eight times that 4.6 KB), so a
// screen of dialogue stays cached; a 4096-pixel glyph alone is up to 2 MB
// (more when turned), so the cache is bounded by bytes as well as count.
// When either bound would be passed the cache starts over.
constexpr size_t kGlyphCacheBytes = size_t{4} << 20;
constexpr size_t kGlyphCacheCount = 2048;

// FreeType's oblique shear (tan 12 degrees in 16.16, as FT_GlyphSlot_Oblique).
constexpr FT_Fixed kObliqueShear = 0x0366A;

// Positive v is down the cell, as on screen; 26.6 values round to pixels.
constexpr int64_t round26(int64_t v) { return (v + 32) >> 6; }
int64_t round_half_up(double v) { return static_cast<int64_t>(std::floor(v + 0.5)); }

// The Unicode character of a code page 932 character code (a single byte, or
// lead << 8 | trail), or 0 when it has none.
char32_t decode(uint32_t code) {
  char bytes[2];
  size_t n = 0;
  if (code > 0xFF) bytes[n++] = static_cast<char>(code >> 8);
  bytes[n++] = static_cast<char>(code & 0xFF);
  const std::optional<std::string> utf8 = cp932::to_utf8_strict(std::string_view(bytes, n));
  if (!utf8 || utf8->empty()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8->data());
  const size_t len = utf8->size();
  if (p[0] < 0x80) return len == 1 ? p[0] : 0;
  const size_t expect = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : 2;
  if (len != expect) return 0;  // one character in, one character out
  char32_t c = p[0] & (0x7F >> expect);
  for (size_t k = 1; k < len; ++k) c = (c << 6) | (p[k] & 0x3F);
  return c;
}

// The character code at text[i] (see decode); advances i.
uint32_t next_code(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (cp932::char_length(text, i) == 2) {
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    i += 2;
    return uint32_t{lead} << 8 | trail;
  }
  ++i;
  return lead;
}

// A rendered glyph: rows top-down, `pitch` bytes apart, each row followed by
// one zero byte so that blitting may read a byte past a row's last pixel.
struct Glyph {
  int left = 0;  // pixels right of the pen position
  int top = 0;   // pixels below the pen position (negative: above)
  int width = 0;
  int rows = 0;
  int pitch = 0;  // bytes per row including the zero byte
  std::vector<uint8_t> bits;
};

// One face file at the font's size, and what it needs synthesised.
struct Face {
  FT_Face face = nullptr;
  bool embolden = false;
  bool oblique = false;
  FT_Pos bold_strength = 0;  // 26.6
  int bold_advance = 0;      // pixels each advance widens by when emboldened
  double ink_radius = 0;     // no pixel of a glyph lies farther from its pen position
};

// Per character code: how it was resolved, its advance, its cached glyph.
struct CodeSlot {
  bool resolved = false;
  bool fallback = false;  // drawn with the Japanese fallback face
  FT_UInt index = 0;
  int32_t advance = 0;
  uint32_t generation = 0;  // the glyph cache generation `glyph` belongs to
  uint32_t glyph = 0;
};

// ORs n bits of src, starting at bit sbit, into dst starting at bit dbit
// (bit 7 of a byte first). src must be readable one byte past the bits.
void or_bits(uint8_t* dst, int64_t dbit, const uint8_t* src, int64_t sbit, int64_t n) {
  uint8_t* d = dst + (dbit >> 3);
  if (const int doff = static_cast<int>(dbit & 7); doff != 0) {
    // The first destination byte, in part.
    const int take = static_cast<int>(std::min<int64_t>(8 - doff, n));
    const uint8_t* s = src + (sbit >> 3);
    const unsigned bits = ((unsigned{s[0]} << 8 | s[1]) << (sbit & 7) >> 8) & 0xFF;
    *d++ |= static_cast<uint8_t>((bits >> doff) & (0xFFu >> doff) & ~(0xFFu >> (doff + take)));
    sbit += take;
    n -= take;
  }
  // Whole destination bytes, each from eight source bits at a fixed shift.
  const uint8_t* s = src + (sbit >> 3);
  const unsigned sh = static_cast<unsigned>(sbit & 7);
  if (sh == 0) {
    for (; n >= 8; n -= 8) *d++ |= *s++;
  } else {
    for (; n >= 8; n -= 8, ++s) *d++ |= static_cast<uint8_t>(s[0] << sh | s[1] >> (8 - sh));
  }
  if (n > 0) {
    const unsigned bits = sh == 0 ? s[0] : (s[0] << sh | s[1] >> (8 - sh));
    *d |= static_cast<uint8_t>(bits & (0xFF00u >> n));
  }
}

// Sets bits [x0, x1) of a row.
void fill_bits(uint8_t* row, int64_t x0, int64_t x1) {
  while (x0 < x1 && (x0 & 7) != 0) {
    row[x0 >> 3] |= static_cast<uint8_t>(0x80u >> (x0 & 7));
    ++x0;
  }
  if (x0 + 8 <= x1) {
    std::memset(row + (x0 >> 3), 0xFF, static_cast<size_t>((x1 - x0) >> 3));
    x0 += (x1 - x0) & ~int64_t{7};
  }
  for (; x0 < x1; ++x0) row[x0 >> 3] |= static_cast<uint8_t>(0x80u >> (x0 & 7));
}

// One thread at a time uses a font (text is drawn under the built-in lock).
// Glyphs are hinted upright, emboldened, then leaned and turned by one
// outline transform (what FT_Set_Transform would do after loading, but with
// the emboldening before it), and rendered 1-bit.
class FreeTypeFont final : public Font {
 public:
  ~FreeTypeFont() override {
    for (Face* f : {&primary_, &fallback_}) {
      if (f->face) FT_Done_Face(f->face);
    }
    if (library_) FT_Done_FreeType(library_);
  }

  bool init(const FontRequest& request);

  TextExtent extent(std::string_view cp932_text) override {
    int64_t cx = 0;
    for (size_t i = 0; i < cp932_text.size();) cx += slot(next_code(cp932_text, i)).advance;
    return {static_cast<int>(std::min<int64_t>(cx, INT_MAX)), ascent_ + descent_};
  }

  int ascent() const override { return ascent_; }

  void draw(const MonoTarget& target, int x, int y, std::string_view cp932_text) override;

 private:
  bool open(Face& f, const font_names::FaceFile& file);
  void set_synthesis(Face& f);
  bool load(Face& f, FT_UInt index);
  CodeSlot& slot(uint32_t code);
  const Glyph& glyph(CodeSlot& s);
  void blit(const MonoTarget& target, const Glyph& g, int64_t gx, int64_t gy);
  void fill_bar(const MonoTarget& target, int x, int y, double u1, double v0, double v1);

  FT_Library library_ = nullptr;
  Face primary_;
  Face fallback_;
  std::string primary_path_;
  bool fallback_tried_ = false;
  int weight_ = 400;
  bool italic_ = false;
  int ppem_ = 0;
  int ascent_ = 0;
  int descent_ = 0;
  double cos_ = 1, sin_ = 0;
  FT_Matrix matrix_{0x10000, 0, 0, 0x10000};  // turn, without the oblique shear
  bool underline_ = false, strike_out_ = false;
  int underline_top_ = 0, underline_size_ = 0;  // below the baseline
  int strike_top_ = 0, strike_size_ = 0;
  std::array<std::unique_ptr<CodeSlot[]>, 256> pages_;  // by lead byte; 0 for single bytes
  std::vector<Glyph> glyphs_;
  size_t glyph_bytes_ = 0;
  uint32_t generation_ = 1;
};

bool FreeTypeFont::open(Face& f, const font_names::FaceFile& file) {
  if (file.path.empty()) return false;
  if (FT_New_Face(library_, file.path.c_str(), file.index, &f.face) != 0) {
    f.face = nullptr;
    return false;
  }
  if (!FT_IS_SCALABLE(f.face) || f.face->units_per_EM == 0) {
    FT_Done_Face(f.face);
    f.face = nullptr;
    return false;
  }
  return true;
}

// Real bold and italic faces are used as they are; a lighter or upright face
// is emboldened (FT_Outline_EmboldenXY, FT_GlyphSlot_Embolden's strength of
// em / 24) or sheared as FreeType's oblique does.
void FreeTypeFont::set_synthesis(Face& f) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_OS2));
  const int face_weight = os2 && os2->version != 0xFFFF ? os2->usWeightClass
                          : (f.face->style_flags & FT_STYLE_FLAG_BOLD) ? 700
                                                                       : 400;
  f.embolden = weight_ >= 600 && face_weight < 600;
  f.oblique = italic_ && !(f.face->style_flags & FT_STYLE_FLAG_ITALIC);
  f.bold_strength = f.embolden ? int64_t{ppem_} * 64 / 24 : 0;
  f.bold_advance = f.embolden ? std::max<int>(1, static_cast<int>(round26(f.bold_strength))) : 0;
  // The face's bounding box (or 1.5 em when it claims less) at this size,
  // leaned and emboldened, turned any way.
  const FT_BBox& b = f.face->bbox;
  const double units = std::max({std::abs(b.xMin), std::abs(b.xMax), std::abs(b.yMin), std::abs(b.yMax), 0L}) *
                       std::sqrt(2.0);
  const double px = std::max(units * ppem_ / f.face->units_per_EM, 1.5 * ppem_);
  f.ink_radius = px * (f.oblique ? 1.25 : 1.0) + f.bold_advance * 2 + 2;
}

bool FreeTypeFont::init(const FontRequest& request) {
  weight_ = request.weight <= 0 ? 400 : std::min(request.weight, 1000);
  italic_ = request.italic;
  underline_ = request.underline;
  strike_out_ = request.strike_out;
  const std::string_view face_name(request.face.data(), std::min(request.face.size(), request.face.find('\0')));
  const std::string utf8_name = cp932::to_utf8(face_name);
  if (FT_Init_FreeType(&library_) != 0) {
    library_ = nullptr;
    return false;
  }
  font_names::FaceFile file = font_names::resolve(utf8_name, weight_, italic_);
  if (!open(primary_, file)) {
    file = font_names::japanese_fallback(weight_, italic_);
    if (!open(primary_, file)) return false;
  }
  primary_path_ = file.path;
  FT_Face face = primary_.face;

  // The Windows cell: usWinAscent + usWinDescent, else hhea's, else FreeType's.
  const double upem = face->units_per_EM;
  double asc = 0, desc = 0;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    asc = os2->usWinAscent;
    desc = os2->usWinDescent;
  } else if (hhea && hhea->Ascender - hhea->Descender > 0) {
    asc = hhea->Ascender;
    desc = -hhea->Descender;
  } else if (face->ascender - face->descender > 0) {
    asc = face->ascender;
    desc = -face->descender;
  } else {
    asc = upem * 0.8;
    desc = upem * 0.2;
  }
  asc = std::max(asc, 0.0);
  desc = std::max(desc, 0.0);
  const double cell_units = std::max(asc + desc, 1.0);

  // Heights as GDI takes them: negative the em, positive the cell, 0 the
  // default cell; both capped (64-bit: -INT_MIN does not fit an int).
  const int64_t h = request.height == 0 ? kDefaultCellHeight : request.height;
  if (h < 0) {
    ppem_ = static_cast<int>(std::min<int64_t>(-h, kMaxFontPixelHeight));
    ascent_ = static_cast<int>(round_half_up(asc * ppem_ / upem));
    descent_ = static_cast<int>(round_half_up(desc * ppem_ / upem));
  } else {
    const int cell = static_cast<int>(std::min<int64_t>(h, kMaxFontPixelHeight));
    ppem_ = static_cast<int>(std::clamp<int64_t>(round_half_up(cell * upem / cell_units), 1, kMaxFontPixelHeight));
    ascent_ = static_cast<int>(round_half_up(asc * cell / cell_units));
    descent_ = cell - ascent_;
  }
  if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(ppem_), static_cast<FT_UInt>(ppem_)) != 0) return false;
  set_synthesis(primary_);

  // Underline from the post table (FreeType gives its centre), strike-out
  // from OS/2; typical proportions where a face has none.
  const double scale = ppem_ / upem;
  const double ul_thickness = face->underline_thickness > 0 ? face->underline_thickness : upem / 20;
  const double ul_centre = face->underline_thickness > 0 ? -face->underline_position : upem / 10;
  underline_size_ = std::max(1, static_cast<int>(round_half_up(ul_thickness * scale)));
  underline_top_ = static_cast<int>(round_half_up(ul_centre * scale - underline_size_ / 2.0));
  const bool os2_strike = os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0;
  const double st_size = os2_strike ? os2->yStrikeoutSize : ul_thickness;
  const double st_position = os2_strike ? os2->yStrikeoutPosition : upem * 0.26;
  strike_size_ = std::max(1, static_cast<int>(round_half_up(st_size * scale)));
  strike_top_ = -static_cast<int>(round_half_up(st_position * scale));

  // Escapement: tenths of a degree counter-clockwise; quarter turns exact so
  // that turned text is exactly the unturned text turned.
  int tenths = request.escapement % 3600;
  if (tenths < 0) tenths += 3600;
  switch (tenths) {
    case 0: cos_ = 1, sin_ = 0; break;
    case 900: cos_ = 0, sin_ = 1; break;
    case 1800: cos_ = -1, sin_ = 0; break;
    case 2700: cos_ = 0, sin_ = -1; break;
    default: {
      const double a = tenths * 3.1415926536 / 1800;
      cos_ = std::cos(a);
      sin_ = std::sin(a);
    }
  }
  const auto fixed = [](double v) { return static_cast<FT_Fixed>(std::lround(v * 65536)); };
  matrix_ = {fixed(cos_), fixed(-sin_), fixed(sin_), fixed(cos_)};
  return true;
}

bool FreeTypeFont::load(Face& f, FT_UInt index) {
  // Outlines only (no embedded bitmaps), hinted for 1-bit rendering.
  constexpr FT_Int32 kFlags = FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP;
  return FT_Load_Glyph(f.face, index, kFlags) == 0 && f.face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
}

CodeSlot& FreeTypeFont::slot(uint32_t code) {
  std::unique_ptr<CodeSlot[]>& page = pages_[code >> 8];
  if (!page) page = std::make_unique<CodeSlot[]>(256);
  CodeSlot& s = page[code & 0xFF];
  if (s.resolved) return s;
  s.resolved = true;
  // Characters the face lacks come from the Japanese fallback face, as
  // Windows draws Japanese text in a Latin face; a code without a character
  // is the face's missing glyph.
  const char32_t c = decode(code);
  s.index = c ? FT_Get_Char_Index(primary_.face, c) : 0;
  if (c && s.index == 0) {
    if (!fallback_tried_) {
      fallback_tried_ = true;
      const font_names::FaceFile file = font_names::japanese_fallback(weight_, italic_);
      if (file.path != primary_path_ && open(fallback_, file) &&
          FT_Set_Pixel_Sizes(fallback_.face, static_cast<FT_UInt>(ppem_), static_cast<FT_UInt>(ppem_)) == 0) {
        set_synthesis(fallback_);
      } else if (fallback_.face) {
        FT_Done_Face(fallback_.face);
        fallback_.face = nullptr;
      }
    }
    if (fallback_.face) {
      if (const FT_UInt index = FT_Get_Char_Index(fallback_.face, c)) {
        s.index = index;
        s.fallback = true;
      }
    }
  }
  Face& f = s.fallback ? fallback_ : primary_;
  if (!load(f, s.index)) s.index = 0;
  if (s.index != 0 || load(f, 0)) {
    const int64_t advance = round26(f.face->glyph->advance.x);
    s.advance = static_cast<int32_t>(advance > 0 ? advance + f.bold_advance : 0);
  }
  return s;
}

const Glyph& FreeTypeFont::glyph(CodeSlot& s) {
  if (s.generation == generation_) return glyphs_[s.glyph];
  Face& f = s.fallback ? fallback_ : primary_;
  Glyph g;
  if (load(f, s.index)) {
    FT_GlyphSlot gs = f.face->glyph;
    if (f.embolden) FT_Outline_EmboldenXY(&gs->outline, f.bold_strength, f.bold_strength);
    FT_Matrix m = matrix_;
    if (f.oblique) {
      const FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
      m = shear;
      FT_Matrix_Multiply(&matrix_, &m);  // m = turn * shear: lean first, then turn
    }
    if (m.xx != 0x10000 || m.xy != 0 || m.yx != 0 || m.yy != 0x10000) FT_Outline_Transform(&gs->outline, &m);
    if (FT_Render_Glyph(gs, FT_RENDER_MODE_MONO) == 0 && gs->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      const FT_Bitmap& bm = gs->bitmap;
      g.left = gs->bitmap_left;
      g.top = -gs->bitmap_top;
      g.width = static_cast<int>(bm.width);
      g.rows = static_cast<int>(bm.rows);
      const int bytes = (g.width + 7) / 8;
      g.pitch = bytes + 1;
      g.bits.assign(static_cast<size_t>(g.pitch) * g.rows, 0);
      for (int r = 0; r < g.rows; ++r) {
        const uint8_t* src = bm.buffer + static_cast<ptrdiff_t>(bm.pitch) * r;
        if (bm.pitch < 0) src = bm.buffer + static_cast<ptrdiff_t>(-bm.pitch) * (g.rows - 1 - r);
        std::memcpy(g.bits.data() + static_cast<size_t>(g.pitch) * r, src, static_cast<size_t>(bytes));
      }
    }
  }
  if (glyphs_.size() >= kGlyphCacheCount || glyph_bytes_ + g.bits.size() > kGlyphCacheBytes) {
    glyphs_.clear();
    glyph_bytes_ = 0;
    if (++generation_ == 0) ++generation_;
  }
  glyph_bytes_ += g.bits.size();
  s.generation = generation_;
  s.glyph = static_cast<uint32_t>(glyphs_.size());
  glyphs_.push_back(std::move(g));
  return glyphs_.back();
}

void FreeTypeFont::blit(const MonoTarget& t, const Glyph& g, int64_t gx, int64_t gy) {
  const int64_t c0 = std::max<int64_t>(0, -gx), c1 = std::min<int64_t>(g.width, t.width - gx);
  const int64_t r0 = std::max<int64_t>(0, -gy), r1 = std::min<int64_t>(g.rows, t.height - gy);
  if (c0 >= c1 || r0 >= r1) return;
  for (int64_t r = r0; r < r1; ++r) {
    or_bits(t.bits + (gy + r) * t.stride, gx + c0, g.bits.data() + r * g.pitch, c0, c1 - c0);
  }
}

// Fills the cell-relative rectangle u in [0, u1), v in [v0, v1) turned about
// the reference point: the pixels whose centres lie inside it.
void FreeTypeFont::fill_bar(const MonoTarget& t, int x, int y, double u1, double v0, double v1) {
  if (u1 <= 0 || v1 <= v0) return;
  const double c = cos_, s = sin_;
  double top = INFINITY, bottom = -INFINITY;
  for (double u : {0.0, u1}) {
    for (double v : {v0, v1}) {
      const double sy = y - u * s + v * c;
      top = std::min(top, sy);
      bottom = std::max(bottom, sy);
    }
  }
  const int64_t row0 = static_cast<int64_t>(std::clamp(std::floor(top), 0.0, static_cast<double>(t.height)));
  const int64_t row1 = static_cast<int64_t>(std::clamp(std::ceil(bottom), 0.0, static_cast<double>(t.height)));
  for (int64_t row = row0; row < row1; ++row) {
    // Where along the row (dx from x, to a pixel centre) the centre is inside:
    // u = c dx - s dy in [0, u1) and v = s dx + c dy in [v0, v1).
    const double dy = row + 0.5 - y;
    double lo = -INFINITY, hi = INFINITY;
    const auto within = [&](double a, double b, double min, double max) {
      if (a == 0) {
        if (b < min || b >= max) hi = -INFINITY;
        return;
      }
      double p = (min - b) / a, q = (max - b) / a;
      if (a < 0) std::swap(p, q);
      lo = std::max(lo, p);
      hi = std::min(hi, q);
    };
    within(c, -s * dy, 0, u1);
    within(s, c * dy, v0, v1);
    if (!(lo < hi)) continue;
    const double first = std::ceil(x + lo - 0.5), end = std::ceil(x + hi - 0.5);
    const int64_t x0 = static_cast<int64_t>(std::clamp(first, 0.0, static_cast<double>(t.width)));
    const int64_t x1 = static_cast<int64_t>(std::clamp(end, 0.0, static_cast<double>(t.width)));
    if (x0 < x1) fill_bits(t.bits + row * t.stride, x0, x1);
  }
}

void FreeTypeFont::draw(const MonoTarget& t, int x, int y, std::string_view text) {
  if (!t.bits || t.width <= 0 || t.height <= 0 || t.stride < (t.width + 7) / 8) return;
  // The pen walks the turned baseline: the cell's point (u, v) is at
  // (x + u cos + v sin, y - u sin + v cos) on screen, computed from the
  // whole advance so far (no error accumulates) and rounded per glyph.
  const double base_x = ascent_ * sin_, base_y = ascent_ * cos_;
  int64_t pen = 0;  // whole pixels along the baseline
  for (size_t i = 0; i < text.size();) {
    CodeSlot& s = slot(next_code(text, i));
    const double ox = pen * cos_ + base_x, oy = -pen * sin_ + base_y;
    pen += s.advance;
    // Glyphs that cannot reach the target are not rendered.
    const double r = (s.fallback ? fallback_ : primary_).ink_radius;
    if (x + ox + r < 0 || x + ox - r > t.width || y + oy + r < 0 || y + oy - r > t.height) continue;
    const Glyph& g = glyph(s);
    if (g.width == 0 || g.rows == 0) continue;
    const int64_t px = x + round_half_up(ox), py = y + round_half_up(oy);
    blit(t, g, px + g.left, py + g.top);
  }
  if (underline_) fill_bar(t, x, y, static_cast<double>(pen), ascent_ + underline_top_,
                           ascent_ + underline_top_ + underline_size_);
  if (strike_out_) fill_bar(t, x, y, static_cast<double>(pen), ascent_ + strike_top_,
                            ascent_ + strike_top_ + strike_size_);
}

}  // namespace

std::unique_ptr<Font> Font::make(const FontRequest& request) {
  auto font = std::make_unique<FreeTypeFont>();
  if (!font->init(request)) return nullptr;
  return font;
}

}  // namespace zelt::platform
