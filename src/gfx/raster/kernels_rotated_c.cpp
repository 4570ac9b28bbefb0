// Table rows of modes 14..20 of the rotated family (gblit, rotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::rotated, false, 14>;
template struct KernelTableRow<Sampling::rotated, false, 15>;
template struct KernelTableRow<Sampling::rotated, false, 16>;
template struct KernelTableRow<Sampling::rotated, false, 17>;
template struct KernelTableRow<Sampling::rotated, false, 18>;
template struct KernelTableRow<Sampling::rotated, false, 19>;
template struct KernelTableRow<Sampling::rotated, false, 20>;

}  // namespace zelt::gfx
