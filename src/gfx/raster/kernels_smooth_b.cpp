// Table rows of modes 7..13 of the rotated-smooth family (gblita).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::smooth, false, 7>;
template struct KernelTableRow<Sampling::smooth, false, 8>;
template struct KernelTableRow<Sampling::smooth, false, 9>;
template struct KernelTableRow<Sampling::smooth, false, 10>;
template struct KernelTableRow<Sampling::smooth, false, 11>;
template struct KernelTableRow<Sampling::smooth, false, 12>;
template struct KernelTableRow<Sampling::smooth, false, 13>;

}  // namespace zelt::gfx
