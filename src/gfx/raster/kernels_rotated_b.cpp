// Table rows of modes 7..13 of the rotated family (gblit, rotated sprites).
// With the masked rows (modes 7, 10, 11, 12).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::rotated, false, 7>;
template struct KernelTableRow<Sampling::rotated, false, 8>;
template struct KernelTableRow<Sampling::rotated, false, 9>;
template struct KernelTableRow<Sampling::rotated, false, 10>;
template struct KernelTableRow<Sampling::rotated, false, 11>;
template struct KernelTableRow<Sampling::rotated, false, 12>;
template struct KernelTableRow<Sampling::rotated, false, 13>;
template struct KernelTableRow<Sampling::rotated, true, 7>;
template struct KernelTableRow<Sampling::rotated, true, 10>;
template struct KernelTableRow<Sampling::rotated, true, 11>;
template struct KernelTableRow<Sampling::rotated, true, 12>;

}  // namespace zelt::gfx
