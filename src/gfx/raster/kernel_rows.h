// The rows of the kernel tables, one per (family, masked, mode). Each row is
// explicitly instantiated in one of the kernels_*.cpp files, so that the
// kernels compile in parallel; kernel_tables.cpp gathers them.
#pragma once

#include <array>
#include <type_traits>

#include "gfx/raster/kernels.h"

namespace zelt::gfx {

template <Sampling F>
using KernelOf = std::conditional_t<F == Sampling::scaled, ScaledKernel, RotatedKernel>;

template <Sampling F>
using KernelRow = std::array<KernelOf<F>, kKernelColumns>;

template <Sampling F, bool Masked, int Mode>
struct KernelTableRow {
  static const KernelRow<F> cells;
};

}  // namespace zelt::gfx
