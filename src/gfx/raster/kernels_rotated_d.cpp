// Table rows of modes 21..27 of the rotated family (gblit, rotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::rotated, false, 21>;
template struct KernelTableRow<Sampling::rotated, false, 22>;
template struct KernelTableRow<Sampling::rotated, false, 23>;
template struct KernelTableRow<Sampling::rotated, false, 24>;
template struct KernelTableRow<Sampling::rotated, false, 25>;
template struct KernelTableRow<Sampling::rotated, false, 26>;
template struct KernelTableRow<Sampling::rotated, false, 27>;

}  // namespace zelt::gfx
