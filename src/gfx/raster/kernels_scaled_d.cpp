// Table rows of modes 21..27 of the scaled family (gcopy's general path, unrotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::scaled, false, 21>;
template struct KernelTableRow<Sampling::scaled, false, 22>;
template struct KernelTableRow<Sampling::scaled, false, 23>;
template struct KernelTableRow<Sampling::scaled, false, 24>;
template struct KernelTableRow<Sampling::scaled, false, 25>;
template struct KernelTableRow<Sampling::scaled, false, 26>;
template struct KernelTableRow<Sampling::scaled, false, 27>;

}  // namespace zelt::gfx
