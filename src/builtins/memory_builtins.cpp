// Built-in adapters of the memory family. Blocks come from the script-memory
// allocator; every range is checked before a byte is touched, so a wild
// address or a count beyond usable memory fails (0) without writing.
#include <cstring>
#include <utility>

#include "builtins/handlers.h"

namespace zelt {

uint32_t bi_malloc(const BuiltinArgs& a) { return script_memory().allocate(a.u32(0)); }
uint32_t bi_realloc(const BuiltinArgs& a) { return script_memory().resize(a.addr(0), a.u32(1)); }
// Addresses that are not live blocks are ignored.
uint32_t bi_free(const BuiltinArgs& a) {
  if (a.addr(0) != 0) script_memory().free(a.addr(0));
  return 1;
}

uint32_t bi_memcpy(const BuiltinArgs& a) {
  if (a.u32(2) == 0) return 1;
  const std::span<uint8_t> dst = a.span(0, a.u32(2)), src = a.span(1, a.u32(2));
  if (dst.data() == nullptr || src.data() == nullptr) return 0;
  std::memmove(dst.data(), src.data(), dst.size());  // overlap is harmless too
  return 1;
}
uint32_t bi_memmove(const BuiltinArgs& a) { return bi_memcpy(a); }

uint32_t bi_memset(const BuiltinArgs& a) {
  if (a.u32(2) == 0) return 1;
  const std::span<uint8_t> dst = a.span(0, a.u32(2));
  if (dst.data() == nullptr) return 0;
  std::memset(dst.data(), static_cast<uint8_t>(a.u32(1)), dst.size());
  return 1;
}

uint32_t bi_memcmp(const BuiltinArgs& a) {
  if (a.i32(2) <= 0) return 0;
  const std::span<uint8_t> x = a.span(0, a.u32(2)), y = a.span(1, a.u32(2));
  if (x.data() == nullptr || y.data() == nullptr) return 0;
  const int r = std::memcmp(x.data(), y.data(), x.size());
  return int_result((r > 0) - (r < 0));
}

// Byte by byte from the start, so overlapping ranges give the same result
// as the straightforward loop.
uint32_t bi_memswap(const BuiltinArgs& a) {
  if (a.i32(2) <= 0) return 1;
  const std::span<uint8_t> x = a.span(0, a.u32(2)), y = a.span(1, a.u32(2));
  if (x.data() == nullptr || y.data() == nullptr) return 0;
  for (size_t i = 0; i < x.size(); ++i) std::swap(x[i], y[i]);
  return 1;
}

}  // namespace zelt
