// Argument decoding shared by the graphics built-in adapters: records that
// scripts pass by address, copied out of script memory after a check.
#pragma once

#include <cstring>

#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"
#include "script/host/builtin_call.h"

namespace zelt {

// The record of type T at the address in cell k: false when the address is
// not 0 and not sizeof(T) usable bytes. out is null for address 0.
template <typename T>
bool record_arg(const BuiltinArgs& a, uint32_t k, T& storage, T*& out) {
  out = nullptr;
  if (a.addr(k) == 0) return true;
  const std::span<uint8_t> bytes = a.span(k, sizeof(T));
  if (!bytes.data()) return false;
  std::memcpy(&storage, bytes.data(), sizeof storage);
  out = &storage;
  return true;
}

inline bool rect_arg(const BuiltinArgs& a, uint32_t k, gfx::Rect& storage, gfx::Rect*& rect) {
  return record_arg(a, k, storage, rect);
}
inline bool mode_arg(const BuiltinArgs& a, uint32_t k, gfx::BlitMode& storage, gfx::BlitMode*& mode) {
  return record_arg(a, k, storage, mode);
}

}  // namespace zelt
