#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "platform/text_raster.h"

namespace zelt::platform {
namespace {

// The file of the best Japanese proportional gothic face installed.
std::string japanese_font_file() {
  std::string file;
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return file;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAPGothic:lang=ja"));
  if (pattern) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
      FcChar8* path = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
        file = reinterpret_cast<const char*>(path);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  FcConfigDestroy(config);
  return file;
}

// Decodes one UTF-8 sequence at s[i]; invalid bytes decode as U+FFFD.
char32_t next_char(std::string_view s, size_t& i) {
  const auto b = static_cast<unsigned char>(s[i++]);
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (b >= 0x80 && extra == 0) return 0xFFFD;
  char32_t c = extra == 0 ? b : b & (0x3F >> extra);
  for (; extra > 0; --extra) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  return c;
}

}  // namespace

struct TextRaster::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

TextRaster::TextRaster(int pixel_height) : face_(std::make_unique<Face>()) {
  const std::string file = japanese_font_file();
  if (file.empty() || FT_Init_FreeType(&face_->library) != 0 ||
      FT_New_Face(face_->library, file.c_str(), 0, &face_->face) != 0 ||
      FT_Set_Pixel_Sizes(face_->face, 0, static_cast<FT_UInt>(pixel_height)) != 0) {
    face_.reset();
  }
}

TextRaster::~TextRaster() = default;

bool TextRaster::valid() const { return face_ != nullptr; }

int TextRaster::line_height() const {
  return face_ ? static_cast<int>(face_->face->size->metrics.height >> 6) : 0;
}

int TextRaster::measure(std::string_view utf8) {
  if (!face_) return 0;
  int width = 0;
  for (size_t i = 0; i < utf8.size();) {
    if (FT_Load_Char(face_->face, next_char(utf8, i), FT_LOAD_DEFAULT) == 0)
      width += static_cast<int>(face_->face->glyph->advance.x >> 6);
  }
  return width;
}

void TextRaster::draw(uint32_t* pixels, int width, int height, int x, int y, std::string_view utf8,
                      uint32_t rgb) {
  if (!face_) return;
  FT_Face f = face_->face;
  const int baseline = y + static_cast<int>(f->size->metrics.ascender >> 6);
  for (size_t i = 0; i < utf8.size() && x < width;) {
    if (FT_Load_Char(f, next_char(utf8, i), FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = f->glyph;
    const FT_Bitmap& bm = g->bitmap;
    for (unsigned row = 0; row < bm.rows; ++row) {
      const int py = baseline - g->bitmap_top + static_cast<int>(row);
      if (py < 0 || py >= height) continue;
      for (unsigned col = 0; col < bm.width; ++col) {
        const int px = x + g->bitmap_left + static_cast<int>(col);
        if (px < 0 || px >= width) continue;
        const unsigned a = bm.buffer[row * bm.pitch + col];
        if (a == 0) continue;
        uint32_t& d = pixels[py * width + px];
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const unsigned s = (rgb >> shift) & 0xFF, t = (d >> shift) & 0xFF;
          out |= ((s * a + t * (255 - a)) / 255) << shift;
        }
        d = out;
      }
    }
    x += static_cast<int>(g->advance.x >> 6);
  }
}

}  // namespace zelt::platform
