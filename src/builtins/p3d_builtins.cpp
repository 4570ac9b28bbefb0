// Built-in adapters of the 3D renderer. Records that scripts pass by address
// are copied out of script memory after a check; an address that cannot be
// read makes the call do nothing and return 0.
#include <cstring>

#include "builtins/handlers.h"
#include "gfx/p3d/p3d.h"

namespace zelt {
namespace {

// n 32-bit cells at the address in argument k.
bool cells_arg(const BuiltinArgs& a, uint32_t k, uint32_t* out, uint32_t n) {
  const std::span<uint8_t> bytes = a.span(k, 4 * n);
  if (!bytes.data()) return false;
  std::memcpy(out, bytes.data(), 4 * n);
  return true;
}

bool vec3_arg(const BuiltinArgs& a, uint32_t k, gfx::Vec3& v) {
  uint32_t cells[3];
  if (!cells_arg(a, k, cells, 3)) return false;
  v = {std::bit_cast<float>(cells[0]), std::bit_cast<float>(cells[1]), std::bit_cast<float>(cells[2])};
  return true;
}

}  // namespace

uint32_t bi_p3d_tex(const BuiltinArgs& a) { return gfx::p3d_tex(a.u32(0)); }
uint32_t bi_p3d_init(const BuiltinArgs& a) { return int_result(gfx::p3d_init(a.u32(0), a.f32(1), a.f32(2))); }
uint32_t bi_p3d_uninit(const BuiltinArgs&) { return int_result(gfx::p3d_uninit()); }

uint32_t bi_p3d_load(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(0, name) ? gfx::p3d_load(name) : 0;
}

uint32_t bi_p3d_free(const BuiltinArgs& a) { return int_result(gfx::p3d_free(a.u32(0))); }
uint32_t bi_p3d_clear(const BuiltinArgs&) { return int_result(gfx::p3d_clear()); }

uint32_t bi_p3d_view(const BuiltinArgs& a) {
  gfx::Vec3 eye, angles;
  if (!vec3_arg(a, 0, eye) || !vec3_arg(a, 1, angles)) return 0;
  return int_result(gfx::p3d_view(eye, angles));
}

uint32_t bi_p3d_env(const BuiltinArgs& a) { return int_result(gfx::p3d_env({a.f32(0), a.f32(1), a.f32(2)})); }

// The light record: colour (3 floats), then its type.
uint32_t bi_p3d_light(const BuiltinArgs& a) {
  uint32_t rec[4];
  if (!cells_arg(a, 0, rec, 4)) return 0;
  const gfx::Vec3 colour{std::bit_cast<float>(rec[0]), std::bit_cast<float>(rec[1]), std::bit_cast<float>(rec[2])};
  return int_result(gfx::p3d_light(colour, rec[3], a.f32(1), a.f32(2), a.f32(3)));
}

// The material record: colour, texture identity, render type.
uint32_t bi_p3d_material(const BuiltinArgs& a) {
  uint32_t rec[3];
  if (!cells_arg(a, 2, rec, 3)) return 0;
  return int_result(gfx::p3d_material(a.u32(0), a.u32(1), rec[0], rec[1], rec[2]));
}

uint32_t bi_p3d_setobj(const BuiltinArgs& a) {
  gfx::Vec3 pos, angles;
  if (!vec3_arg(a, 1, pos) || !vec3_arg(a, 2, angles)) return 0;
  return int_result(gfx::p3d_setobj(a.u32(0), pos, angles));
}

uint32_t bi_p3d_render(const BuiltinArgs&) { return int_result(gfx::p3d_render()); }

}  // namespace zelt
