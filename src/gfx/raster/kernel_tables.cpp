// The kernel tables of the three sampling families, gathered from the rows
// that kernels_*.cpp instantiate.
#include <array>
#include <utility>

#include "gfx/raster/kernel_rows.h"

// The rows are explicitly instantiated in kernels_*.cpp; here only their
// addresses are taken.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wundefined-var-template"
#endif

namespace zelt::gfx {
namespace {

template <Sampling F, int... Mode>
constexpr std::array<const KernelRow<F>*, kPlainModes> plain_rows(std::integer_sequence<int, Mode...>) {
  return {&KernelTableRow<F, false, Mode>::cells...};
}

template <Sampling F>
constexpr std::array<const KernelRow<F>*, kPlainModes> kPlainTable =
    plain_rows<F>(std::make_integer_sequence<int, kPlainModes>());

template <Sampling F>
constexpr std::array<const KernelRow<F>*, std::size(kMaskedModes)> kMaskedTable = {
    &KernelTableRow<F, true, kMaskedModes[0]>::cells, &KernelTableRow<F, true, kMaskedModes[1]>::cells,
    &KernelTableRow<F, true, kMaskedModes[2]>::cells, &KernelTableRow<F, true, kMaskedModes[3]>::cells};

// The masked table's row of a mode, or -1.
int masked_row(int mode) {
  for (int i = 0; i < static_cast<int>(std::size(kMaskedModes)); ++i)
    if (kMaskedModes[i] == mode) return i;
  return -1;
}

template <Sampling F>
KernelOf<F> lookup(int mode, int column, bool masked) {
  if (column < 0 || column >= kKernelColumns || mode < 0 || mode >= kPlainModes) return nullptr;
  if (!masked) return (*kPlainTable<F>[mode])[column];
  if constexpr (F == Sampling::smooth) {
    return lookup<Sampling::rotated>(mode, column, true);  // masked rotated blits sample the nearest pixel
  } else {
    const int row = masked_row(mode);
    return row < 0 ? nullptr : (*kMaskedTable<F>[row])[column];
  }
}

}  // namespace

ScaledKernel scaled_kernel(int mode, int column, bool masked) {
  return lookup<Sampling::scaled>(mode, column, masked);
}

RotatedKernel rotated_kernel(int mode, int column, bool masked) {
  return lookup<Sampling::rotated>(mode, column, masked);
}

RotatedKernel smooth_kernel(int mode, int column, bool masked) {
  return lookup<Sampling::smooth>(mode, column, masked);
}

}  // namespace zelt::gfx
