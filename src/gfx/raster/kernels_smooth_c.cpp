// Table rows of modes 14..20 of the rotated-smooth family (gblita).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::smooth, false, 14>;
template struct KernelTableRow<Sampling::smooth, false, 15>;
template struct KernelTableRow<Sampling::smooth, false, 16>;
template struct KernelTableRow<Sampling::smooth, false, 17>;
template struct KernelTableRow<Sampling::smooth, false, 18>;
template struct KernelTableRow<Sampling::smooth, false, 19>;
template struct KernelTableRow<Sampling::smooth, false, 20>;

}  // namespace zelt::gfx
