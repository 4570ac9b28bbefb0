// Windows bitmap files: loading and saving.
#include "gfx/planes/image_files.h"

namespace zelt::gfx {

Plane* load_bitmap(std::string_view) { return nullptr; }
Plane* decode_bitmap(std::span<const uint8_t>) { return nullptr; }
int32_t gsave(std::string_view, uint32_t, const Rect*) { return 0; }

}  // namespace zelt::gfx
