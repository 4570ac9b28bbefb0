#include "script/vm/extern_area.h"

namespace zelt {
namespace {
ScriptAddr g_area = 0;
uint32_t g_size = 0;
}  // namespace

bool extern_area_allocate(int32_t size) {
  extern_area_free();
  if (size <= 0) return false;
  g_area = script_memory().allocate_zeroed(static_cast<uint32_t>(size));
  g_size = g_area ? static_cast<uint32_t>(size) : 0;
  return g_area != 0;
}

void extern_area_free() {
  if (g_area) script_memory().free(g_area);
  g_area = 0;
  g_size = 0;
}

ScriptAddr extern_area() { return g_area; }
uint32_t extern_area_size() { return g_size; }

}  // namespace zelt
