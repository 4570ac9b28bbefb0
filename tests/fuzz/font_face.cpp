// Font requests (face, height, escapement, weight, styles) and code page 932
// text from the input, measured and drawn at reference points anywhere in
// int range into a small 1-bit target inside a guarded buffer: nothing
// outside the target may change, and a font is always made.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "platform/font_face.h"
#include "fuzz_check.h"

namespace {

using zelt::fuzz::check;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t i32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{byte()} << (8 * i);
    return static_cast<int32_t>(v);
  }
  // Small values mostly, the edges of the range sometimes.
  int32_t number(int32_t small_range) {
    static constexpr int32_t kEdges[] = {INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1, 0, -1, 100000, -100000};
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int32_t>(tag >> 2) % small_range - small_range / 2;
      case 1: return i32();
      case 2: return kEdges[(tag >> 2) % (sizeof kEdges / sizeof kEdges[0])];
      default: return static_cast<int8_t>(byte());
    }
  }
  std::string rest() { return std::string(reinterpret_cast<const char*>(data_ + at_), size_ - std::min(at_, size_)); }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zelt;
  static const std::string kFaces[] = {
      cp932::from_utf8("ＭＳ ゴシック"), cp932::from_utf8("ＭＳ Ｐ明朝"), "Arial", "Courier New", "No Such Face", "",
      cp932::from_utf8("@ＭＳ ゴシック")};
  Reader in(data, size);
  platform::FontRequest r;
  const uint8_t face = in.byte();
  if (face < 224) {
    r.face = kFaces[face % std::size(kFaces)];
  } else {  // raw bytes as a name, up to 31 of them
    for (int n = face - 224; n > 0; --n) r.face += static_cast<char>(in.byte());
  }
  // Heights mostly small: a 4096-pixel glyph takes milliseconds to render.
  r.height = in.number(96);
  r.escapement = in.number(7200);
  r.weight = in.number(2000);
  const uint8_t flags = in.byte();
  r.italic = flags & 1;
  r.underline = flags & 2;
  r.strike_out = flags & 4;
  const int width = 1 + in.byte() % 70, height = 1 + in.byte() % 50;
  const int32_t x = in.number(200), y = in.number(200);
  const std::string text = in.rest();

  std::unique_ptr<platform::Font> font = platform::Font::make(r);
  check(font != nullptr, "a font is made for every request");
  const platform::TextExtent e = font->extent(text);
  check(e.cx >= 0 && e.cy > 0 && e.cy <= 2 * platform::kMaxFontPixelHeight, "extent within bounds");
  check(font->ascent() >= 0 && font->ascent() <= e.cy, "ascent inside the cell");

  // The target sits inside a buffer with two guard bytes on each side of its
  // rows, guard rows above and below, and spare bits after its width.
  constexpr int kGuard = 2;
  const int stride = (width + 7) / 8 + 2 * kGuard;
  std::vector<uint8_t> buffer(static_cast<size_t>(stride) * (height + 2 * kGuard), 0);
  const platform::MonoTarget target{buffer.data() + kGuard * stride + kGuard, width, height, stride};
  font->draw(target, x, y, text);
  for (int row = 0; row < height + 2 * kGuard; ++row)
    for (int bit = 0; bit < stride * 8; ++bit) {
      const int tx = bit - 8 * kGuard, ty = row - kGuard;
      const bool inside = tx >= 0 && tx < width && ty >= 0 && ty < height;
      if (!inside) check(!(buffer[static_cast<size_t>(row) * stride + bit / 8] & (0x80 >> bit % 8)), "draws only inside the target");
    }
  return 0;
}
