// Difference files: runs of changed pixels patched into a plane.
#include "gfx/planes/image_files.h"

namespace zelt::gfx {

DiffResult dcopy(uint32_t, int32_t, int32_t, std::span<const uint8_t>) { return {}; }
DiffResult dload(uint32_t, int32_t, int32_t, std::string_view) { return {}; }

}  // namespace zelt::gfx
