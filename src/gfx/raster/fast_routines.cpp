// gcopy's fast routines: the availability table of the fast-path classes
// and one unscaled routine per available cell. The routines compute the
// modes' own formulas, except the constant-alpha blend (modes 3 and 4),
// which rounds each term down on its own.
#include <array>
#include <initializer_list>
#include <utility>

#include "gfx/raster/fast_copy.h"
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {
namespace {

// The pairs (source bits → destination bits) of a class as a bit set over
// the 16 pair indices.
constexpr uint16_t pairs(std::initializer_list<std::pair<int, int>> list) {
  uint16_t set = 0;
  for (const auto& [s, d] : list) set |= static_cast<uint16_t>(1u << ((s / 8 - 1) * 4 + d / 8 - 1));
  return set;
}

// Fast-path availability by class.
constexpr uint16_t kFastPairs[] = {
    /* 0: mode 0 */ pairs({{8, 8}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}}),
    /* 1: modes 1, 2 */ pairs({{8, 8}, {8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}}),
    /* 2: modes 3-6 */ pairs({{8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}}),
    /* 3: mode 7 */ pairs({{24, 16}, {32, 24}}),
    /* 4: mode 8 */ pairs({{16, 24}, {24, 32}, {32, 32}}),
    /* 5: mode 9 */ pairs({{24, 24}, {32, 32}}),
    /* 6: modes 11, 12 */ pairs({{24, 16}, {32, 24}, {32, 32}}),
    /* 7: modes 13-18 */ pairs({{8, 24}, {8, 32}, {16, 16}, {24, 24}, {24, 32}, {32, 24}, {32, 32}}),
    /* 8: none */ 0,
    /* 9: modes 7, 12 with a mask */ pairs({{16, 16}, {24, 24}, {32, 32}}),
    /* 10: mode 11 with a mask */ pairs({{8, 8}, {16, 16}, {24, 24}, {32, 32}}),
};

// The fast-path class of a mode, or -1; masked: a mask gives the alpha.
constexpr int fast_class(int mode, bool masked) {
  if (masked) return mode == 7 || mode == 12 ? 9 : mode == 11 ? 10 : -1;
  if (mode == 0) return 0;
  if (mode <= 2) return 1;
  if (mode <= 6) return 2;
  if (mode <= 9) return mode - 4;
  if (mode == 11 || mode == 12) return 6;
  if (mode >= 13 && mode <= 18) return 7;
  return -1;
}

constexpr bool fast_available(int mode, int column, bool masked) {
  const int c = fast_class(mode, masked);
  return c >= 0 && (kFastPairs[c] >> column & 1) != 0;
}

template <int Mode>
using FastOp = std::conditional_t<Mode == 3, ConstantAlphaOp,
                                  std::conditional_t<Mode == 4, KeyedConstantAlphaOp, BlendOp<Mode>>>;

template <int Mode, int Column, bool Masked>
void unscaled_span(const CopySpan& sp, const BlendContext& c) {
  using Op = FastOp<Mode>;
  using P = typename ColumnFormats<Mode, Column>::Pair;
  using S = typename P::Src;
  using D = typename P::Dst;
  using Row = ContiguousRow<Op, P, Masked>;
  for_rows(sp.height, sp.width, [&](int32_t r) {
    uint8_t* d = sp.dst + r * sp.dst_row_step;
    const uint8_t* s = sp.src + r * sp.src_row_step;
    const uint8_t* m = Masked ? sp.mask + r * sp.mask_row_step : nullptr;
    if constexpr (Row::available) {
      Row::run(d, s, m, sp.width, c);
    } else {
      for (int32_t i = 0; i < sp.width; ++i, d += D::bytes, s += S::bytes) {
        if constexpr (Masked)
          Op::template apply<P>(MaskedSample<S>{s, m[i]}, d, c);
        else
          Op::template apply<P>(PixelSample<S>{s}, d, c);
      }
    }
  });
}

constexpr int kFastModes = 19;  // modes 0..18 have classes

template <int Mode, int Column, bool Masked>
constexpr FastRoutine fast_cell() {
  if constexpr (fast_available(Mode, Column, Masked))
    return &unscaled_span<Mode, Column, Masked>;
  else
    return nullptr;
}

template <int Mode, bool Masked, int... Column>
constexpr std::array<FastRoutine, 16> fast_row(std::integer_sequence<int, Column...>) {
  return {fast_cell<Mode, Column, Masked>()...};
}

template <bool Masked, int... Mode>
constexpr std::array<std::array<FastRoutine, 16>, kFastModes> fast_table(
    std::integer_sequence<int, Mode...>) {
  return {fast_row<Mode, Masked>(std::make_integer_sequence<int, 16>())...};
}

constexpr auto kPlainFast = fast_table<false>(std::make_integer_sequence<int, kFastModes>());
constexpr auto kMaskedFast = fast_table<true>(std::make_integer_sequence<int, kFastModes>());

}  // namespace

FastRoutine fast_routine(int mode, int column, bool masked) {
  if (mode < 0 || mode >= kFastModes || column < 0 || column >= 16) return nullptr;
  return (masked ? kMaskedFast : kPlainFast)[mode][column];
}

}  // namespace zelt::gfx
