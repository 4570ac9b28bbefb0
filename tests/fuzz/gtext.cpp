// gtext with arbitrary arguments: a plane of 1 to 32 bits with a clip
// rectangle, a font description (a known face, or raw name bytes, any
// height, angle, flags and weight), a position, a colour word and text bytes
// (broken double-byte characters included). It must end without fault, and
// smooth text may change only pixels inside the clip rectangle.
//
// Input: bits selector, width, height, clip (4 bytes), x, y (2 bytes each),
// colour (4), description (48), then the text.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "gfx/planes/plane.h"
#include "gfx/text/font_slots.h"
#include "gfx/text/text_draw.h"

namespace {

using namespace zelt;
using namespace zelt::gfx;

struct Reader {
  const uint8_t* p;
  size_t n;
  uint32_t take(size_t bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(i < n ? p[i] : 0) << (8 * i);
    const size_t used = bytes < n ? bytes : n;
    p += used, n -= used;
    return v;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    config_defaults();
    kFontsSubsystem.start();
    return true;
  }();
  (void)started;
  Reader r{data, size};
  static constexpr int32_t kBits[] = {1, 4, 8, 16, 24, 32};
  const int32_t bits = kBits[r.take(1) % 6];
  const int32_t width = 1 + static_cast<int32_t>(r.take(1) % 96), height = 1 + static_cast<int32_t>(r.take(1) % 64);
  Rect clip{static_cast<int8_t>(r.take(1)), static_cast<int8_t>(r.take(1)), static_cast<int32_t>(r.take(1)),
            static_cast<int32_t>(r.take(1))};
  const auto x = static_cast<int16_t>(r.take(2)), y = static_cast<int16_t>(r.take(2));
  const uint32_t colour = r.take(4);
  FontDescription d{};
  const uint32_t face = r.take(1);
  for (size_t i = 0; i < sizeof d.face; ++i) d.face[i] = static_cast<char>(r.take(1));
  if (face % 4 != 0) d = initial_font_description();  // mostly the common face, fonts are slow to make
  // Mostly title-sized heights; now and then anything at all.
  const uint32_t h = r.take(4);
  d.height = h & 0x80000000u ? static_cast<int32_t>(h) : static_cast<int8_t>(h);
  d.angle = static_cast<int32_t>(r.take(4));
  if (d.angle & 0x40000000) d.angle %= 3600;
  d.flags = r.take(1);
  d.weight = static_cast<int16_t>(r.take(2));
  const std::string_view text(reinterpret_cast<const char*>(r.p), r.n < 512 ? r.n : 512);

  planes_reset();
  if (galloc(1, width, height, bits) != 1) return 0;
  gclip(1, &clip);
  font_set(0, d);
  const Plane& plane = *plane_get(1);
  const std::span<uint8_t> px = plane_pixels(plane);
  const std::vector<uint8_t> before(px.begin(), px.end());
  const int32_t result = gtext(1, x, y, colour, text, 0, static_cast<int32_t>(face & 3));
  if (result != 0 && result != 1) __builtin_trap();
  if (d.flags & kFontSmooth) {
    const Rect c = plane_get(1)->clip;
    for (int32_t yy = 0; yy < height; ++yy)
      for (int32_t xx = 0; xx < width; ++xx) {
        if (xx >= c.left && xx < c.right && yy >= c.top && yy < c.bottom) continue;
        const uint8_t* p = plane_pixel_address(&plane, xx, yy);
        const size_t at = static_cast<size_t>(p - px.data());
        if (bits >= 8 && std::memcmp(p, before.data() + at, static_cast<size_t>(bits / 8)) != 0) __builtin_trap();
      }
  }
  planes_reset();
  return 0;
}
