#include "script/compiler/extern_functions.h"

#include <cstring>
#include <mutex>

namespace zelt {
namespace {

// Images are freed on script threads while another thread may compile, so
// the table takes its own lock.
std::mutex g_mutex;
ExternFunction g_table[kExternFunctionSlots];
int g_count = 0;

int find_locked(std::string_view name) {
  for (int i = 0; i < g_count; ++i)
    if (name == g_table[i].name) return i;
  return -1;
}

}  // namespace

void extern_functions_clear() {
  std::lock_guard lock(g_mutex);
  g_count = 0;
}

void extern_functions_forget_image(ScriptAddr image) {
  std::lock_guard lock(g_mutex);
  int kept = 0;
  for (int i = 0; i < g_count; ++i)
    if (g_table[i].image != image) g_table[kept++] = g_table[i];
  g_count = kept;
}

bool extern_functions_find(std::string_view name, ExternFunction* out) {
  std::lock_guard lock(g_mutex);
  const int i = find_locked(name);
  if (i < 0) return false;
  if (out) *out = g_table[i];
  return true;
}

int extern_functions_count() {
  std::lock_guard lock(g_mutex);
  return g_count;
}

bool extern_functions_record(std::string_view name, int32_t type, ScriptAddr address, ScriptAddr image) {
  if (name.empty() || name.size() >= sizeof(ExternFunction::name)) return false;
  std::lock_guard lock(g_mutex);
  int i = find_locked(name);
  if (i < 0) {
    if (g_count == kExternFunctionSlots) return false;
    i = g_count++;
    std::memset(g_table[i].name, 0, sizeof g_table[i].name);
    std::memcpy(g_table[i].name, name.data(), name.size());
  }
  g_table[i].type = type;
  g_table[i].address = address;
  g_table[i].image = image;
  return true;
}

}  // namespace zelt
