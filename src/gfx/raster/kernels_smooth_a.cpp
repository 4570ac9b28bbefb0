// Table rows of modes 0..6 of the rotated-smooth family (gblita).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::smooth, false, 0>;
template struct KernelTableRow<Sampling::smooth, false, 1>;
template struct KernelTableRow<Sampling::smooth, false, 2>;
template struct KernelTableRow<Sampling::smooth, false, 3>;
template struct KernelTableRow<Sampling::smooth, false, 4>;
template struct KernelTableRow<Sampling::smooth, false, 5>;
template struct KernelTableRow<Sampling::smooth, false, 6>;

}  // namespace zelt::gfx
