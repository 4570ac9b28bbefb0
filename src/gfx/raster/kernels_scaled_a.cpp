// Table rows of modes 0..6 of the scaled family (gcopy's general path, unrotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::scaled, false, 0>;
template struct KernelTableRow<Sampling::scaled, false, 1>;
template struct KernelTableRow<Sampling::scaled, false, 2>;
template struct KernelTableRow<Sampling::scaled, false, 3>;
template struct KernelTableRow<Sampling::scaled, false, 4>;
template struct KernelTableRow<Sampling::scaled, false, 5>;
template struct KernelTableRow<Sampling::scaled, false, 6>;

}  // namespace zelt::gfx
