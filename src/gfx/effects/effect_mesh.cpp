// The effect slots and the drawing of a mesh: every 8 × 8 cell takes its
// pixels' source coordinates by stepping between its four corner points.
#include <array>
#include <cstring>
#include <memory>

#include "gfx/effects/effect_mesh.h"
#include "gfx/effects/effects.h"
#include "gfx/effects/filter_area.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

std::array<std::unique_ptr<EffectMesh>, kEffectSlots> g_slots;

void release(std::unique_ptr<EffectMesh>& mesh) {
  if (mesh) script_memory().free_owned(mesh->points);
  mesh.reset();
}

bool contains(const Box& outer, const Box& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

struct Point {
  int64_t u, v;
};

// The cells of one row of cells. Source pixel of a coordinate (u, v): column
// ((u >> 8) & 2047) × w >> 11, row likewise, from the tables.
template <int B>
void draw_cells(const EffectMesh& m, const PixelView& dst, const std::vector<int32_t>& pts,
                const int64_t* columns, const uint8_t* const* rows, int32_t r) {
  const size_t stride = static_cast<size_t>(m.cols) + 1;
  const auto point = [&](size_t i, size_t j) {
    const size_t k = (i * stride + j) * 2;
    return Point{pts[k], pts[k + 1]};
  };
  const size_t i = static_cast<size_t>(r);
  for (int32_t c = 0; c < m.cols; ++c) {
    const size_t j = static_cast<size_t>(c);
    const Point tl = point(i, j), tr = point(i, j + 1), bl = point(i + 1, j), br = point(i + 1, j + 1);
    const Point down{(bl.u - tl.u) >> 3, (bl.v - tl.v) >> 3};
    const Point top_step{(tr.u - tl.u) >> 3, (tr.v - tl.v) >> 3};
    const Point change{(((br.u - bl.u) >> 3) - top_step.u) >> 3, (((br.v - bl.v) >> 3) - top_step.v) >> 3};
    Point start = tl, step = top_step;
    for (int64_t py = 0; py < 8; ++py) {
      uint8_t* out = dst.at(m.dst_area.left + 8 * c, m.dst_area.top + 8 * r + py);
      Point p = start;
      for (int px = 0; px < 8; ++px, out += B) {
        std::memcpy(out, rows[p.v >> 8 & 2047] + columns[p.u >> 8 & 2047], B);
        p.u += step.u;
        p.v += step.v;
      }
      start.u += down.u;
      start.v += down.v;
      step.u += change.u;
      step.v += change.v;
    }
  }
}

}  // namespace

EffectMesh* effect_mesh(uint32_t slot) { return slot < kEffectSlots ? g_slots[slot].get() : nullptr; }

int32_t mesh_coordinate(int64_t x, int64_t size) {
  const Int128 q = static_cast<Int128>(x) * 2048 / size;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(q)) << 8));
}

void mesh_put(const EffectMesh& mesh, int32_t i, int32_t j, int32_t u, int32_t v) {
  const uint32_t k = static_cast<uint32_t>(i) * static_cast<uint32_t>(mesh.cols + 1) + static_cast<uint32_t>(j);
  const std::span<uint8_t> at = script_memory().span(mesh.points + k * 8, 8);
  if (!at.data()) return;
  std::memcpy(at.data(), &u, 4);
  std::memcpy(at.data() + 4, &v, 4);
}

int32_t mesh_draw(const EffectMesh& m) {
  Plane* dst = plane_get(m.dst);
  Plane* src = plane_get(m.src);
  // The slots hold handles: a plane freed or replaced since ef_init must
  // still hold the mesh's rectangles in the same format.
  if (!dst || !src || dst->bit_count != m.bit_count || src->bit_count != m.bit_count ||
      !contains(bounds_of(*dst), m.dst_area) || !contains(bounds_of(*src), m.src_area))
    return 0;
  // The points as they are now: a script thread may write them meanwhile.
  std::vector<int32_t> pts(static_cast<size_t>(m.point_count()) * 2);
  const std::span<uint8_t> bytes = script_memory().span(m.points, m.point_count() * 8);
  if (!bytes.data()) return 0;
  std::memcpy(pts.data(), bytes.data(), bytes.size());

  const SourcePixels pixels(*src, *dst, m.src_area);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  const PixelView& sv = pixels.view();
  std::vector<int64_t> columns(2048);
  std::vector<const uint8_t*> rows(2048);
  for (int64_t k = 0; k < 2048; ++k) {
    columns[static_cast<size_t>(k)] = (m.src_area.left + ((k * m.src_w()) >> 11)) * sv.bytes;
    rows[static_cast<size_t>(k)] = sv.row(m.src_area.top + ((k * m.src_h()) >> 11));
  }
  const auto run = [&]<int B>() {
    for_rows(m.rows, int64_t{m.cols} * 64, [&](int32_t r) {
      draw_cells<B>(m, dst_view, pts, columns.data(), rows.data(), r);
    });
  };
  switch (m.bit_count) {
    case 8: run.template operator()<1>(); break;
    case 16: run.template operator()<2>(); break;
    case 24: run.template operator()<3>(); break;
    default: run.template operator()<4>(); break;
  }
  return 1;
}

int32_t ef_init(uint32_t slot, uint32_t destination, const Rect* destination_rect, uint32_t source,
                const Rect* source_rect) {
  if (slot >= kEffectSlots) return 0;
  release(g_slots[slot]);
  const Plane* dst = plane_get(destination);
  const Plane* src = plane_get(source);
  if (!dst || !src || !blit_format(dst) || dst->bit_count != src->bit_count) return 0;
  const Box d = clipped_area(*dst, destination_rect);
  const Box s = intersect(rect_or_plane(source_rect, *src), bounds_of(*src));
  if (d.empty() || s.empty()) return 0;
  // Whole cells only; an area narrower or lower than one cell has no mesh.
  const int64_t cols = d.width() >> 3, rows = d.height() >> 3;
  if (cols == 0 || rows == 0) return 0;
  auto mesh = std::make_unique<EffectMesh>();
  mesh->dst = destination;
  mesh->src = source;
  mesh->bit_count = dst->bit_count;
  mesh->dst_area = {d.left, d.top, d.left + cols * 8, d.top + rows * 8};
  mesh->src_area = s;
  mesh->cols = static_cast<int32_t>(cols);
  mesh->rows = static_cast<int32_t>(rows);
  mesh->points = script_memory().allocate_owned(mesh->point_count() * 8);
  if (!mesh->points) return 0;
  // The identity: point (i, j) addresses (j w / cols, i h / rows).
  for (int32_t i = 0; i <= mesh->rows; ++i)
    for (int32_t j = 0; j <= mesh->cols; ++j)
      mesh_put(*mesh, i, j, mesh_coordinate(j * mesh->src_w() / cols, mesh->src_w()),
               mesh_coordinate(i * mesh->src_h() / rows, mesh->src_h()));
  g_slots[slot] = std::move(mesh);
  return static_cast<int32_t>(g_slots[slot]->points);
}

int32_t ef_free(uint32_t slot) {
  if (slot >= kEffectSlots) return 0;
  release(g_slots[slot]);
  return 1;
}

int32_t ef_copy(uint32_t slot) {
  const EffectMesh* mesh = effect_mesh(slot);
  return mesh ? mesh_draw(*mesh) : 0;
}

bool ef_info(uint32_t slot, int32_t info[3]) {
  const EffectMesh* mesh = effect_mesh(slot);
  if (!mesh) return false;
  info[0] = mesh->cols;
  info[1] = mesh->rows;
  info[2] = static_cast<int32_t>(mesh->points);
  return true;
}

void effects_reset() {
  for (auto& slot : g_slots) release(slot);
}

const Subsystem kEffectsSubsystem{.name = "effects", .stop = effects_reset, .reset = effects_reset};

}  // namespace zelt::gfx
