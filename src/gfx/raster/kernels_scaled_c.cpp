// Table rows of modes 14..20 of the scaled family (gcopy's general path, unrotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::scaled, false, 14>;
template struct KernelTableRow<Sampling::scaled, false, 15>;
template struct KernelTableRow<Sampling::scaled, false, 16>;
template struct KernelTableRow<Sampling::scaled, false, 17>;
template struct KernelTableRow<Sampling::scaled, false, 18>;
template struct KernelTableRow<Sampling::scaled, false, 19>;
template struct KernelTableRow<Sampling::scaled, false, 20>;

}  // namespace zelt::gfx
