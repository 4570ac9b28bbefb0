// Drawing UTF-8 text into 32-bit pixel buffers with a Japanese font
// (FreeType, the face found through fontconfig). For the program's own
// small windows, not for titles' text.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace zelt::platform {

class TextRaster {
 public:
  // pixel_height: the em size in pixels. valid() is false when no font
  // could be loaded; every operation then does nothing.
  explicit TextRaster(int pixel_height);
  ~TextRaster();
  TextRaster(const TextRaster&) = delete;
  TextRaster& operator=(const TextRaster&) = delete;

  bool valid() const;
  int line_height() const;
  int measure(std::string_view utf8);
  // Draws with the baseline one ascent below y; clipped to the buffer.
  void draw(uint32_t* pixels, int width, int height, int x, int y, std::string_view utf8,
            uint32_t rgb);

 private:
  struct Face;
  std::unique_ptr<Face> face_;
};

}  // namespace zelt::platform
