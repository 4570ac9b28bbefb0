// Table rows of modes 0..6 of the rotated family (gblit, rotated sprites).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::rotated, false, 0>;
template struct KernelTableRow<Sampling::rotated, false, 1>;
template struct KernelTableRow<Sampling::rotated, false, 2>;
template struct KernelTableRow<Sampling::rotated, false, 3>;
template struct KernelTableRow<Sampling::rotated, false, 4>;
template struct KernelTableRow<Sampling::rotated, false, 5>;
template struct KernelTableRow<Sampling::rotated, false, 6>;

}  // namespace zelt::gfx
