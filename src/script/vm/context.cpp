#include "script/vm/context.h"

#include <cstring>

namespace zelt {

ProgramImage program_image_create(uint32_t size) {
  if (size > INT32_MAX - 4) return {};
  ScriptMemory& mem = script_memory();
  const ScriptAddr base = mem.allocate_zeroed(size + 4);
  if (base == 0) return {};
  const int32_t one = 1;
  std::memcpy(mem.host(base + size), &one, 4);
  return {base, size};
}

bool program_image_release(const ProgramImage& image) {
  ScriptMemory& mem = script_memory();
  if (!image || !mem.valid(image.count_address(), 4)) return false;
  uint8_t* count = mem.host(image.count_address());
  int32_t n;
  std::memcpy(&n, count, 4);
  n = static_cast<int32_t>(static_cast<uint32_t>(n) - 1);
  std::memcpy(count, &n, 4);
  if (n > 0) return false;
  mem.free(image.base);
  return true;
}

ProgramImage context_image(const ScriptContext& context) {
  return {context.image_base, static_cast<uint32_t>(context.image_size)};
}

ScriptContext context_make(const ProgramImage& image, ScriptAddr stack_base, uint32_t stack_size) {
  ScriptContext c;
  std::memset(&c, 0, sizeof c);
  c.status = ContextStatus::Running;
  c.pc = image.base;
  c.image_count = image.count_address();
  c.image_base = image.base;
  c.stack_base = stack_base;
  c.image_size = static_cast<int32_t>(image.size);
  c.stack_size = static_cast<int32_t>(stack_size);
  c.r[7] = stack_base + stack_size;
  return c;
}

}  // namespace zelt
