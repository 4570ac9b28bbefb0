// Table rows of modes 21..27 of the rotated-smooth family (gblita).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::smooth, false, 21>;
template struct KernelTableRow<Sampling::smooth, false, 22>;
template struct KernelTableRow<Sampling::smooth, false, 23>;
template struct KernelTableRow<Sampling::smooth, false, 24>;
template struct KernelTableRow<Sampling::smooth, false, 25>;
template struct KernelTableRow<Sampling::smooth, false, 26>;
template struct KernelTableRow<Sampling::smooth, false, 27>;

}  // namespace zelt::gfx
