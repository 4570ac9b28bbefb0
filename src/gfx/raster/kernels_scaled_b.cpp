// Table rows of modes 7..13 of the scaled family (gcopy's general path, unrotated sprites).
// With the masked rows (modes 7, 10, 11, 12).
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {

template struct KernelTableRow<Sampling::scaled, false, 7>;
template struct KernelTableRow<Sampling::scaled, false, 8>;
template struct KernelTableRow<Sampling::scaled, false, 9>;
template struct KernelTableRow<Sampling::scaled, false, 10>;
template struct KernelTableRow<Sampling::scaled, false, 11>;
template struct KernelTableRow<Sampling::scaled, false, 12>;
template struct KernelTableRow<Sampling::scaled, false, 13>;
template struct KernelTableRow<Sampling::scaled, true, 7>;
template struct KernelTableRow<Sampling::scaled, true, 10>;
template struct KernelTableRow<Sampling::scaled, true, 11>;
template struct KernelTableRow<Sampling::scaled, true, 12>;

}  // namespace zelt::gfx
