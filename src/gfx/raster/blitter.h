// Blitter objects: stateless rectangle operations on rows of pixels, one
// virtual operation per pixel format and kind of work, in a fixed slot order
// (the table below). gcopy's unscaled fast path hands whole rectangles of
// modes 3 to 7 to blitter() when [System] MMX is set.
//
// Two implementations, differing in one rule only: the weight that a blend
// byte v gives in slots 0..19.
//   SIMD object:  v + (v >> 7)   (0 leaves the base as it is, 255 gives the other pixel)
//   plain object: v + 1          (0 already moves 1/256 of the way, 255 gives the other pixel)
// blend(x, y, v) = x + (((y − x) × weight(v)) >> 8) per channel, the shift
// flooring (arithmetic). Channels: the four bytes of a 32-bit pixel, the
// three bytes of a 24-bit pixel, the 5- and 6-bit fields of 16-bit pixels.
//
// Conventions of every operation: width and height in pixels (nothing
// happens unless both are positive); each pixel array given as the first
// pixel of its top row and the byte step to the next row down (negative for
// bottom-up planes); rows run top to bottom, pixels left to right, all on the
// calling thread. The output may be the very same array as one input (same
// first pixel, same step); other overlaps are not supported.
//
// Key and paint colours come in the format of the pixels they meet:
// 0x00RRGGBB for 32- and 24-bit pixels, compared on the low 24 bits (a 32-bit
// pixel's fourth byte is ignored); the 16-bit pixel for 5-6-5, compared on
// all 16 bits; the 16-bit pixel for 5-5-5, compared on bits 0..14. Blended
// 5-5-5 pixels are written with bit 15 clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelt::gfx {

// A pixel array the operation writes.
struct PixelRows {
  uint8_t* first;  // first pixel of the top row
  ptrdiff_t step;  // bytes from one row to the next one down
  uint8_t* row(int32_t y) const { return first + static_cast<ptrdiff_t>(y) * step; }
};

// A pixel array (or an 8-bit map) the operation reads.
struct ConstPixelRows {
  const uint8_t* first;
  ptrdiff_t step;
  ConstPixelRows(const uint8_t* first_pixel, ptrdiff_t row_step) : first(first_pixel), step(row_step) {}
  ConstPixelRows(PixelRows rows) : first(rows.first), step(rows.step) {}  // in-place use
  const uint8_t* row(int32_t y) const { return first + static_cast<ptrdiff_t>(y) * step; }
};

// Kinds of operation: the arguments after width and height, and what each
// output pixel becomes. a: a blend byte; map: one byte per pixel; key: the
// source pixels equal to it (colour bits) are the exceptions.
//
// Slots 0..19, blends (weights by the object's rule):
//   alpha_key  out = base where source = key, else blend(base, source, a)
//   alpha_map  out = blend(base, source, map)
//   paint_map  out = blend(base, paint, map); a 32-bit pixel keeps base's fourth byte
//   alpha      out = blend(base, source, a)
//   tint       out = blend(source, paint, a); a 32-bit pixel keeps out's fourth byte;
//              with a key, out is left as it was where source = key (tint with
//              source key, mode 6)
// Slots 20..55, the same in both objects:
//   copy_key           out = source where source ≠ key (5-5-5: written with bit 15 clear)
//   copy               out = source, every byte
//   repack             16-bit fields moved bit-exactly: 5-5-5 → 5-6-5 widens green to
//                      (g << 1) | (g >> 4), 5-6-5 → 5-5-5 drops green's low bit;
//                      5-5-5 → 5-5-5 clears bit 15
//   repack_key         repack where source ≠ key, out left elsewhere
//   convert            through 8-bit colour: 16-bit fields read as blits read them
//                      (floor(c × 255 / 31), green of 5-6-5 floor(c × 255 / 63)), written
//                      by truncation; a 32-bit output gets the fourth byte 255
//   grey               l = (38 × red + 77 × green + 13 × blue) >> 7; each channel
//                      c + (((l − c) × (a + 1)) >> 8); a 32-bit output keeps its fourth byte
//   grey_key           grey where source ≠ key, out left elsewhere
//   grey_paint         each channel (l × (paint channel + 1)) >> 8; fourth byte as grey
//   grey_paint_key     grey_paint where source ≠ key, out left elsewhere
#define ZELT_BLITTER_PARAMS_alpha_key \
  uint8_t alpha, PixelRows out, ConstPixelRows base, ConstPixelRows source, uint32_t key
#define ZELT_BLITTER_PARAMS_alpha_map ConstPixelRows map, PixelRows out, ConstPixelRows base, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_paint_map ConstPixelRows map, PixelRows out, ConstPixelRows base, uint32_t paint
#define ZELT_BLITTER_PARAMS_alpha uint8_t alpha, PixelRows out, ConstPixelRows base, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_tint \
  uint8_t alpha, PixelRows out, ConstPixelRows source, uint32_t paint, std::optional<uint32_t> key
#define ZELT_BLITTER_PARAMS_copy_key PixelRows out, ConstPixelRows source, uint32_t key
#define ZELT_BLITTER_PARAMS_copy PixelRows out, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_repack PixelRows out, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_repack_key PixelRows out, ConstPixelRows source, uint32_t key
#define ZELT_BLITTER_PARAMS_convert PixelRows out, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_grey uint8_t alpha, PixelRows out, ConstPixelRows source
#define ZELT_BLITTER_PARAMS_grey_key uint8_t alpha, PixelRows out, ConstPixelRows source, uint32_t key
#define ZELT_BLITTER_PARAMS_grey_paint PixelRows out, ConstPixelRows source, uint32_t paint
#define ZELT_BLITTER_PARAMS_grey_paint_key PixelRows out, ConstPixelRows source, uint32_t paint, uint32_t key

// The same parameters by name, for implementations that forward them.
#define ZELT_BLITTER_ARGS_alpha_key alpha, out, base, source, key
#define ZELT_BLITTER_ARGS_alpha_map map, out, base, source
#define ZELT_BLITTER_ARGS_paint_map map, out, base, paint
#define ZELT_BLITTER_ARGS_alpha alpha, out, base, source
#define ZELT_BLITTER_ARGS_tint alpha, out, source, paint, key
#define ZELT_BLITTER_ARGS_copy_key out, source, key
#define ZELT_BLITTER_ARGS_copy out, source
#define ZELT_BLITTER_ARGS_repack out, source
#define ZELT_BLITTER_ARGS_repack_key out, source, key
#define ZELT_BLITTER_ARGS_convert out, source
#define ZELT_BLITTER_ARGS_grey alpha, out, source
#define ZELT_BLITTER_ARGS_grey_key alpha, out, source, key
#define ZELT_BLITTER_ARGS_grey_paint out, source, paint
#define ZELT_BLITTER_ARGS_grey_paint_key out, source, paint, key

// The slots, declared once: SLOT(number, name, kind, output format, input
// format). Formats: Bgra32, Bgr24, Rgb565, Rgb555 (16-bit planes are 5-5-5).
// Slots 0..19 are four families of five blends; their base slots are the
// values of BlitterFamily.
#define ZELT_BLITTER_BLEND_SLOTS(SLOT)                 \
  SLOT(0, alpha_key32, alpha_key, Bgra32, Bgra32)      \
  SLOT(1, alpha_map32, alpha_map, Bgra32, Bgra32)      \
  SLOT(2, paint_map32, paint_map, Bgra32, Bgra32)      \
  SLOT(3, alpha32, alpha, Bgra32, Bgra32)              \
  SLOT(4, tint32, tint, Bgra32, Bgra32)                \
  SLOT(5, alpha_key24, alpha_key, Bgr24, Bgr24)        \
  SLOT(6, alpha_map24, alpha_map, Bgr24, Bgr24)        \
  SLOT(7, paint_map24, paint_map, Bgr24, Bgr24)        \
  SLOT(8, alpha24, alpha, Bgr24, Bgr24)                \
  SLOT(9, tint24, tint, Bgr24, Bgr24)                  \
  SLOT(10, alpha_key565, alpha_key, Rgb565, Rgb565)    \
  SLOT(11, alpha_map565, alpha_map, Rgb565, Rgb565)    \
  SLOT(12, paint_map565, paint_map, Rgb565, Rgb565)    \
  SLOT(13, alpha565, alpha, Rgb565, Rgb565)            \
  SLOT(14, tint565, tint, Rgb565, Rgb565)              \
  SLOT(15, alpha_key555, alpha_key, Rgb555, Rgb555)    \
  SLOT(16, alpha_map555, alpha_map, Rgb555, Rgb555)    \
  SLOT(17, paint_map555, paint_map, Rgb555, Rgb555)    \
  SLOT(18, alpha555, alpha, Rgb555, Rgb555)            \
  SLOT(19, tint555, tint, Rgb555, Rgb555)

#define ZELT_BLITTER_OTHER_SLOTS(SLOT)                                      \
  SLOT(20, copy_key32, copy_key, Bgra32, Bgra32)                            \
  SLOT(21, copy_key24, copy_key, Bgr24, Bgr24)                              \
  SLOT(22, copy_key565, copy_key, Rgb565, Rgb565)                           \
  SLOT(23, copy_key555, copy_key, Rgb555, Rgb555)                           \
  SLOT(24, copy16, copy, Rgb565, Rgb565)                                    \
  SLOT(25, repack_555_to_565, repack, Rgb565, Rgb555)                       \
  SLOT(26, repack_565_to_555, repack, Rgb555, Rgb565)                       \
  SLOT(27, repack_key_555_to_565, repack_key, Rgb565, Rgb555)               \
  SLOT(28, repack_key_565_to_555, repack_key, Rgb555, Rgb565)               \
  SLOT(29, copy555, repack, Rgb555, Rgb555)                                 \
  SLOT(30, convert_555_to_565, convert, Rgb565, Rgb555)                     \
  SLOT(31, convert_565_to_555, convert, Rgb555, Rgb565)                     \
  SLOT(32, convert_24_to_565, convert, Rgb565, Bgr24)                       \
  SLOT(33, convert_24_to_555, convert, Rgb555, Bgr24)                       \
  SLOT(34, copy24, copy, Bgr24, Bgr24)                                      \
  SLOT(35, convert_24_to_32, convert, Bgra32, Bgr24)                        \
  SLOT(36, convert_555_to_32, convert, Bgra32, Rgb555)                      \
  SLOT(37, convert_32_to_555, convert, Rgb555, Bgra32)                      \
  SLOT(38, convert_32_to_24, convert, Bgr24, Bgra32)                        \
  SLOT(39, copy32, copy, Bgra32, Bgra32)                                    \
  SLOT(40, grey32, grey, Bgra32, Bgra32)                                    \
  SLOT(41, grey_key32, grey_key, Bgra32, Bgra32)                            \
  SLOT(42, grey24, grey, Bgr24, Bgr24)                                      \
  SLOT(43, grey_key24, grey_key, Bgr24, Bgr24)                              \
  SLOT(44, grey_24_to_32, grey, Bgra32, Bgr24)                              \
  SLOT(45, grey_key_24_to_32, grey_key, Bgra32, Bgr24)                      \
  SLOT(46, grey_32_to_24, grey, Bgr24, Bgra32)                              \
  SLOT(47, grey_key_32_to_24, grey_key, Bgr24, Bgra32)                      \
  SLOT(48, grey_paint32, grey_paint, Bgra32, Bgra32)                        \
  SLOT(49, grey_paint_key32, grey_paint_key, Bgra32, Bgra32)                \
  SLOT(50, grey_paint24, grey_paint, Bgr24, Bgr24)                          \
  SLOT(51, grey_paint_key24, grey_paint_key, Bgr24, Bgr24)                  \
  SLOT(52, grey_paint_24_to_32, grey_paint, Bgra32, Bgr24)                  \
  SLOT(53, grey_paint_key_24_to_32, grey_paint_key, Bgra32, Bgr24)          \
  SLOT(54, grey_paint_32_to_24, grey_paint, Bgr24, Bgra32)                  \
  SLOT(55, grey_paint_key_32_to_24, grey_paint_key, Bgr24, Bgra32)

#define ZELT_BLITTER_SLOTS(SLOT) ZELT_BLITTER_BLEND_SLOTS(SLOT) ZELT_BLITTER_OTHER_SLOTS(SLOT)

enum class BlitterSlot : uint8_t {
#define ZELT_SLOT(number, name, ...) name,
  ZELT_BLITTER_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT
};
#define ZELT_SLOT(number, name, ...) static_assert(static_cast<int>(BlitterSlot::name) == number);
ZELT_BLITTER_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT
inline constexpr int kBlitterSlots = 56;
static_assert(static_cast<int>(BlitterSlot::grey_paint_key_32_to_24) == kBlitterSlots - 1);

// The families of slots 0..19, by their base slot.
enum class BlitterFamily : uint8_t { bgra32 = 0, bgr24 = 5, rgb565 = 10, rgb555 = 15 };

// The family of a plane's pixels (16-bit planes are 5-5-5); none for 8 bits
// and below.
constexpr std::optional<BlitterFamily> blitter_family(int32_t bit_count) {
  switch (bit_count) {
    case 32: return BlitterFamily::bgra32;
    case 24: return BlitterFamily::bgr24;
    case 16: return BlitterFamily::rgb555;
    default: return std::nullopt;
  }
}

// The interface: 56 virtual operations, nothing else in the virtual table
// (the objects live for the whole run and are never deleted through it).
class Blitter {
 public:
#define ZELT_SLOT(number, name, kind, ...) \
  virtual void name(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_##kind) const = 0;
  ZELT_BLITTER_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT

  // Slots 0..19 by family, for callers that choose the family at run time
  // (gcopy's hand-off: mode 3 → alpha, 4 → alpha_key, 5 and 6 → tint, 7 with
  // an 8-bit mask and alpha 255 → alpha_map).
#define ZELT_BY_FAMILY(kind)                                                              \
  void kind(BlitterFamily family, int32_t width, int32_t height, ZELT_BLITTER_PARAMS_##kind) const { \
    switch (family) {                                                                     \
      case BlitterFamily::bgra32: return kind##32(width, height, ZELT_BLITTER_ARGS_##kind);  \
      case BlitterFamily::bgr24: return kind##24(width, height, ZELT_BLITTER_ARGS_##kind);   \
      case BlitterFamily::rgb565: return kind##565(width, height, ZELT_BLITTER_ARGS_##kind); \
      case BlitterFamily::rgb555: return kind##555(width, height, ZELT_BLITTER_ARGS_##kind); \
    }                                                                                     \
  }
  ZELT_BY_FAMILY(alpha_key)
  ZELT_BY_FAMILY(alpha_map)
  ZELT_BY_FAMILY(paint_map)
  ZELT_BY_FAMILY(alpha)
  ZELT_BY_FAMILY(tint)
#undef ZELT_BY_FAMILY

 protected:
  Blitter() = default;
  ~Blitter() = default;
};

// The blend weight of a byte v in slots 0..19.
constexpr uint32_t simd_blend_weight(uint8_t v) { return v + (v >> 7u); }
constexpr uint32_t plain_blend_weight(uint8_t v) { return v + 1u; }

// Vector instructions the SIMD object may use: SSE2 on every x86-64, AVX2
// where the processor and the operating system allow it; none on other
// processors, whose SIMD object runs plain code with the SIMD weight rule.
enum class SimdLevel : uint8_t { none, sse2, avx2 };
SimdLevel simd_level();  // detected once

// Whether the SIMD object runs vector code on this processor. Start-up sets
// [System] MMX to 0 when it does not (gcopy then never uses a blitter).
bool simd_blitter_usable();

// The object in use: the SIMD one when it is usable and simd_enabled() (the
// environment has no ZELT_NO_SIMD), else the plain one, whose weight rule
// then decides the results.
const Blitter& blitter();

// Both implementations, for tests and benchmarks. simd_blitter(level) uses
// vector code up to that level (never more than the processor has); every
// level gives the same results.
const Blitter& simd_blitter(SimdLevel level = simd_level());
const Blitter& plain_blitter();

}  // namespace zelt::gfx
