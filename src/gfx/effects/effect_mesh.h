// The effect slots' meshes, shared by the slot operations and the
// generators.
#pragma once

#include <cstdint>
#include <vector>

#include "core/script_memory.h"
#include "gfx/raster/blit_engine.h"

namespace zelt::gfx {

struct EffectMesh {
  uint32_t dst = 0, src = 0;  // plane handles, looked up again at every draw
  int32_t bit_count = 0;      // both planes', as at ef_init
  Box dst_area, src_area;     // the clipped rectangles
  int32_t cols = 0, rows = 0;
  ScriptAddr points = 0;      // (cols + 1) × (rows + 1) points (u, v), row by row
  // Water: two height maps of (rows + 3) × (cols + 3) cells, the first one
  // heights[first]; empty until ef_blob or ef_water needs them.
  std::vector<int16_t> heights[2];
  int first = 0;

  int64_t src_w() const { return src_area.width(); }
  int64_t src_h() const { return src_area.height(); }
  uint32_t point_count() const { return static_cast<uint32_t>((cols + 1) * (rows + 1)); }
};

// The slot's mesh, or null (empty slot, slot above 7).
EffectMesh* effect_mesh(uint32_t slot);

// Writes point (row i, column j); nothing when the points are not usable.
void mesh_put(const EffectMesh& mesh, int32_t i, int32_t j, int32_t u, int32_t v);
// A source pixel position as a mesh coordinate: (x × 2048 / size) << 8,
// computed in 64 bits and kept to 32.
int32_t mesh_coordinate(int64_t x, int64_t size);

// Draws the mesh: 1, or 0 when its planes no longer hold its rectangles.
int32_t mesh_draw(const EffectMesh& mesh);

}  // namespace zelt::gfx
