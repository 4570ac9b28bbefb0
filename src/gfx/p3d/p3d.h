// The 3D renderer's built-in operations: 512 model slots and one global
// scene (see scene.h), all used under the built-in lock on the calling
// script thread. Model identities are slot numbers plus one (0: none);
// texture identities are plane slot numbers plus one.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/subsystem.h"
#include "gfx/p3d/model.h"
#include "gfx/p3d/scene.h"

namespace zelt::gfx {

inline constexpr uint32_t kP3dModelSlots = 512;

// The target plane (an empty slot: none, 0 × 0), focal length and near
// distance; everything loaded before is released first. 1.
int32_t p3d_init(uint32_t plane, float focal, float near_distance);
// Frees the depth buffer and every model. 1.
int32_t p3d_uninit();
// The model identity, or 0: no free slot, the file does not open, or a face
// names a vertex beyond the vertex count. name is a script path.
uint32_t p3d_load(std::string_view name);
// 1; 0 for an identity outside 1..512.
int32_t p3d_free(uint32_t model);
// The plane's texture identity, or 0 for an empty slot.
uint32_t p3d_tex(uint32_t plane);
// 1; 0 for an identity outside 1..512 or a render type above 6 (nothing
// changes then).
int32_t p3d_material(uint32_t model, uint32_t material, uint32_t colour, uint32_t texture, uint32_t type);
int32_t p3d_clear();
int32_t p3d_view(Vec3 eye, Vec3 angles);
int32_t p3d_env(Vec3 ambient);
int32_t p3d_light(Vec3 colour, uint32_t type, float a, float b, float c);
// 1; 0 for an identity outside 1..512. An empty slot submits nothing.
int32_t p3d_setobj(uint32_t model, Vec3 pos, Vec3 angles);
int32_t p3d_render();

// The loaded model of an identity, or null.
const Model* p3d_model(uint32_t model);
P3dScene& p3d_scene();

// Shutdown and the runtime reset release every model and the depth buffer
// and forget the scene.
extern const Subsystem kP3dSubsystem;

}  // namespace zelt::gfx
