// gload: a bitmap or JPEG file into a plane slot.
#include <strings.h>

#include "core/messages.h"
#include "gfx/planes/image_files.h"

namespace zelt::gfx {

int32_t gload(uint32_t target, std::string_view name) {
  const int32_t slot = plane_target_slot(target);
  if (slot < 0) return 0;
  // Names ending in ".jpg" are tried as JPEG first, others as bitmaps first.
  const bool jpeg_first = name.size() >= 4 && strncasecmp(name.data() + name.size() - 4, ".jpg", 4) == 0;
  Plane* plane = jpeg_first ? load_jpeg(name) : load_bitmap(name);
  if (!plane) plane = jpeg_first ? load_bitmap(name) : load_jpeg(name);
  if (!plane) {
    const std::string text(name);
    report_message(kLevelDevice, msg_text(Msg::LoadPlaneFailed), text.c_str());
    return 0;
  }
  plane_put(static_cast<uint32_t>(slot), plane);
  return 1;
}

}  // namespace zelt::gfx
